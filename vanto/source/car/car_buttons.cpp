#include "car/car_buttons.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "car/car_messages.h"
#include "car/car_params.h"
#include "car/car_publish.h"
#include "car/crumple_presets.h"
#include "car/fitting.h"
#include "host_geometry.h"
#include "host_plugin.h"
#include "host_services.h"
#include "car/add_ons.h"
#include "scene_build/object_builders.h"
#include "scene/outline.h"
#include "car/rig.h"

namespace {

const Vector kMarkerColour{240.0 / 255.0, 229.0 / 255.0, 47.0 / 255.0};
const Vector kRouteColour{0.0, 0.2, 0.6};
const Vector kNeedleGreen{45.0 / 255.0, 223.0 / 255.0, 23.0 / 255.0};
const Vector kNeedleRed{228.0 / 255.0, 45.0 / 255.0, 45.0 / 255.0};

// Null display "circle", and the planes the circles lie in.
enum : LONG { kNullCircle = 2, kPlaneXY = 1, kPlaneZY = 2 };

// Outline and grid counts the description allows; the body-size outline
// takes at most as many points a side as the collision outline can hold.
constexpr LONG kMaxSubdivisions = 100;
constexpr LONG kMinFfdGrid = 2;

// One undo group recording every object given as new; none for none.
void RecordNew(BaseDocument* doc, const std::vector<BaseObject*>& made) {
  if (made.empty()) return;
  doc->StartUndo();
  for (BaseObject* op : made)
    if (op) doc->AddUndo(UNDOTYPE_NEW, op);
  doc->EndUndo();
}

// FindOrCreateChild, noting a child it had to make in made.
BaseObject* FindOrMakeChild(BaseDocument* doc, BaseObject* parent, LONG name_id, std::vector<BaseObject*>& made) {
  if (!parent) return nullptr;
  const String name = GeLoadString(name_id);
  for (BaseObject* c = parent->GetDown(); c; c = c->GetNext())
    if (c->GetName() == name) return c;
  BaseObject* child = FindOrCreateChild(doc, parent, name_id);
  if (child) made.push_back(child);
  return child;
}

// The group object of link id beside the car (after it, under its parent),
// made and linked when the link is empty; its making is its own undo step.
BaseObject* GroupBesideCar(BaseDocument* doc, BaseObject* car, LONG link, LONG name_id, bool* made = nullptr) {
  BaseContainer& bc = *car->GetDataInstance();
  if (made) *made = false;
  if (BaseObject* group = LinkedObject(doc, bc, link)) return group;
  BaseObject* group =
      CreateNullObject(doc, car->GetUp(), car, GeLoadString(name_id), 0, 0, 0.0, 1.0, kNoColour, 0);
  if (!group) return nullptr;
  bc.SetLink(link, group);
  RecordNew(doc, {group});
  if (made) *made = true;
  return group;
}

// Body size as the car's parameters hold it now; the state's copy is
// refreshed only when the car is evaluated.
Vector CurrentBodySize(const BaseContainer& bc, CarState& state) {
  state.bodySize = bc.GetVector(CAR_BODY_SIZE);
  return state.bodySize;
}

Bool UsableSize(const Vector& s) {
  return std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.z) && s.x > 0.0 && s.z > 0.0;
}

// Points a side for a length: one every 10 scene units, within what the
// collision outline takes.
LONG SideSamples(Real length) {
  return static_cast<LONG>(std::clamp(std::floor(length / 10.0), 1.0, static_cast<Real>(kMaxOutlineSideSamples)));
}

