// Pi for the whole program. The single-precision form is the double rounded,
// the same float the literal 3.14159265f gives.
#pragma once

constexpr double kPi = 3.14159265358979323846;
constexpr float kPiF = static_cast<float>(kPi);
