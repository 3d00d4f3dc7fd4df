#include "effects/distort.h"
