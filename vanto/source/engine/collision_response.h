// The host-free arithmetic of a collision's response: how hard a crumple
// zone pushes back at a given compression, and where the resulting force
// waits for the next step. Engine axes and SI units; the scene side finds
// the contacts and converts into these.
#pragma once

#include <cmath>

#include "engine/car_dynamics.h"
#include "engine/vmath.h"

// Free slots are those whose force is below 1 N.
inline constexpr double kFreeSlotForceSquared = 1.0;

// The first free slot of d takes the force (N) and its point (m); with none
// free the force is dropped. The slot used, or -1.
int32 QueueExternalForce(CarDynamics& d, const Vec3& force, const Vec3& point);

// The fraction of a side's counterforce at that compression (0 .. 1 of the
// zone length) from the 100-entry force curve, linear between entries. A
// compression that is not a positive number counts as none.
double ZoneForceFraction(const double (&curve)[100], double compression);

// Resistance (N) of a zone of length zoneLength (m) and full counterforce
// (N) pressed in by depth (m): the full counterforce past the zone's end.
double ZoneResistance(const double (&curve)[100], double zoneLength, double counterForce, double depth);

// Two bodies meeting along the unit normal n (from a toward b). The vectors
// may be in any one frame: nothing here depends on which way is up.
struct ClosingContact {
  Vec3 approachA, approachB;   // m/s: the parts of the velocities that close the gap
  double stoppingForce = 0.0;  // N: stops both approaches within the step
  double closingSpeed = 0.0;   // m/s: the length of approachB - approachA
  // N: the reduced mass times the closing speed over the step, the most the
  // contact may push with; more would throw the bodies apart faster than
  // they met. Unbounded when the masses add up to nothing.
  double forceLimit = HUGE_VAL;
};
void ClosingContactAlong(ClosingContact& c, const Vec3& n, const Vec3& va, const Vec3& vb, double massA,
                         double massB, double dt);
