// Thinning and deleting the tracks a bake wrote (see bake_keys.h).
//
// Thinning drops keys that only repeat their neighbours, so that a part that
// stood still over a stretch keeps the keys at the stretch's ends. It never
// creates a track or curve, and a track of fewer than two keys is left alone.
// Missing tracks, curves and keys are skipped silently.
#pragma once

#include "host_animation.h"

// Equality tolerances of the thinning (a difference equal to the tolerance
// counts as different).
inline constexpr Real kThinRealTolerance = 0.001;
inline constexpr Real kThinVectorTolerance = 0.01;
inline constexpr Real kThinPointTolerance = 0.001;

// All n points of a and b agree within kThinPointTolerance per component;
// true for n below 1.
Bool PointsEqual(const Vector* a, const Vector* b, LONG n);

// Thins one track by its key data. Key 0's data type picks the rule: LONG
// identical; Real within 0.001; Vector within 0.01 per component; String
// equal; point-level data by PointsEqual (keys of different point counts
// differ); anything else by the keys' Real values within 0.001. Keys of
// another type than key 0's always differ. The first key stays; inside a
// run of equal values its first and last key stay; the last key goes when it
// equals the key kept before it.
void ThinTrack(BaseList2D* node, const DescID& id);
// The six position and rotation component tracks (903, then 904; x, y, z):
// a key goes when it and the key after it both lie within 0.001 of the last
// key that changed the value.
void ThinTransformKeys(BaseObject* op);
// The point-level track by the same rule as ThinTransformKeys, comparing
// whole point arrays (PointsEqual; keys of different point counts differ).
// A key whose points cannot be read ends the walk.
void ThinPointKeys(BaseObject* op);
// Rewrites a skid-mark rail's point-level keys from the last but one key
// back: each shows the rail one point shorter than the key after it, the
// dropped points collapsed onto the last kept one, each 0.001 lower than the
// one before. No key is removed; the rail is left in the shape of the last
// key written.
void RewriteSkidMarkKeys(BaseDocument* doc, BaseObject* rail);

void ThinVisibilityKeys(BaseObject* op);    // 901, then 902
void ThinParameter906Keys(BaseObject* op);  // the enabled switch
void ThinParameterKeys(BaseList2D* node, LONG id);
void ThinOutputKeys(BaseObject* car);  // 2500 .. 2553
void ThinUserDataKeys(BaseList2D* node);

// Deleting: the track is detached and freed when present.
void DeleteTrack(BaseList2D* node, const DescID& id);
void DeleteTransformTracks(BaseObject* op);
void DeleteVisibilityTracks(BaseObject* op);
void DeleteParameter906Track(BaseObject* op);
void DeleteParameterTrack(BaseList2D* node, LONG id);
void DeleteOutputTracks(BaseObject* car);
void DeleteUserDataTracks(BaseList2D* node);
void DeletePointTrack(BaseObject* op);
