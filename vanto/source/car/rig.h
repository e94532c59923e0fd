// The car's rig: the Null objects under a Car that its simulated motion
// moves, found through object links in the car's container, their rest pose
// and the other stores a car keeps in its container across reloads (learnt
// speed targets, attached parts' matrices, the torque curve's range).
//
// Link ids (wheel i = 0 .. 19; extra axle a = 0 .. 7 owns wheels 4 + 2a and
// 5 + 2a): 5600 body, 5601 engine, 5602 + i hub, 5622 + i spinner,
// 5642 + i suspension bottom, 5662 + i suspension top; LONG 6622 + k axle
// word (DecodeAxleWord: group 0 front, 1 rear; bit 8 unsteered). Rest positions: 6600 body, 6601 engine, 6602 + i
// hub, 6642 + i bottom, 6662 + i top.
#pragma once

#include "car/car_params.h"
#include "carsim/axle_word.h"
#include "carsim/car_param_ids.h"
#include "scene/carstate.h"
#include "host_geometry.h"
#include "scene/scene_links.h"

inline constexpr LONG kMaxPartMatrices = 500;

// Axle k's word (0 and 1 the main axles, 2 + a extra axle a), decoded.
inline AxleWord RigAxleWord(const BaseContainer& bc, LONG axle) {
  return DecodeAxleWord(bc.GetLong(RIG_AXLE_TYPE + axle));
}

// The extra-axle count of the car's wheel-rig tag, within 0 .. 8; 0 without
// the tag.
LONG ExtraAxleCount(const BaseObject* car);
// The wheels of the car's rig: 4 and two per extra axle of its tag.
LONG RigWheelCount(const BaseObject* car);

// ---------------------------------------------------------------- default rig and extra axles

// Body, engine, four suspension tops and four wheels with their spinner and
// suspension bottom, linked in the car's container. False at the first object
// that cannot be made (what was made stays).
Bool BuildDefaultRig(BaseDocument* doc, BaseObject* car);
// Extra axle a (0 .. 7) after the previous axle; size is the scene units per
// metre. False, with nothing built, when a is out of range or the previous
// axle is missing.
Bool AddExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle, LONG axle_type, Real size);
// AddExtraAxle, then the new axle laid out from its template and its rest
// positions stored, as the next layout would.
Bool BuildAndPlaceExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle, LONG axle_word, Real size);
// Takes axle a's objects out of the scene (objects carrying the user's
// children move to the top level) and clears its links and axle type.
void RemoveExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle);

// ---------------------------------------------------------------- rig objects

// Finds (by link, then by name) or creates every object of the base rig and
// resets the rig to its rest pose. False when a creation failed.
Bool BuildCarRig(BaseDocument* doc, BaseObject* car, BaseContainer* bc, Real units_per_metre);
// Sets the wheel count and places the extra axles from their template axles.
void PlaceExtraAxles(BaseDocument* doc, BaseObject* car, CarState& state);
// The parent's direct child named by that resource string, or a new Null of
// that name appended as its last child.
BaseObject* FindOrCreateChild(BaseDocument* doc, BaseObject* parent, LONG string_id);
// Drops cached ground, route and marker objects that no longer belong to
// their group (the check every advance call makes, for a car outside a run).
void CheckLinkedObjects(BaseDocument* doc, BaseObject* car, CarState& state);

// ---------------------------------------------------------------- snapshots

void LoadSpeedTargets(const BaseContainer& bc, CarState& state);
void SaveSpeedTargets(BaseContainer& bc, CarState& state);
void ClearSpeedTargets(BaseContainer& bc, CarState& state);
// The object's last point in its parent's frame; zero without points.
Vector LastSplinePointWorld(const BaseObject* op);
void RescaleTorqueCurve(BaseContainer& bc);
void StorePartMatrices(BaseDocument* doc, BaseContainer& bc);
Bool StoreRigPositions(BaseDocument* doc, BaseObject* car);

// ---------------------------------------------------------------- resets

void ComputeRoofCorners(const BaseContainer& bc, CarState& state);
// Back to the stored rest pose. Without a document the rig is found by its
// place in the car's hierarchy. False at the first missing rig object.
Bool ResetRigPose(BaseDocument* doc, BaseObject* car);
void ResetDamageAndSkidMarks(BaseDocument* doc, BaseObject* car, CarState& state);
