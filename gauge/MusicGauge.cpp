#include "MusicGauge.h"