void BuildCrumpleOutline(BaseDocument* doc, BaseObject* car, CarState& state) {
  BaseContainer& bc = *car->GetDataInstance();
  std::vector<BaseObject*> made;
  BaseObject* group = FindOrMakeChild(doc, LinkedObject(doc, bc, RIG_BODY), IDS_CRUMPLE_GROUP, made);
  if (!group) return;
  const Vector body = CurrentBodySize(bc, state);
  if (!UsableSize(body)) {
    RecordNew(doc, made);
    return;
  }
  // The deformer would act on the outline while it is being measured.
  if (BaseObject* deformer = LinkedObject(doc, bc, CAR_DEFORMER_LINK)) deformer->SetDeformMode(false);
  GeShowMouse(MOUSE_BUSY);
  SplineObject* outline = CreateFootprintOutline(doc, group, nullptr, GeLoadString(IDS_COLLISION_OUTLINE), body,
                                                 SideSamples(body.x), SideSamples(body.z), kMarkerColour, 0, nullptr);
  if (outline) {
    bc.SetLink(CAR_OUTLINE_LINK, outline);
    made.push_back(outline);
  }
  RecordNew(doc, made);
  if (outline) BuildCollisionOutline(doc, bc, state);
  GeShowMouse(MOUSE_NORMAL);
}

// The body's crumple-zone group, then its deformation group.
BaseObject* DeformationGroup(BaseDocument* doc, BaseObject* car, std::vector<BaseObject*>& made) {
  const BaseContainer& bc = *car->GetDataInstance();
  BaseObject* crumple = FindOrMakeChild(doc, LinkedObject(doc, bc, RIG_BODY), IDS_CRUMPLE_GROUP, made);
  return FindOrMakeChild(doc, crumple, IDS_DEFORMATION_GROUP, made);
}

void UseAsDeformer(BaseDocument* doc, BaseContainer& bc, BaseObject* deformer) {
  bc.SetLink(CAR_DEFORMER_LINK, deformer);
  // Off until the run: the deformer is switched on while the car animates.
  deformer->SetDeformMode(false);
  doc->SetActiveObject(deformer);
}

void BuildMeshDeformer(BaseDocument* doc, BaseObject* car, CarState& state) {
  BaseContainer& bc = *car->GetDataInstance();
  std::vector<BaseObject*> made;
  BaseObject* group = DeformationGroup(doc, car, made);
  const Vector body = CurrentBodySize(bc, state);
  if (!group || !UsableSize(body)) {
    RecordNew(doc, made);
    return;
  }
  const LONG nx = std::clamp<LONG>(bc.GetLong(CAR_OUTLINE_SUBDIVISIONS), 1, kMaxSubdivisions);
  const LONG nz = std::clamp<LONG>(bc.GetLong(CAR_FFD_GRID), 1, kMaxSubdivisions);
  const String name = GeLoadString(IDS_COLLISION_OUTLINE);
  GeShowMouse(MOUSE_BUSY);
  SplineObject* original =
      CreateFootprintOutline(doc, group, nullptr, name + " Original", body, nx, nz, kNoColour, 0, nullptr);
  SplineObject* deformed =
      CreateFootprintOutline(doc, group, original, name + " Deformer", body, nx, nz, kNoColour, 0, nullptr);
  BaseObject* binder = original && deformed ? CreateMeshBinder(doc, group, original, deformed, 0.75 * body.y) : nullptr;
  if (binder) {
    UseAsDeformer(doc, bc, binder);
    made.insert(made.end(), {original, deformed, binder});
  } else {
    // Half a set-up is of no use: what was made for it goes again.
    for (SplineObject* sp : {original, deformed}) {
      BaseObject* op = sp;
      if (op) BaseObject::Free(op);
    }
  }
  RecordNew(doc, made);
  GeShowMouse(MOUSE_NORMAL);
}

void BuildFfd(BaseDocument* doc, BaseObject* car, CarState& state) {
  BaseContainer& bc = *car->GetDataInstance();
  std::vector<BaseObject*> made;
  BaseObject* group = DeformationGroup(doc, car, made);
  const Vector body = CurrentBodySize(bc, state);
  if (!group || !UsableSize(body)) {
    RecordNew(doc, made);
    return;
  }
  BaseObject* ffd = CreateFfdObject(doc, group, body);
  if (ffd) {
    BaseContainer* fc = ffd->GetDataInstance();
    fc->SetLong(FFDOBJECT_SUBX, std::clamp<LONG>(bc.GetLong(CAR_OUTLINE_SUBDIVISIONS), kMinFfdGrid, kMaxSubdivisions));
    fc->SetLong(FFDOBJECT_SUBY, kMinFfdGrid);
    fc->SetLong(FFDOBJECT_SUBZ, std::clamp<LONG>(bc.GetLong(CAR_FFD_GRID), kMinFfdGrid, kMaxSubdivisions));
    ffd->Message(MSG_UPDATE);
    UseAsDeformer(doc, bc, ffd);
    made.push_back(ffd);
  }
  RecordNew(doc, made);
}

