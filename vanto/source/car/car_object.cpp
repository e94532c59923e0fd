#include "car/car_object.h"

#include "scene/outline.h"

#include "bake/car_bake.h"
#include "car/car_buttons.h"
#include "car/car_draw.h"
#include "car/car_execute.h"
#include "car/car_handles.h"
#include "car/car_messages.h"
#include "car/car_params.h"
#include "car/car_publish.h"
#include "car/car_record.h"
#include "car/car_settings.h"
#include "car/car_settings_file.h"
#include "car/car_status.h"
#include "host_description.h"
#include "car/rig.h"
#include "carsim/link_message.h"

Bool Car::Init(GeListNode* node) {
  auto* op = static_cast<BaseObject*>(node);
  BaseContainer* bc = op->GetDataInstance();
  // The stand-in host keeps no user-information record to take an author
  // from; the user fills it in.
  bc->SetString(CAR_AUTHOR, String());

  SetBuiltInCarSettings(DefaultCarSettings);
  SetCarDefaults(*bc);
  // Every length conversion divides by it; the Sim overwrites it at each
  // collection.
  state_.settings.unitsPerMetre = 100.0;

  // A settings file in the plug-in folder overrides the built-in defaults;
  // without one they stand.
  ReadCarSettingsFile(GeGetPluginPath() + Filename(kDefaultSettingsFile), op, DefaultCarSettings, CARSETTINGS_ALL,
                      UsableUnitsPerMetre(state_));
  ApplyCarSettings(op, DefaultCarSettings, state_, CARSETTINGS_ALL);

  bc->SetBool(CAR_SETTINGS_APPLIED, false);
  state_.leadingWord = 0;
  LoadHudLabels(hudLabels_);
  bakePhase_ = 0;
  LONG status = 0;
  QueryCarStatus(state_, op, status);
  bc->SetString(CAR_VERSION, String(kCarVersionText));
  return true;
}

void Car::Free(GeListNode*) { FreeCollisionOutline(state_.collisionOutline); }

Bool Car::Message(GeListNode* node, LONG type, void* data) {
  if (!node) return true;
  auto* self = static_cast<BaseObject*>(node);
  BaseDocument* doc = node->GetDocument();
  switch (type) {
    case MSG_MULTI_DOCUMENTIMPORTED:
      MigrateCar(doc, self, state_);
      break;
    case MSG_DESCRIPTION_CHECKUPDATE:
      if (const auto* update = static_cast<const DescriptionCheckUpdate*>(data); update && update->descid)
        CopyPairedParameter(*self->GetDataInstance(), (*update->descid)[0].id);
      break;
    case MSG_DESCRIPTION_VALIDATE:
      ValidateCarParameters(*self->GetDataInstance(), state_);
      break;
    case MSG_MENUPREPARE: {
      // A new car under a Sim: its default rig, at rest, with the state on it.
      BaseDocument* target = doc ? doc : static_cast<BaseDocument*>(data);
      if (!target) break;
      const Bool built = BuildDefaultRig(target, self);
      if (built || self->GetDataInstance()->GetObjectLink(RIG_BODY, target)) {
        ResetRigPose(nullptr, self);
        PublishCarState(state_, target, self, 0, 1, 1, 0);
      }
      break;
    }
    default:
      break;
  }
  if (type == MSG_DESCRIPTION_COMMAND && data && doc) {
    switch (static_cast<const DescID*>(data)->operator[](0).id) {
      case CAR_SAVE_SETTINGS:
        SaveCarSettingsCommand(self, state_);
        break;
      case CAR_LOAD_SETTINGS:
        LoadCarSettingsCommand(self, state_);
        break;
      default:
        PressCarButton(doc, self, state_, static_cast<const DescID*>(data)->operator[](0).id);
        break;
    }
  }
  if (type == MSG_SIMLINK) {
    auto* msg = static_cast<SimLinkMessage*>(data);
    if (!msg) return true;
    switch (msg->command) {
      case SIMLINK_BAKE_PHASE:
        if (msg->payload) bakePhase_ = *static_cast<const std::int32_t*>(msg->payload);
        break;
      case SIMLINK_GET_RECORD:
        // Every car answers, switched off or not: the Sim numbers them all.
        msg->payload = &state_;
        break;
      case SIMLINK_REBUILD:
        ClearRecordedAnimation(doc, self, state_);
        ResetRigPose(doc, self);
        ResetDamageAndSkidMarks(doc, self, state_);
        break;
      case SIMLINK_RIG_COMMAND:
        if (msg->payload) HandleRigCommand(doc, self, state_, *static_cast<RigCommand*>(msg->payload));
        break;
      default:
        break;
    }
  }
  return true;
}

