// The distortions: tilings, dots, lines and noise rebuilt from backup.
#pragma once

#include "effects/classes.h"
