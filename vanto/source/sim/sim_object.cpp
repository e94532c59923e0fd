#include "sim/sim_object.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_description.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"
#include "bake/bake_keys.h"
#include "sim/name_lang.h"
#include "bake/sim_bake.h"
#include "host_services.h"
#include "carsim/link_message.h"

namespace {

// Display colour of the crash props.
constexpr Vector kPropColour{240.0 / 255.0, 229.0 / 255.0, 47.0 / 255.0};

BaseTime OneFrame(LONG fps) { return BaseTime(1.0, static_cast<Real>(fps)); }

LONG FpsOf(const GeListNode* node) {
  const BaseDocument* doc = node ? node->GetDocument() : nullptr;
  return doc ? doc->GetFps() : kDefaultFps;
}

// Quantised to frames, and never below one frame.
BaseTime AtLeastOneFrame(const BaseTime& t, LONG fps) {
  const BaseTime q = QuantizeToFrames(t, fps);
  return q.GetNumerator() < 1.0 ? OneFrame(fps) : q;
}

// The array grown by one element (host memory). Null when memory fails; the
// old array is then still the caller's.
template <class T>
T* GrowByOne(T* old, LONG count) {
  T* grown = static_cast<T*>(GeAlloc(sizeof(T) * (static_cast<std::size_t>(count) + 1)));
  if (!grown) return nullptr;
  if (old && count > 0) std::memcpy(static_cast<void*>(grown), old, sizeof(T) * static_cast<std::size_t>(count));
  return grown;
}

void* AskForRecord(C4DAtom* node) {
  SimLinkMessage msg{SIMLINK_GET_RECORD, nullptr};
  node->Message(MSG_SIMLINK, &msg);
  return msg.payload;
}

void RecordNewObject(BaseDocument* doc, BaseObject* op) {
  doc->SetActiveObject(op);
  doc->StartUndo();
  doc->AddUndo(UNDOTYPE_NEW, op);
  doc->EndUndo();
}

}  // namespace

// ---------------------------------------------------------------- life cycle

Bool Sim::Init(GeListNode* node) {
  DetectAddOns();
  settings_.unitsPerMetre = 100.0;
  bakePhase_ = 0;
  auto* op = static_cast<BaseObject*>(node);
  BaseContainer* bc = op->GetDataInstance();
  const LONG fps = FpsOf(node);
  bc->SetReal(SIM_GRAVITY, 9.81);
  bc->SetBool(SIM_DISPLAY, true);
  bc->SetLong(SIM_STEPS_PER_SECOND, 1000);
  bc->SetReal(SIM_TIME_SCALE, 1.0);
  bc->SetTime(SIM_START, OneFrame(fps));
  bc->SetBool(SIM_PROP_TAG, (AddOnFlags & 1) != 0);
  bc->SetVector(SIM_CUBE_SIZE, Vector(200.0, 200.0, 200.0));
  bc->SetVector(SIM_CYLINDER_SIZE, Vector(100.0, 200.0, 100.0));
  bc->SetLong(SIM_POLYGON_CORNERS, 8);
  bc->SetTime(SIM_BAKE_START, OneFrame(fps));
  bc->SetTime(SIM_BAKE_END, BaseTime(2.0));
  for (LONG id = SIM_RECORD_FIRST; id <= SIM_RECORD_LAST; ++id) bc->SetBool(id, true);
  bc->SetString(SIM_VERSION, String(kSimVersionText));
  bc->SetBool(SIM_RUNNING, false);
  return true;
}

void Sim::ReleaseLists() {
  if (cars_) GeFree(cars_);
  carCount_ = 0;
  if (obstacles_) GeFree(obstacles_);
  obstacleCount_ = 0;
  if (children_) GeFree(children_);
  childCount_ = 0;
  pendingObstacles_ = 0;
}

void Sim::Free(GeListNode*) {
  ReleaseLists();
  if (ready_) GeFree(ready_);
  readyCount_ = 0;
}

