#include "WaveIFFT.h"
