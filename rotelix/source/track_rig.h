// Builders of the caterpillar-track rig's scene objects: end-wheel pairs,
// return-roller pairs, the two closed track splines and the first tread link
// of each track. Everything but the tread links lives in the rig folder, a
// Null under the car's body. In each pair the side-0 (-x) object is made
// first and handed out first.
#pragma once

#include "track_wheels.h"

class BaseContainer;

// The parent's first direct child named by that string, or a new Null of
// that name appended as its last child.
BaseObject* FindOrCreateNullChild(BaseDocument* doc, BaseObject* parent, LONG string_id);
// A closed Bezier spline of n points in one closed segment, first child of
// parent. A colour with x below 0 leaves the display colour alone.
SplineObject* CreateClosedSpline(BaseDocument* doc, BaseObject* parent, String name, LONG n, const Vector& colour);
// Sets op's local position and rotation and tells it so.
void PlaceRigObject(BaseObject* op, const Vector& pos, const Vector& rot);
// An instance of source right after it, at its global matrix.
BaseObject* CreateInstanceOf(BaseDocument* doc, BaseObject* source);

// side >= 1: the front pair, otherwise the rear pair. Writes the pair's rest
// position into the tag (Vector 2001 or 2002).
Bool CreateEndWheelPair(BaseDocument* doc, BaseObject* car, BaseContainer& tag, LONG side, BaseObject** first,
                        BaseObject** second);
Bool CreateReturnRollerPair(BaseDocument* doc, BaseObject* car, BaseContainer& tag, LONG pair, BaseObject** first,
                            BaseObject** second);
Bool CreateTrackSplines(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state,
                        BaseObject** first, BaseObject** second);
Bool CreateTreadLinks(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state,
                      BaseObject** first, BaseObject** second);

// Display colour of the tracks.
inline constexpr Vector kTrackColour{45.0 / 255.0, 223.0 / 255.0, 23.0 / 255.0};