Bool Sim::CopyTo(NodeData* dest, GeListNode*, GeListNode*, LONG, AliasTrans*) {
  auto* to = static_cast<Sim*>(dest);
  if (!to) return false;
  to->bakePhase_ = bakePhase_;
  to->settings_ = settings_;
  to->advancedTo_ = advancedTo_;
  // The copy borrows nothing: its lists are gathered from its own children.
  to->ReleaseLists();
  if (to->ready_) GeFree(to->ready_);
  to->readyCount_ = 0;
  return true;
}

// ---------------------------------------------------------------- messages

BaseObject* Sim::AddProp(BaseDocument* doc, BaseObject* op, LONG id) {
  const BaseContainer* bc = op->GetDataInstance();
  BaseObject* prop = nullptr;
  if (id == SIM_ADD_CUBE) {
    const Vector size = bc->GetVector(SIM_CUBE_SIZE);
    prop = CreateCubeObject(doc, op, GeLoadString(IDS_PROP_CUBE), size, kPropColour, ID_KOLVARIS);
    if (prop) prop->SetRelPos(Vector(0.0, size.y * 0.5, 1000.0));
  } else if (id == SIM_ADD_CYLINDER) {
    const Vector size = bc->GetVector(SIM_CYLINDER_SIZE);
    prop = CreateCylinderObject(doc, op, GeLoadString(IDS_PROP_CYLINDER), size, 2, kPropColour, ID_KOLVARIS);
    if (prop) prop->SetRelPos(Vector(0.0, size.y * 0.5, 1500.0));
  } else {
    // Only the description holds the count to its range; a scene file can
    // carry any number.
    const LONG corners = std::min(bc->GetLong(SIM_POLYGON_CORNERS), kMaxPolygonCorners);
    if (corners < 4) return nullptr;
    prop = CreateRegularPolygonSpline(doc, op, GeLoadString(IDS_PROP_POLYGON), 400.0, corners, kPropColour,
                                      ID_KOLVARIS);
    if (prop) prop->SetRelPos(Vector(0.0, 0.0, 2000.0));
  }
  if (prop) RecordNewObject(doc, prop);
  return prop;
}

Bool Sim::Message(GeListNode* node, LONG type, void* data) {
  auto* op = static_cast<BaseObject*>(node);
  BaseContainer* bc = op->GetDataInstance();
  BaseDocument* doc = node->GetDocument();
  const LONG fps = FpsOf(node);

  switch (type) {
    case MSG_MULTI_DOCUMENTIMPORTED: {
      bc->SetString(SIM_VERSION, String(kSimVersionText));
      bc->SetBool(SIM_RUNNING, false);
      bc->SetLong(SIM_RUN_STATE, SIMSTATE_RESET);
      // A car that was baked plays its keys: the Sim stays out of the way.
      for (BaseObject* c = op->GetDown(); c; c = c->GetNext()) {
        if (c->GetType() != ID_CAR) continue;
        BaseObject* body = c->GetDataInstance()->GetObjectLink(RIG_BODY, doc);
        if (body && HasTransformTrack(body)) {
          bc->SetLong(SIM_RUN_STATE, SIMSTATE_BAKED);
          break;
        }
      }
      TranslateObjectNames(doc, op);
      break;
    }
    case MSG_DESCRIPTION_COMMAND: {
      if (!doc || !data) break;
      const LONG id = static_cast<const DescID*>(data)->operator[](0).id;
      switch (id) {
        case SIM_ADD_CAR: {
          BaseObject* car = BaseObject::Alloc(ID_CAR);
          if (!car) break;
          doc->InsertObject(car, op, nullptr, true);
          if ((AddOnFlags & 1) && bc->GetBool(SIM_PROP_TAG)) AttachNewTag(car, ID_KOLVARIS);
          RecordNewObject(doc, car);
          car->Message(MSG_MENUPREPARE, nullptr);  // the car builds its default rig
          break;
        }
        case SIM_ADD_CUBE:
        case SIM_ADD_CYLINDER:
        case SIM_ADD_POLYGON:
          AddProp(doc, op, id);
          break;
        case SIM_BAKE:
          if (CollectCars(doc, op) > 0) BakeSimulation(doc, op, *this);
          break;
        case SIM_BAKE_RANGE:
          bc->SetTime(SIM_BAKE_START, AtLeastOneFrame(doc->GetLoopMinTime(), fps));
          bc->SetTime(SIM_BAKE_END, doc->GetLoopMaxTime());
          break;
        case SIM_REBUILD:
          RebuildCars(doc, op);
          break;
        default:
          break;
      }
      break;
    }
    case MSG_DESCRIPTION_VALIDATE: {
      const Vector c = bc->GetVector(SIM_CYLINDER_SIZE);
      bc->SetVector(SIM_CYLINDER_SIZE, Vector(c.x, c.y, c.x));
      const BaseTime start = AtLeastOneFrame(bc->GetTime(SIM_START), fps);
      bc->SetTime(SIM_START, start);
      BaseTime bake = bc->GetTime(SIM_BAKE_START);
      if (bake < start) bake = start;
      bc->SetTime(SIM_BAKE_START, AtLeastOneFrame(bake, fps));
      break;
    }
    case MSG_MENUPREPARE:
      if (doc || GetActiveDocument()) bc->SetBool(SIM_RUNNING, false);
      break;
    default:
      break;
  }
  return true;
}

