// The artistic filters.
#pragma once

#include "effects/classes.h"