Bool Car::CopyTo(NodeData* dest, GeListNode*, GeListNode*, LONG, AliasTrans*) {
  auto* to = static_cast<Car*>(dest);
  if (!to) return false;
  CopyCarState(to->state_, state_);
  to->hudLabels_ = hudLabels_;
  to->bakePhase_ = bakePhase_;
  return true;
}

Bool Car::GetDDescription(GeListNode* node, Description* description, LONG& flags) {
  if (!node || !description) return false;
  if (!description->LoadDescription(ID_CAR)) return false;
  auto* op = static_cast<BaseObject*>(node);
  const BaseContainer* bc = op->GetDataInstance();

  LONG status = 0;
  QueryCarStatus(state_, op, status);
  if (!(state_.flags & CARFLAG_CRUMPLE_TAG)) {
    // The crumple-zone groups and switches mean nothing without the tag.
    for (LONG id : {CAR_GROUP_CRUMPLE, CAR_GROUP_DEFORMATION, CAR_DRAW_OUTLINE, CAR_LOAD_CRUMPLE})
      if (BaseContainer* entry = description->GetParameterI(DescID(id))) entry->SetBool(DESC_HIDE, true);
  }

  const DescID group(DescLevel(CAR_GEAR_GROUP, DTYPE_GROUP, 0));
  auto gear_entry = [](const String& name) {
    BaseContainer s = GetCustomDataTypeDefault(DA_REAL);
    s.SetString(DESC_NAME, name);
    s.SetString(DESC_SHORT_NAME, name);
    s.SetLong(DESC_CUSTOMGUI, DA_REAL);
    s.SetLong(DESC_UNIT, DESC_UNIT_REAL);
    s.SetReal(DESC_MIN, 0.1);
    s.SetReal(DESC_MAX, 10.0);
    s.SetReal(DESC_STEP, 0.1);
    s.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
    return s;
  };
  // A stored count beyond the gearbox must not reach the final ratio's ID.
  LONG gears = bc->GetLong(CAR_GEAR_COUNT);
  if (gears < 0) gears = 0;
  if (gears > kCarMaxForwardGears) gears = kCarMaxForwardGears;
  for (LONG i = 1; i <= gears; ++i) {
    const DescID id(DescLevel(CAR_GEAR_REVERSE + i, DA_REAL, 0));
    if (!description->SetParameter(id, gear_entry(LongToString(i)), group)) return false;
  }
  // Rows of three: fill the last row so that the reverse gear starts a new one.
  if (gears % 3 != 0) {
    for (LONG k = gears % 3; k < 3; ++k) {
      BaseContainer sep = GetCustomDataTypeDefault(DTYPE_STATICTEXT);
      if (!description->SetParameter(DescID(DescLevel(0, DTYPE_STATICTEXT, 0)), sep, group)) return false;
    }
  }
  if (!description->SetParameter(DescID(DescLevel(CAR_GEAR_REVERSE, DA_REAL, 0)), gear_entry("R"), group))
    return false;

  flags |= DESCFLAGS_DESC_LOADED;
  return true;
}

