#include "effects/matrices.h"

// The filters' own constructors start the effect with their real images.
matrices::matrices()
    : effect(nullptr, nullptr, nullptr, nullptr, nullptr, false, point(0, 0), point(0, 0)) {}
