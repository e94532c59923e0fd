#include "bake/bake_keys.h"

#include "host_description.h"
#include "host_geometry.h"

DescID VectorComponentTrackId(LONG param, LONG component) {
  return DescID(DescLevel(param, DA_VECTOR, 0), DescLevel(VECTOR_X + component, DA_REAL, 0));
}

DescID ParameterTrackId(LONG id) { return DescID(DescLevel(id, 0, 0)); }

DescID PointLevelTrackId() { return DescID(DescLevel(ID_POINTLEVEL_TRACK, ID_POINTLEVEL_TRACK, 0)); }

CTrack* FindOrAttachTrack(BaseList2D* node, const DescID& id, bool* created) {
  if (created) *created = false;
  if (!node) return nullptr;
  if (CTrack* track = node->FindCTrack(id)) return track;
  CTrack* track = CTrack::Alloc(node, id);
  if (!track) return nullptr;
  if (!node->InsertTrackSorted(track)) {
    CTrack::Free(track);
    return nullptr;
  }
  if (created) *created = true;
  return track;
}

namespace {

// What one key write needs: the track, its curve and the key at the time.
struct KeySlot {
  CTrack* track = nullptr;
  CCurve* curve = nullptr;
  CKey* key = nullptr;
  LONG index = -1;
  bool newTrack = false;
  bool newKey = false;
};

bool OpenKey(BaseList2D* node, const DescID& id, const BaseTime& time, KeySlot& slot) {
  slot.track = FindOrAttachTrack(node, id, &slot.newTrack);
  if (!slot.track) return false;
  slot.curve = slot.track->GetCurve(CCURVE_CURVE, true);
  if (slot.curve) {
    const LONG before = slot.curve->GetKeyCount();
    slot.key = slot.curve->AddKey(time, &slot.index);
    slot.newKey = slot.key && slot.curve->GetKeyCount() > before;
  }
  if (slot.key) return true;
  if (slot.newTrack) CTrack::Free(slot.track);
  return false;
}

// A key that could not be filled leaves nothing behind: an empty key would
// play back as zero, an empty new track would make the object look baked.
void DropKey(KeySlot& slot) {
  if (slot.newKey) slot.curve->DelKey(slot.index);
  if (slot.newTrack && slot.curve->GetKeyCount() == 0) CTrack::Free(slot.track);
}

}  // namespace

Bool WriteKey(BaseDocument* doc, BaseList2D* node, const BaseTime& time, const DescID& id) {
  KeySlot slot;
  if (!OpenKey(node, id, time, slot)) return false;
  if (slot.track->FillKey(doc, node, slot.key)) return true;
  DropKey(slot);
  return false;
}

Bool KeyVectorComponents(BaseDocument*, BaseObject* op, const BaseTime& time, LONG param, const Vector& value,
                         LONG mask) {
  Bool ok = true;
  const Real components[3] = {value.x, value.y, value.z};
  for (LONG c = 0; c < 3; ++c) {
    if (!(mask & (1 << c))) continue;
    KeySlot slot;
    if (!OpenKey(op, VectorComponentTrackId(param, c), time, slot)) {
      ok = false;
      continue;
    }
    slot.key->SetValue(slot.curve, components[c]);
  }
  return ok;
}

Bool KeyVisibility(BaseDocument* doc, BaseObject* op, const BaseTime& time) {
  const Bool editor = WriteKey(doc, op, time, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_EDITOR));
  const Bool render = WriteKey(doc, op, time, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_RENDER));
  return editor && render;
}

Bool KeyParameter906(BaseDocument* doc, BaseObject* op, const BaseTime& time) {
  return WriteKey(doc, op, time, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG));
}

Bool KeyContainerValue(BaseDocument* doc, BaseList2D* node, const BaseTime& time, LONG id) {
  return WriteKey(doc, node, time, ParameterTrackId(id));
}

Bool KeyOutputParameters(BaseDocument* doc, BaseObject* car, const BaseTime& time, LONG mask) {
  Bool ok = true;
  ForEachOutputId(mask, [&](LONG id) {
    if (!WriteKey(doc, car, time, ParameterTrackId(id))) ok = false;
  });
  return ok;
}

Bool KeyUserData(BaseDocument* doc, BaseList2D* node, const BaseTime& time) {
  if (!node) return false;
  DynamicDescription* dd = node->GetDynamicDescription();
  if (!dd) return true;
  void* walk = dd->BrowseInit();
  if (!walk) return false;
  Bool ok = true;
  DescID id;
  const BaseContainer* settings = nullptr;
  while (dd->BrowseGetNext(walk, &id, &settings)) {
    GeData value;
    if (!node->GetParameter(id, value, 0) || !WriteKey(doc, node, time, id)) ok = false;
  }
  dd->BrowseFree(walk);
  return ok;
}

Bool KeyPointPositions(BaseDocument* doc, BaseObject* op, const BaseTime& time) {
  return WriteKey(doc, op, time, PointLevelTrackId());
}

Bool HasTransformTrack(const BaseObject* op) {
  if (!op) return false;
  for (LONG param : {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION})
    for (LONG c = VECTOR_X; c <= VECTOR_Z; ++c)
      if (op->FindCTrack(DescID(DescLevel(param, 0, 0), DescLevel(c, 0, 0)))) return true;
  return false;
}
