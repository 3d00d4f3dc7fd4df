#include "effects/artistic.h"
