// The host-free arithmetic of a collision's response: how hard a crumple
// zone pushes back at a given compression, and where the resulting force
// waits for the next step. Engine axes and SI units; the scene side finds
// the contacts and converts into these.
#pragma once

#include "car_dynamics.h"
#include "vmath.h"

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