Bool Sim::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  BaseDocument* doc = node ? node->GetDocument() : nullptr;
  if (!doc) return true;
  const BaseContainer* bc = static_cast<BaseObject*>(node)->GetDataInstance();
  const bool running = bc->GetBool(SIM_RUNNING);
  switch (id[0].id) {
    case SIM_RUNNING:
    case SIM_DISPLAY:
    case SIM_TIME_SCALE:
    case SIM_BAKE_START:
    case SIM_BAKE_END:
    case SIM_BAKE_RANGE:
    case SIM_REBUILD:
      return true;
    case SIM_ADD_CUBE:
    case SIM_ADD_CYLINDER:
    case SIM_ADD_POLYGON:
    case SIM_PROP_TAG:
    case SIM_CUBE_SIZE:
    case SIM_CYLINDER_SIZE:
    case SIM_POLYGON_CORNERS:
      return !running && (AddOnFlags & 1);
    case SIM_BAKE:
      return doc->GetTime().Get() == 0.0;
    default:
      return !running;
  }
}

Bool Sim::GetDDescription(GeListNode* node, Description* description, LONG& flags) {
  if (!description || !description->LoadDescription(ID_SIM)) return false;
  if (!(AddOnFlags & 1)) {
    for (LONG id : {SIM_ADD_CUBE, SIM_ADD_CYLINDER, SIM_ADD_POLYGON, SIM_PROP_TAG, SIM_CUBE_SIZE, SIM_CYLINDER_SIZE,
                    SIM_POLYGON_CORNERS})
      if (BaseContainer* entry = description->GetParameterI(DescID(id))) entry->SetBool(DESC_HIDE, true);
  }
  flags |= DESCFLAGS_DESC_LOADED;
  return ObjectData::GetDDescription(node, description, flags);
}

// ---------------------------------------------------------------- collection

bool Sim::StampChildren(const BaseObject* op) {
  LONG n = 0;
  for (const BaseObject* c = op->GetDown(); c; c = c->GetNext()) ++n;
  if (n == 0) return true;
  children_ = static_cast<ChildStamp*>(GeAlloc(sizeof(ChildStamp) * static_cast<std::size_t>(n)));
  if (!children_) return false;
  for (const BaseObject* c = op->GetDown(); c; c = c->GetNext())
    children_[childCount_++] = {c, c->GetSerial(), c->GetTag(ID_KOLVARIS)};
  return true;
}

