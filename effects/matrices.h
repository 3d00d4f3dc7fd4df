// Convolution filters: the matrices family.
#pragma once

#include "effects/classes.h"