void FindAttachedParts(BaseDocument* doc, BaseObject* car) {
  BaseContainer& bc = *car->GetDataInstance();
  std::vector<BaseObject*> made;
  BaseObject* crumple = FindOrMakeChild(doc, LinkedObject(doc, bc, RIG_BODY), IDS_CRUMPLE_GROUP, made);
  BaseObject* parts = FindOrMakeChild(doc, crumple, IDS_ATTACHED_PARTS, made);
  if (parts) bc.SetLink(CAR_PARTS_LINK, parts);
  RecordNew(doc, made);
}

void AddRoutePiece(BaseDocument* doc, BaseObject* car, const CarState& state) {
  bool new_group = false;
  BaseObject* group = GroupBesideCar(doc, car, CAR_ROUTE_GROUP, IDS_ROUTE_GROUP, &new_group);
  if (!group) return;
  // A further piece carries on where the last one ends.
  Vector start;
  if (!new_group)
    if (BaseObject* last = group->GetDownLast()) start = LastSplinePointWorld(last);
  const Real u = state.settings.unitsPerMetre;
  SplineObject* piece = CreateSplineFromPoints(doc, group, group->GetDownLast(), GeLoadString(IDS_ROUTE_PIECE),
                                               Vector(), Vector(0.0, 0.0, 20.0 * u), kRouteColour, ID_VANTOROUTE);
  if (!piece) return;
  piece->SetRelPos(start);
  doc->SetActiveObject(piece);
  doc->SetActiveTag(piece->GetTag(ID_VANTOROUTE));
  RecordNew(doc, {piece});
}

void AddCommandMarker(BaseDocument* doc, BaseObject* car) {
  BaseObject* group = GroupBesideCar(doc, car, CAR_COMMAND_GROUP, IDS_COMMAND_GROUP);
  if (!group) return;
  BaseObject* marker = CreateNullObject(doc, group, group->GetDownLast(), GeLoadString(IDS_COMMAND_MARKER), 0, 0, 0.0,
                                        1.0, kMarkerColour, ID_VANTOCOMMANDS);
  if (!marker) return;
  doc->SetActiveObject(marker);
  RecordNew(doc, {marker});
}

void AddGroundPiece(BaseDocument* doc, BaseObject* car, const CarState& state) {
  BaseObject* group = GroupBesideCar(doc, car, CAR_GROUND_GROUP, IDS_GROUND_GROUP);
  if (!group) return;
  const Real u = state.settings.unitsPerMetre;
  // A 10 m square of 3 x 3 faces whose middle face is a low bump.
  PolygonObject* ground = CreatePolygonObject(doc, group, group->GetDownLast(), GeLoadString(IDS_GROUND_PIECE),
                                              10.0 * u, 10.0 * u, 3, ID_VANTOGROUND);
  if (!ground) return;
  Vector* p = ground->GetPointW();
  for (LONG i : {5, 6, 9, 10}) p[i].y = 0.4 * u;
  ground->Message(MSG_UPDATE);
  ground->SetRelPos(Vector(0.0, 0.0, 10.0 * u));
  doc->SetActiveObject(ground);
  RecordNew(doc, {ground});
}

void BuildOutputObject(BaseDocument* doc, BaseObject* car) {
  BaseContainer& bc = *car->GetDataInstance();
  // Beside the car rather than under it: the car's children are its rig.
  BaseObject* out = CreateOutputObject(doc, car->GetUp(), bc);
  if (!out) return;
  bc.SetLink(CAR_OUTPUT_OBJECT, out);
  RecordNew(doc, {out});
}

