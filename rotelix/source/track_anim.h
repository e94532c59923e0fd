// Per-frame motion of the caterpillar-track rig: the reset to the rest pose
// at or before time 0, the frame step that follows the car's road wheels
// (tensioner, sag, sprockets, wheel spin, tread links) and the layout of the
// tread links along the tracks.
#pragma once

#include "track_wheels.h"

class BaseContainer;

// Puts end pairs, rollers and tracks back on their rest positions (mirrored
// on both sides) and rebuilds the table and the tracks.
void ResetTrackRig(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state);

// Rebuilds the table and both track splines, then lays out the tread links.
Bool RebuildTrackSplines(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state);

// One frame step; incremental over the evaluated times.
void AnimateTracks(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state);

// Measures the rest length and lays the tread links out evenly along the
// tracks, adding or removing instances of the first link as needed. True
// when both sides were laid out.
Bool PlaceTreadLinks(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state);

// How many tread links a track of that length carries; 0 for a link length
// that is not positive.
LONG TreadLinkCount(Real track_length, Real link_length);
inline constexpr LONG kMaxTreadLinks = 10000;

// Places one tread link at fraction t of the track (wrapped into [0, 1)),
// its z axis along the track and its y axis turned away from it.
void PlaceTreadLink(BaseObject* link, const SplineObject* track, const SplineLengthData& length, Real t);
