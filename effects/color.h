#pragma once

#include "effects/classes.h"