bool Sim::ChildrenChanged(const BaseObject* op) const {
  LONG i = 0;
  for (const BaseObject* c = op->GetDown(); c; c = c->GetNext(), ++i) {
    if (i >= childCount_) return true;
    const ChildStamp& s = children_[i];
    if (s.object != c || s.serial != c->GetSerial() || s.crumpleTag != c->GetTag(ID_KOLVARIS)) return true;
  }
  return i != childCount_;
}

LONG Sim::CollectCars(BaseDocument*, BaseObject* op) {
  ReleaseLists();
  BaseObject* child = op->GetDown();
  if (!child) return 0;
  LONG number = 0;
  for (BaseObject* c = child; c; c = c->GetNext()) {
    if (c->GetType() == ID_CAR) {
      // A switched-off car keeps its number: the dashboard slots stay put.
      if (c->GetEditorMode() != MODE_OFF) {
        auto* state = static_cast<CarState*>(AskForRecord(c));
        if (state) {
          CarEntry* grown = GrowByOne(cars_, carCount_);
          if (!grown) return -1;  // the list gathered so far stays
          if (cars_) GeFree(cars_);
          cars_ = grown;
          int32 ready = 0;
          for (LONG k = 0; k < readyCount_; ++k)
            if (ready_[k] == c->GetSerial()) ready = 1;
          cars_[carCount_] = CarEntry{c, state, ready};
          state->settings = settings_;
          state->carIndex = number;
          ++carCount_;
        }
      }
      ++number;
    } else if (BaseTag* tag = c->GetTag(ID_KOLVARIS)) {
      if (c->GetEditorMode() == MODE_OFF || !c->GetDeformMode()) continue;
      auto* shape = static_cast<CollisionShape*>(AskForRecord(tag));
      if (!shape || !shape->sourceObject) {  // no shape built yet
        ++pendingObstacles_;
        continue;
      }
      CollisionShape** grown = GrowByOne(obstacles_, obstacleCount_);
      if (!grown) return -1;
      if (obstacles_) GeFree(obstacles_);
      obstacles_ = grown;
      obstacles_[obstacleCount_++] = shape;
    }
  }
  if (!StampChildren(op)) return -1;
  return 1;
}

bool Sim::RememberReadyCars() {
  if (ready_) GeFree(ready_);
  readyCount_ = 0;
  if (carCount_ == 0) return true;
  ready_ = static_cast<std::uint64_t*>(GeAlloc(sizeof(std::uint64_t) * static_cast<std::size_t>(carCount_)));
  if (!ready_) return false;
  for (LONG i = 0; i < carCount_; ++i)
    if (cars_[i].ready) ready_[readyCount_++] = cars_[i].object->GetSerial();
  return true;
}

// ---------------------------------------------------------------- the run

Bool Sim::AddToExecution(BaseObject* op, PriorityList* list) {
  list->Add(op, EXECUTIONPRIORITY_EXPRESSION, 0);
  return true;
}

void Sim::ReportError(BaseObject* op, LONG resource, LONG number, bool engine) {
  MessageDialog(GeLoadString(resource, LongToString(number)));
  BaseContainer* bc = op->GetDataInstance();
  bc->SetBool(SIM_RUNNING, false);
  bc->SetLong(SIM_RUN_STATE, SIMSTATE_ERROR);
  if (engine) bc->SetBool(SIM_ENGINE_OK, false);
}