Bool Car::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  if (!node) return true;
  BaseDocument* doc = node->GetDocument();
  if (!doc) return true;
  auto* op = static_cast<BaseObject*>(node);
  const BaseContainer* bc = op->GetDataInstance();
  const LONG pid = id[0].id;

  if (pid >= CAR_OUTPUT_FIRST && pid <= CAR_OUTPUT_LAST) return false;

  LONG status = 0;
  QueryCarStatus(state_, op, status);
  // The display bit says nothing about the run.
  const LONG run = status & ~CARSTATUS_DISPLAY;
  if (run == SIMSTATE_BAKED) return false;

  switch (pid) {
    case CAR_DRAW_SECTOR:
    case CAR_DRAW_RIG:
    case CAR_DRAW_DASHBOARD:
    case CAR_DRAW_OUTLINE:
    case CAR_START_MODE:
      return true;
    case CAR_START_POSITION:
    case CAR_START_HEADING:
      return bc->GetLong(CAR_START_MODE) == 0;
    // Settings that may change while a run goes on.
    case CAR_ROUTE_WRAP:
    case CAR_ANTICIPATION:
    case CAR_SPEED_LEARNING:
    case CAR_GAP_DISTANCE:
    case CAR_LATERAL_OFFSET:
    case CAR_SPEED_SCALE:
    case CAR_GAP_MARGIN:
    case CAR_GAP_ANGLE:
    case CAR_GAP_SAME_ROUTE:
    case CAR_GROUND_GRIP:
    case CAR_BODY_CONTACT:
    case CAR_NEEDLE_STEER:
    case CAR_NEEDLE_THROTTLE:
    case CAR_NEEDLE_BRAKE:
    case CAR_NEEDLE_HANDBRAKE:
    case CAR_BRAKE_LIGHT_LEVEL:
    case CAR_SKID_MAX_POINTS:
    case CAR_SKID_SLIP_BAND:
    case CAR_SKID_CONTACT_ONLY:
      return true;
    case CAR_SPEED_CLEAR:
      return bc->GetLong(CAR_SPEED_TARGET_COUNT) > 0;
    case CAR_GROUND_HEIGHT:
      return !bc->GetObjectLink(CAR_GROUND_GROUP, doc) && run == SIMSTATE_RESET;
    case CAR_SKID_SLIP_HIGH:
    case CAR_SKID_SLIP_LOW:
      return bc->GetBool(CAR_SKID_SLIP_BAND);
    default:
      break;
  }

  const bool tag = (state_.flags & CARFLAG_CRUMPLE_TAG) != 0;
  // Deformation display settings follow their links in any run state.
  switch (pid) {
    case CAR_DEFORMER_ANIMATED:
    case CAR_DEFORMATION_FACTOR:
      return tag && bc->GetObjectLink(CAR_DEFORMER_LINK, doc);
    case CAR_FFD_LIFT: {
      BaseObject* deformer = bc->GetObjectLink(CAR_DEFORMER_LINK, doc);
      return tag && deformer && deformer->GetType() == Offd;
    }
    case CAR_PARTS_FACTOR_A:
    case CAR_PARTS_FACTOR_B:
      return tag && bc->GetObjectLink(CAR_PARTS_LINK, doc);
    default:
      break;
  }

  const bool crumple = (pid >= CAR_OUTLINE_LINK && pid <= 1899) || (pid >= CAR_DEFORMER_LINK && pid <= CAR_IMPULSE_SCALE);
  if (crumple) {
    if (!tag || run != SIMSTATE_RESET) return false;
    switch (pid) {
      case CAR_OUTLINE_BUILD:
        return !bc->GetObjectLink(CAR_OUTLINE_LINK, doc);
      case CAR_CRASH_FRONT_MODE + 1:
      case CAR_CRASH_SIDE_MODE + 1:
      case CAR_CRASH_REAR_MODE + 1:
        return bc->GetLong(pid - 1) != 0;
      case CAR_CRASH_FRONT_MODE + 2:
      case CAR_CRASH_SIDE_MODE + 2:
      case CAR_CRASH_REAR_MODE + 2:
        return bc->GetLong(pid - 2) == 2;
      case CAR_DEFORMER_BUILD_A:
      case CAR_DEFORMER_BUILD_B:
        return !bc->GetObjectLink(CAR_DEFORMER_LINK, doc);
      case CAR_PARTS_FIND:
        return !bc->GetObjectLink(CAR_PARTS_LINK, doc);
      default:
        return true;
    }
  }
  return run == SIMSTATE_RESET;
}

Bool Car::AddToExecution(BaseObject* op, PriorityList* list) {
  list->Add(op, EXECUTIONPRIORITY_EXPRESSION, 0);
  return true;
}

EXECUTIONRESULT Car::Execute(BaseObject* op, BaseDocument* doc, BaseThread*, LONG, LONG flags) {
  CarBakeFrame frame;
  const EXECUTIONRESULT result = ExecuteCar(state_, bakePhase_, op, doc, flags, frame);
  // The bake keys what the run has just placed.
  if (frame.placed) {
    switch (bakePhase_) {
      case BAKEPHASE_INSIDE:
      case BAKEPHASE_FIRST:
        WriteBakeKeys(doc, op, frame.sim, state_, frame.skidMask);
        break;
      case BAKEPHASE_LAST:
        ThinBakeKeys(doc, op, state_);
        FinishBake(state_);
        break;
      default:
        break;
    }
  }
  // A finished bake leaves the captions fresh for the next run.
  if (frame.bakeEnded) LoadHudLabels(hudLabels_);
  return result;
}

static_assert(kCarHandleCount == kCarMaxHandles, "the handle cache holds every handle of a 20-wheel car");

DRAWRESULT Car::Draw(BaseObject* op, LONG drawpass, BaseDraw* bd, BaseDrawHelp* bh) {
  return DrawCar(op, state_, hudLabels_, handleCache_, drawpass, bd, bh);
}

LONG Car::GetHandleCount(BaseObject*) { return CarHandleCount(state_); }

void Car::GetHandle(BaseObject* op, LONG i, HandleInfo& info) { GetCarHandle(op, state_, handleCache_, i, info); }

void Car::SetHandle(BaseObject* op, LONG i, Vector p, const HandleInfo&) {
  SetCarHandle(op, state_, handleCache_, i, p);
}

Bool RegisterCar() {
  return RegisterNodePlugin(PLUGINTYPE_OBJECT, ID_CAR, "#$2 ", 10001, OBJECT_CALL_ADDEXECUTION, Car::Alloc, "Ocar",
                            "car.tif");
}
