// Numeric constants of the vehicle engine.
//
// Several of them are single-precision numbers widened to double rather than
// the round decimal values they stand for (0.001f, 1.0f/3.0f, 0.2f, ...).
// Saved car set-ups and recorded runs replay exactly only with these values:
// the integrator's weights and the curve end clamp decide every trajectory
// to the last bit, so they live here in one place with their exact values.
#pragma once

namespace vanto {

// 0.001f: the curve end clamp, and the combined-slip threshold of the tyre.
inline constexpr double kFloatMilli = 0.0010000000474974513;
// 1.0f / 3.0f: the final weight of the Runge-Kutta velocity combinations.
inline constexpr double kFloatThird = 0.3333333432674408;
// 0.2f: threshold factor of the first eigen-solver sweeps.
inline constexpr double kFloatFifth = 0.20000000298023224;
// 0.1f: used where an input period or relaxation was given in single precision.
inline constexpr double kFloatTenth = 0.10000000149011612;

// The wheel angle is reduced modulo this value (2 pi to 14 digits; recorded
// wheel angles were reduced with exactly this value) ...
inline constexpr double kWheelAngleTurn = 6.2831853071794;
// ... and a magnitude of a hundred turns before the reduction is treated as
// a blown-up state.
inline constexpr double kWheelAngleLimit = 628.31853071794;

// Full-precision 2 pi for the rpm conversions.
inline constexpr double kTwoPi = 6.283185307179586;

// Largest finite double; results beyond it are refused.
inline constexpr double kMaxFinite = 1.7976931348623157e308;

}  // namespace vanto
