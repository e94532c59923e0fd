// Fitting a car's rig to a user's model: the selected body and wheel
// objects are sorted by where they stand, hung under the matching rig
// objects, and the car's geometry parameters (body and roof size, wheel
// diameters and widths, camber) are taken from them.
//
// Scene convention: y up, the car's front towards +z, the model standing on
// y = 0, lengths in scene units.
#pragma once

#include "host_scene.h"

// An axis-aligned box in global coordinates. Empty while half.x < 0.
struct PolygonBox {
  Vector centre;
  Vector half{-1.0, 0.0, 0.0};
  Vector min;
  Vector max;

  Bool IsEmpty() const { return half.x < 0.0; }
};

// Selected objects whose box centre lies at least this far from x = 0 are
// wheels (scene units).
inline constexpr Real kWheelSideOffset = 5.0;

// box grown by every polygon object with points among op and all its
// descendants; an object without any gives box back unchanged.
PolygonBox PolygonBoundingBox(const BaseObject* op, PolygonBox box);

// Fits one rig part to the user's object: link 5600 the body, 5602 .. 5605
// a wheel hub; any other link does nothing. A wheel moves its hub onto the
// box and hangs the object under the spinner (parts that are not round
// about the axle under the hub); the body sets the body size, hangs the
// object under the body with its box centred on z = 0, and measures the
// roof. Missing rig objects end the fit quietly; what was set stays.
void FitRigPart(BaseDocument* doc, BaseObject* car, BaseObject* op, LONG link, const PolygonBox& box);

// The height of the scene's surfaces from above at n points on the line from
// start towards end (end itself not sampled): a GeAlloc'ed array the caller
// frees with GeFree, or null (nothing left allocated) when n < 1 or the
// height query fails. A point over no surface keeps y = 0.
Vector* MakeProfileSpline(BaseDocument* doc, const Vector& start, const Vector& end, LONG n);

// The fitting button: at least five selected objects (else message 10102
// when show_message, and false); wheels are fitted first, then the last
// body candidate. Objects without polygons, the rig's own objects, and the
// car or an object that holds it are left out.
Bool FitRigToSelection(BaseDocument* doc, BaseObject* car, Bool show_message);
