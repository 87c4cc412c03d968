#include "WaveFFT.h"
