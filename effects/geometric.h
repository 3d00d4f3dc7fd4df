// The geometric warps, rendered live under the pointer, and glass.
#pragma once

#include "effects/classes.h"

// ---------------------------------------------------------------------------
// Warps

// ---------------------------------------------------------------------------
// Glass