struct Instrument {
  LONG button, name, link, plane;
  Real radius_u, aspect;  // radius in metres
  Vector colour;
};

void BuildInstrument(BaseDocument* doc, BaseObject* car, const CarState& state, LONG button) {
  static const Instrument kInstruments[] = {
      {CAR_NEEDLE_STEER_BUILD, IDS_NEEDLE_STEER, CAR_NEEDLE_STEER_LINK, kPlaneXY, 0.25, 1.0, kRouteColour},
      {CAR_NEEDLE_THROTTLE_BUILD, IDS_NEEDLE_THROTTLE, CAR_NEEDLE_THROTTLE_LINK, kPlaneZY, 0.05, 4.0, kNeedleGreen},
      {CAR_NEEDLE_BRAKE_BUILD, IDS_NEEDLE_BRAKE, CAR_NEEDLE_BRAKE_LINK, kPlaneZY, 0.05, 4.0, kNeedleRed},
      {CAR_NEEDLE_HANDBRAKE_BUILD, IDS_NEEDLE_HANDBRAKE, CAR_NEEDLE_HANDBRAKE_LINK, kPlaneZY, 0.1, 4.0, kNeedleRed},
      {CAR_BRAKE_LIGHT_BUILD, IDS_BRAKE_LIGHT, CAR_BRAKE_LIGHT_LINK, kPlaneXY, 0.2, 0.5, kNeedleRed},
  };
  const Instrument* in = nullptr;
  for (const Instrument& i : kInstruments)
    if (i.button == button) in = &i;
  BaseContainer& bc = *car->GetDataInstance();
  BaseObject* body = LinkedObject(doc, bc, RIG_BODY);
  if (!in || !body) return;
  const Real u = state.settings.unitsPerMetre;
  const Vector size = bc.GetVector(CAR_BODY_SIZE);
  const Real w = size.x, h = size.y, l = size.z;
  Vector pos, rot;
  bool turn = true;
  switch (button) {
    case CAR_NEEDLE_STEER_BUILD:
      pos = Vector(-0.25 * w, 0.5 * h, 0.0);
      rot = Vector(0.0, -pi / 6.0, 0.0);
      break;
    case CAR_NEEDLE_THROTTLE_BUILD:
      pos = Vector(0.15 * u - 0.25 * w, -0.5 * h, 0.2 * l);
      rot = Vector(0.0, pi / 3.0, 0.0);
      break;
    case CAR_NEEDLE_BRAKE_BUILD:
      pos = Vector(-0.25 * w, 0.25 * u - 0.5 * h, 0.2 * l + 10.0);
      rot = Vector(0.0, -2.0 * pi / 3.0, 0.0);
      break;
    case CAR_NEEDLE_HANDBRAKE_BUILD:
      // On the floor between the seats, as the brake pedal stands on it.
      pos = Vector(0.0, 0.25 * u - 0.5 * h, 0.0);
      break;
    default:  // the brake light at the tail
      pos = Vector(0.0, 0.0, -0.5 * l);
      turn = false;
      break;
  }
  BaseObject* null = CreateNullObject(doc, body, body->GetDownLast(), GeLoadString(in->name), kNullCircle, in->plane,
                                      in->radius_u * u, in->aspect, in->colour, 0);
  if (!null) return;
  null->SetRelPos(pos);
  if (turn) null->SetRelRot(rot);
  bc.SetLink(in->link, null);
  RecordNew(doc, {null});
}

