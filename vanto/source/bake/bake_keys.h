// Writing animation keys at the document's current time: the key writers a
// bake uses on the car's rig, gauges, outputs, springs, skid marks and
// deformed meshes, and the test by which a baked car is recognised.
//
// Every writer returns true when every key it was asked for was written. A
// key that cannot be written does not stop the others: the writer goes on
// and reports false at the end. Nothing already written is rolled back, and
// a key the writer added but could not fill is taken out again, so that it
// never plays back as an empty value.
#pragma once

#include "carsim/car_param_ids.h"
#include "host_animation.h"

// Track identifiers the recording writes on.
DescID VectorComponentTrackId(LONG param, LONG component);  // (param, Vector), (1000 + c, Real)
DescID ParameterTrackId(LONG id);                           // (id, 0)
DescID PointLevelTrackId();                                 // (ID_POINTLEVEL_TRACK twice)

// The node's track for id, attached to it when it had none; null when the
// host cannot make one. created tells whether it is new.
CTrack* FindOrAttachTrack(BaseList2D* node, const DescID& id, bool* created = nullptr);

// A key at time on the node's track id, filled with the node's current value
// of that parameter.
Bool WriteKey(BaseDocument* doc, BaseList2D* node, const BaseTime& time, const DescID& id);

// Keys on the component tracks of Vector parameter param (903 position, 904
// rotation) selected by mask (1 x, 2 y, 4 z), set to the components of value.
// A mask of 0 writes nothing and is true.
Bool KeyVectorComponents(BaseDocument* doc, BaseObject* op, const BaseTime& time, LONG param, const Vector& value,
                         LONG mask);
// Editor (901) and render (902) visibility.
Bool KeyVisibility(BaseDocument* doc, BaseObject* op, const BaseTime& time);
// The enabled switch (906).
Bool KeyParameter906(BaseDocument* doc, BaseObject* op, const BaseTime& time);
// Container parameter id of the node.
Bool KeyContainerValue(BaseDocument* doc, BaseList2D* node, const BaseTime& time, LONG id);

// The car's read-only outputs 2500 .. 2553, in groups selected by mask:
// 0x01 2504-2507; 0x02 2500-2503, 2508-2509; 0x04 2510-2533; 0x08 2534-2537;
// 0x20 2544-2553; 0x40 2538-2543 (0x10 selects none), keyed in that order.
Bool KeyOutputParameters(BaseDocument* doc, BaseObject* car, const BaseTime& time, LONG mask);
// Calls fn(id) for every output id the mask selects, in keying order.
template <class Fn>
void ForEachOutputId(LONG mask, Fn&& fn);

// Every user-data entry of the node. A node without user data is true.
Bool KeyUserData(BaseDocument* doc, BaseList2D* node, const BaseTime& time);
// One point-level key holding every point of the object.
Bool KeyPointPositions(BaseDocument* doc, BaseObject* op, const BaseTime& time);

// The object has a position or rotation component track (a baked object).
// Other tracks, scale among them, do not count.
Bool HasTransformTrack(const BaseObject* op);

// ---------------------------------------------------------------- inline

namespace bakekeys_detail {
struct OutputGroup {
  LONG bit, first, last;
};
// In keying order; group 0x02 has two ranges.
inline constexpr OutputGroup kOutputGroups[] = {
    {0x01, CAR_OUTPUT_THROTTLE, CAR_OUTPUT_STEER},
    {0x02, CAR_OUTPUT_SPEED_KMH, CAR_OUTPUT_GEAR},
    {0x02, CAR_OUTPUT_TRACTION_CUT, CAR_OUTPUT_BRAKE_RELEASE},
    {0x04, CAR_OUTPUT_WHEEL_SPIN, CAR_OUTPUT_COMPRESSION - 1},
    {0x08, CAR_OUTPUT_COMPRESSION, CAR_OUTPUT_ROUTE - 1},
    {0x20, CAR_OUTPUT_SIDE_CONTACT, CAR_OUTPUT_COMMAND},
    {0x40, CAR_OUTPUT_ROUTE, CAR_OUTPUT_SIDE_CONTACT - 1},
};
}  // namespace bakekeys_detail

template <class Fn>
void ForEachOutputId(LONG mask, Fn&& fn) {
  for (const auto& g : bakekeys_detail::kOutputGroups)
    if (mask & g.bit)
      for (LONG id = g.first; id <= g.last; ++id) fn(id);
}