EXECUTIONRESULT Sim::Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, LONG, LONG flags) {
  if (!op || !doc) return EXECUTIONRESULT_OK;
  BaseContainer* bc = op->GetDataInstance();
  if (bc->GetLong(SIM_RUN_STATE) == SIMSTATE_BAKED) {
    bc->SetBool(SIM_RUNNING, false);
    return EXECUTIONRESULT_OK;
  }
  const double t = doc->GetTime().Get();
  settings_.startTime = bc->GetTime(SIM_START).Get();
  if (t < settings_.startTime) {
    bc->SetLong(SIM_RUN_STATE, SIMSTATE_RESET);
    bc->SetBool(SIM_RUNNING, false);
    op->SetMg(Matrix());
    settings_.lastDocTime = t;
    return EXECUTIONRESULT_OK;
  }
  settings_.timeScale = bc->GetReal(SIM_TIME_SCALE);
  if (t == settings_.lastDocTime) return EXECUTIONRESULT_OK;

  const LONG state = bc->GetLong(SIM_RUN_STATE);
  if (state == SIMSTATE_RESET) {
    bc->SetLong(SIM_RUN_STATE, SIMSTATE_RUNNING);
    bc->SetBool(SIM_RUNNING, true);
    settings_.gravity = bc->GetReal(SIM_GRAVITY);
    settings_.inputPeriod = 0.01;
    settings_.breakPeriod = 0.16;
    // Held inside what the run accepts: 0 would make the step infinite.
    LONG steps = bc->GetLong(SIM_STEPS_PER_SECOND);
    if (steps < kMinStepsPerSecond) steps = kMinStepsPerSecond;
    if (steps > kMaxStepsPerSecond) steps = kMaxStepsPerSecond;
    settings_.stepDt = 1.0 / steps;
    if (ready_) GeFree(ready_);
    readyCount_ = 0;
    if (CollectCars(doc, op) < 0) {
      ReportError(op, IDS_SIM_RUN_ERROR, kStatusOutlineFailed, false);
      return EXECUTIONRESULT_OK;
    }
    const int32 status = InitSimulationRun(doc, op, settings_, cars_, carCount_);
    if (status == kStatusOk) {
      if (!RememberReadyCars()) {
        ReportError(op, IDS_SIM_RUN_ERROR, kStatusOutlineFailed, false);
        return EXECUTIONRESULT_OK;
      }
      settings_.lastDocTime = t;
      advancedTo_ = settings_.simTime;
    } else if (status < 0) {
      ReportError(op, IDS_SIM_ENGINE_ERROR, status, true);
    } else {
      ReportError(op, IDS_SIM_RUN_ERROR, status, false);
    }
    return EXECUTIONRESULT_OK;
  }
  if (state & SIMSTATE_ERROR) {
    settings_.lastDocTime = t;
    return EXECUTIONRESULT_OK;
  }

  // While the host plays the animation the last collection is reused, but
  // only while the children are still the ones it was made from.
  if (!(flags & EXECUTIONFLAGS_ANIMATION) || ChildrenChanged(op) || pendingObstacles_ > 0) {
    if (CollectCars(doc, op) < 0) {
      ReportError(op, IDS_SIM_RUN_ERROR, kStatusOutlineFailed, false);
      return EXECUTIONRESULT_OK;
    }
  }
  const double target = (t - settings_.lastDocTime) * settings_.timeScale + advancedTo_;
  if (!(target > settings_.simTime)) return EXECUTIONRESULT_OK;  // never backwards
  if (!cars_ && CollectCars(doc, op) < 0) {
    ReportError(op, IDS_SIM_RUN_ERROR, kStatusOutlineFailed, false);
    return EXECUTIONRESULT_OK;
  }
  const int32 status =
      AdvanceSimulation(doc, op, target, bt, settings_, cars_, carCount_, obstacles_, obstacleCount_);
  if (status >= 0) {
    settings_.lastDocTime = t;
    // After a break the cars stop short of the target: what they missed is
    // dropped, not caught up with on the next frame.
    advancedTo_ = settings_.simTime >= target ? target : settings_.simTime;
  } else {
    ReportError(op, IDS_SIM_ENGINE_ERROR, status, true);
  }
  return EXECUTIONRESULT_OK;
}

Bool RegisterSim() {
  return RegisterNodePlugin(PLUGINTYPE_OBJECT, ID_SIM, "#$1 ", 10000, OBJECT_CALL_ADDEXECUTION, Sim::Alloc, "Osim",
                            "vanto.tif");
}