void BuildSprings(BaseDocument* doc, BaseObject* car) {
  BaseContainer& bc = *car->GetDataInstance();
  for (LONG k = 0; k < 4; ++k) {
    BaseObject* bottom = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + k);
    if (!bottom || LinkedObject(doc, bc, CAR_SPRING_LINKS + k)) continue;
    const Real diameter = bc.GetReal(k < 2 ? CAR_WHEEL_DIAMETER_FRONT : CAR_WHEEL_DIAMETER_REAR);
    BaseObject* helix = nullptr;
    BaseObject* sweep = BuildSpringSweep(doc, bottom, bc, diameter, &helix);
    if (!sweep) break;
    if (!helix) {
      BaseObject::Free(sweep);  // a spring without its coil is no use
      break;
    }
    bc.SetLink(CAR_SPRING_LINKS + k, helix);
    RecordNew(doc, {sweep});
  }
}

void BuildSkidMarks(BaseDocument* doc, BaseObject* car) {
  BaseContainer& bc = *car->GetDataInstance();
  std::vector<BaseObject*> made;
  BaseObject* parent = FindOrMakeChild(doc, car, IDS_RIG_SKIDS_GROUP, made);
  if (!parent) return;
  // The rails are written in the car's frame, which is the world's.
  parent->SetMl(Matrix());
  const Bool two_rails = bc.GetBool(CAR_SKID_TWO_RAILS);
  for (LONG i = 0; i < 4; ++i) {
    const Real width = bc.GetReal(i < 2 ? CAR_WHEEL_WIDTH_FRONT : CAR_WHEEL_WIDTH_REAR);
    BaseObject* sweep = BuildSkidMarkSweep(doc, parent, i, width, two_rails);
    if (!sweep) break;
    bc.SetLink(CAR_SKID_LINKS + i, sweep);
    made.push_back(sweep);
    RecordNew(doc, made);
    made.clear();
  }
  RecordNew(doc, made);
}

void ClearLearnedSpeeds(BaseObject* car, CarState& state) {
  if (QuestionDialog(GeLoadString(IDS_CLEAR_SPEEDS_QUESTION, car->GetName())))
    ClearSpeedTargets(*car->GetDataInstance(), state);
}

}  // namespace

Bool PressCarButton(BaseDocument* doc, BaseObject* car, CarState& state, LONG id) {
  if (!doc || !car) return false;
  BaseContainer& bc = *car->GetDataInstance();
  switch (id) {
    case CAR_FIT_RIG:
      FitRigToSelection(doc, car, true);
      break;
    case CAR_BUILD_RIG:
      BuildCarRig(doc, car, &bc, state.settings.unitsPerMetre);
      break;
    case CAR_OUTLINE_BUILD:
      BuildCrumpleOutline(doc, car, state);
      break;
    case CAR_FORCE_PRESET_APPLY:
      ApplyForceCurvePreset(&bc);
      break;
    case CAR_ROUTE_ADD:
      AddRoutePiece(doc, car, state);
      break;
    case CAR_SPEED_CLEAR:
      ClearLearnedSpeeds(car, state);
      break;
    case CAR_COMMAND_ADD:
      AddCommandMarker(doc, car);
      break;
    case CAR_GROUND_ADD:
      AddGroundPiece(doc, car, state);
      break;
    case CAR_OUTPUT_BUILD:
      BuildOutputObject(doc, car);
      break;
    case CAR_NEEDLE_STEER_BUILD:
    case CAR_NEEDLE_THROTTLE_BUILD:
    case CAR_NEEDLE_BRAKE_BUILD:
    case CAR_NEEDLE_HANDBRAKE_BUILD:
    case CAR_BRAKE_LIGHT_BUILD:
      BuildInstrument(doc, car, state, id);
      break;
    case CAR_SPRINGS_BUILD:
      BuildSprings(doc, car);
      break;
    case CAR_SKID_MARKS_BUILD:
      BuildSkidMarks(doc, car);
      break;
    case CAR_DEFORMER_BUILD_A:
      BuildMeshDeformer(doc, car, state);
      break;
    case CAR_DEFORMER_BUILD_B:
      BuildFfd(doc, car, state);
      break;
    case CAR_PARTS_FIND:
      if (LinkedObject(doc, bc, RIG_BODY)) FindAttachedParts(doc, car);
      break;
    default:
      return false;
  }
  return true;
}
