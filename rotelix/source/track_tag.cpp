#include "track_tag.h"

#include <algorithm>

#include "host_description.h"
#include "carsim/axle_word.h"
#include "host_services.h"
#include "rotelix_ids.h"
#include "track_anim.h"
#include "track_rig.h"

namespace {

// Ids the static description does not know: link boxes.
constexpr LONG kLinkBoxGui = 1009415;
// The host's base object type, what a roller link accepts.
constexpr LONG kObase = 5155;

String Str(LONG id) { return GeLoadString(id); }

LONG AxleCount(const BaseContainer& bc) {
  return std::clamp(bc.GetLong(ROTELIX_AXLE_COUNT), LONG(0), kMaxExtraAxles);
}
LONG RollerCount(const BaseContainer& bc) {
  return std::clamp(bc.GetLong(ROTELIX_ROLLER_COUNT), LONG(0), kMaxRollerPairs);
}

Bool BothLinked(const BaseContainer& bc, LONG id, BaseDocument* doc) {
  return bc.GetObjectLink(id, doc) && bc.GetObjectLink(id + 1, doc);
}

void Select(BaseDocument* doc, BaseObject* op) {
  if (doc && op) doc->SetActiveObject(op);
}

// A pair builder behind a button: an already linked pair is only selected.
template <class Build>
void BuildPair(BaseDocument* doc, BaseContainer& bc, LONG link, Bool select_new, Build&& build) {
  if (BothLinked(bc, link, doc)) {
    Select(doc, bc.GetObjectLink(link + 1, doc));
    return;
  }
  BaseObject* a = nullptr;
  BaseObject* b = nullptr;
  if (!build(&a, &b)) return;
  bc.SetLink(link, a);
  bc.SetLink(link + 1, b);
  if (select_new) Select(doc, b);
}

// Removes a roller unless the user hung something under it.
void RemoveRoller(BaseDocument* doc, const BaseContainer& bc, LONG id) {
  BaseObject* op = bc.GetObjectLink(id, doc);
  if (op && !op->GetDown()) BaseObject::Free(op);
}

// Asks the car to build one pair of an extra axle's objects and links them.
void BuildAxleObjects(BaseObject* car, BaseContainer& bc, LONG kind, LONG axle, LONG link) {
  RigCommand cmd{kind, axle, AxleCode(bc, axle), 0, nullptr, nullptr};
  if (SendRigCommand(car, cmd) && cmd.result0 && cmd.result1) {
    bc.SetLink(link + 2 * axle, cmd.result0);
    bc.SetLink(link + 2 * axle + 1, cmd.result1);
  }
}

void OnButton(BaseTag* tag, BaseDocument* doc, BaseContainer& bc, BaseObject* car, LONG id, WheelRigState& state) {
  switch (id) {
    case ROTELIX_ADD_AXLE: {
      const LONG n = bc.GetLong(ROTELIX_AXLE_COUNT);
      if (n < 0 || n >= kMaxExtraAxles) return;
      RigCommand cmd{RIGCOMMAND_ADD_AXLE, n, AxleCode(bc, n), 0, nullptr, nullptr};
      if (SendRigCommand(car, cmd) && cmd.kind != 0) bc.SetLong(ROTELIX_AXLE_COUNT, n + 1);
      return;
    }
    case ROTELIX_REMOVE_AXLE: {
      // A stored count above what a car can hold names axles it never had:
      // the request goes to the last one it can have, and the count follows
      // only what the car took.
      const LONG n = std::min(bc.GetLong(ROTELIX_AXLE_COUNT), kMaxExtraAxles);
      if (n <= 0) return;
      RigCommand cmd{RIGCOMMAND_REMOVE_AXLE, n - 1, 0, 0, nullptr, nullptr};
      if (SendRigCommand(car, cmd)) bc.SetLong(ROTELIX_AXLE_COUNT, n - 1);
      return;
    }
    case ROTELIX_BUILD_FRONT:
    case ROTELIX_BUILD_REAR: {
      const Bool front = id == ROTELIX_BUILD_FRONT;
      BuildPair(doc, bc, front ? ROTELIX_FRONT_LINK : ROTELIX_REAR_LINK, true, [&](BaseObject** a, BaseObject** b) {
        return CreateEndWheelPair(doc, car, bc, front ? 1 : -1, a, b);
      });
      return;
    }
    case ROTELIX_ADD_ROLLER: {
      const LONG n = bc.GetLong(ROTELIX_ROLLER_COUNT);
      if (n < 0 || n > kMaxRollerPairs - 1) return;
      BaseObject* a = nullptr;
      BaseObject* b = nullptr;
      if (!CreateReturnRollerPair(doc, car, bc, n, &a, &b)) return;
      bc.SetLink(ROTELIX_ROLLER_LINK + 2 * n, a);
      bc.SetLink(ROTELIX_ROLLER_LINK + 2 * n + 1, b);
      bc.SetLong(ROTELIX_ROLLER_COUNT, n + 1);
      Select(doc, b);
      return;
    }
    case ROTELIX_REMOVE_ROLLER: {
      const LONG n = bc.GetLong(ROTELIX_ROLLER_COUNT);
      if (n <= 0) return;
      const LONG last = std::min(n, kMaxRollerPairs) - 1;
      RemoveRoller(doc, bc, ROTELIX_ROLLER_LINK + 2 * last);
      RemoveRoller(doc, bc, ROTELIX_ROLLER_LINK + 2 * last + 1);
      bc.SetLong(ROTELIX_ROLLER_COUNT, n - 1);
      return;
    }
    case ROTELIX_BUILD_TRACKS:
      if (BothLinked(bc, ROTELIX_TRACK_LINK, doc)) {
        Select(doc, bc.GetObjectLink(ROTELIX_TRACK_LINK + 1, doc));
        return;
      }
      {
        BaseObject* a = nullptr;
        BaseObject* b = nullptr;
        if (!CreateTrackSplines(doc, car, bc, state, &a, &b)) return;
        bc.SetLink(ROTELIX_TRACK_LINK, a);
        bc.SetLink(ROTELIX_TRACK_LINK + 1, b);
        if (!RebuildTrackSplines(doc, car, bc, state)) {
          // Say why the tracks stay empty when the wheels are the reason.
          WheelRigState probe{};
          if (!BuildTrackWheelTable(doc, car, bc, probe)) MessageDialog(GeLoadString(IDS_TRACK_NEEDS_WHEELS));
        }
      }
      return;
    case ROTELIX_BUILD_TREADS:
      BuildPair(doc, bc, ROTELIX_TREAD_LINK, false, [&](BaseObject** a, BaseObject** b) {
        return CreateTreadLinks(doc, car, bc, state, a, b);
      });
      return;
    default:
      break;
  }
  (void)tag;
  const LONG axles = AxleCount(bc);
  if (id >= ROTELIX_BUILD_SKIDS && id < ROTELIX_BUILD_SKIDS + axles) {
    BuildAxleObjects(car, bc, RIGCOMMAND_SKID_MARKS, id - ROTELIX_BUILD_SKIDS, ROTELIX_SKID_LINK);
  } else if (id >= ROTELIX_BUILD_SPRINGS && id < ROTELIX_BUILD_SPRINGS + axles) {
    BuildAxleObjects(car, bc, RIGCOMMAND_SPRINGS, id - ROTELIX_BUILD_SPRINGS, ROTELIX_SPRING_LINK);
  } else if (id >= ROTELIX_SELECT_ROLLER && id < ROTELIX_SELECT_ROLLER + RollerCount(bc)) {
    Select(doc, bc.GetObjectLink(ROTELIX_ROLLER_LINK + 2 * (id - ROTELIX_SELECT_ROLLER) + 1, doc));
  }
}

void OnParameterSet(BaseContainer& bc, BaseObject* car, LONG id) {
  if (id == ROTELIX_FRONT_TENSIONER) {
    bc.SetBool(ROTELIX_REAR_TENSIONER, !bc.GetBool(ROTELIX_FRONT_TENSIONER));
    return;
  }
  if (id == ROTELIX_REAR_TENSIONER) {
    bc.SetBool(ROTELIX_FRONT_TENSIONER, !bc.GetBool(ROTELIX_REAR_TENSIONER));
    return;
  }
  const LONG e = id >= ROTELIX_AXLE_SWITCH ? id - ROTELIX_AXLE_SWITCH : id - ROTELIX_AXLE_TEMPLATE;
  if (e < 0 || e >= AxleCount(bc)) return;
  RigCommand cmd{RIGCOMMAND_SET_AXLE_TYPE, e, AxleCode(bc, e), 0, nullptr, nullptr};
  SendRigCommand(car, cmd);
}

// Dynamic description entries.
BaseContainer Entry(LONG dtype, const String& name) {
  BaseContainer bc = GetCustomDataTypeDefault(dtype);
  bc.SetString(DESC_NAME, name);
  bc.SetString(DESC_SHORT_NAME, name);
  return bc;
}

BaseContainer LinkEntry(const String& name, LONG accept_type, const char* accept_name) {
  BaseContainer bc = Entry(DA_ALIASLINK, name);
  bc.SetLong(DESC_CUSTOMGUI, kLinkBoxGui);
  bc.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
  bc.SetBool(DESC_SCALEH, true);
  BaseContainer accept;
  accept.SetString(accept_type, accept_name);
  bc.SetContainer(DESC_ACCEPT, accept);
  return bc;
}

BaseContainer BoolEntry(const String& name) {
  BaseContainer bc = Entry(DTYPE_BOOL, name);
  bc.SetLong(DESC_CUSTOMGUI, DTYPE_BOOL);
  bc.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
  return bc;
}

DescID Id(LONG id, LONG dtype) { return DescID(DescLevel(id, dtype, 0)); }

Bool AddAxleGroup(Description* desc, LONG e) {
  const String axleName = Str(IDS_AXLE) + LongToString(e + 3);
  const DescID group = Id(ROTELIX_AXLE_GROUP + e, DTYPE_GROUP);

  BaseContainer groupBc = Entry(DTYPE_GROUP, axleName);
  groupBc.SetLong(DESC_COLUMNS, 3);
  groupBc.SetBool(DESC_GUIOPEN, true);
  if (!desc->SetParameter(group, groupBc, Id(ROTELIX_GROUP_AXLES, DTYPE_GROUP))) return false;

  BaseContainer wheels = Entry(DA_LONG, Str(IDS_AXLE_WHEELS));
  wheels.SetLong(DESC_CUSTOMGUI, DA_LONG);
  wheels.SetLong(DESC_MIN, 0);
  wheels.SetLong(DESC_MAX, 1);
  BaseContainer cycle;
  cycle.SetString(0, Str(IDS_AXLE_WHEELS_FIRST));
  cycle.SetString(1, Str(IDS_AXLE_WHEELS_SECOND));
  wheels.SetContainer(DESC_CYCLE, cycle);
  wheels.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
  wheels.SetBool(DESC_SCALEH, true);
  if (!desc->SetParameter(Id(ROTELIX_AXLE_TEMPLATE + e, DA_LONG), wheels, group)) return false;

  BaseContainer on = BoolEntry(Str(IDS_AXLE_SWITCH));
  on.SetBool(DESC_SCALEH, true);
  if (!desc->SetParameter(Id(ROTELIX_AXLE_SWITCH + e, DTYPE_BOOL), on, group)) return false;

  BaseContainer empty = GetCustomDataTypeDefault(DTYPE_STATICTEXT);
  empty.SetLong(DESC_CUSTOMGUI, DTYPE_STATICTEXT);
  if (!desc->SetParameter(Id(0, DTYPE_STATICTEXT), empty, group)) return false;

  BaseContainer button = Entry(DTYPE_BUTTON, Str(IDS_BUILD));
  button.SetLong(DESC_CUSTOMGUI, DTYPE_BUTTON);
  const String spring = Str(IDS_SPRING), skids = Str(IDS_SKID_MARKS);
  const String side0 = Str(IDS_SIDE0), side1 = Str(IDS_SIDE1);
  return desc->SetParameter(Id(ROTELIX_SPRING_LINK + 2 * e, DA_ALIASLINK),
                            LinkEntry(spring + side0, Osplinehelix, "Osplinehelix"), group) &&
         desc->SetParameter(Id(ROTELIX_SPRING_LINK + 2 * e + 1, DA_ALIASLINK),
                            LinkEntry(spring + side1, Osplinehelix, "Osplinehelix"), group) &&
         desc->SetParameter(Id(ROTELIX_BUILD_SPRINGS + e, DTYPE_BUTTON), button, group) &&
         desc->SetParameter(Id(ROTELIX_SKID_LINK + 2 * e, DA_ALIASLINK),
                            LinkEntry(skids + side0, Osweep, "Osweep"), group) &&
         desc->SetParameter(Id(ROTELIX_SKID_LINK + 2 * e + 1, DA_ALIASLINK),
                            LinkEntry(skids + side1, Osweep, "Osweep"), group) &&
         desc->SetParameter(Id(ROTELIX_BUILD_SKIDS + e, DTYPE_BUTTON), button, group);
}

}  // namespace

LONG AxleCode(const BaseContainer& tag, LONG axle) {
  return EncodeAxleWord(tag.GetLong(ROTELIX_AXLE_TEMPLATE + axle), tag.GetBool(ROTELIX_AXLE_SWITCH + axle));
}

Bool SendRigCommand(BaseObject* car, RigCommand& cmd) {
  // Only a Car reads this record; no other object gets it.
  if (!car || !car->IsInstanceOf(ID_CAR)) return false;
  cmd.result0 = nullptr;
  cmd.result1 = nullptr;
  SimLinkMessage msg{SIMLINK_RIG_COMMAND, &cmd};
  return car->Message(MSG_SIMLINK, &msg);
}

Bool AcceptsHost(const BaseObject* op) {
  if (!op || !op->IsInstanceOf(ID_CAR)) return false;
  // The car's version number stands at characters 7 to 10 as "d.dd"; any
  // other text there (a letter, a space, "inf") is no version.
  const String text = op->GetDataInstance()->GetString(CAR_VERSION);
  if (text.GetLength() < 11) return false;
  const auto digit = [&](LONG i) { return text[static_cast<size_t>(i)] >= '0' && text[static_cast<size_t>(i)] <= '9'; };
  if (!digit(7) || text[8] != '.' || !digit(9) || !digit(10)) return false;
  return text.SubStr(7, 4).ToReal() > 1.5;
}

NodeData* Rotelix::Alloc() {
  Rotelix* tag = new Rotelix;
  if (tag) InitWheelRigState(tag->state_);
  return tag;
}

Bool Rotelix::Init(GeListNode* node) {
  BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
  bc->SetLong(ADDON_TAG_OWNER, ID_CAR);
  bc->SetLong(ROTELIX_AXLE_COUNT, 0);
  bc->SetLong(ROTELIX_ROLLER_COUNT, 0);
  bc->SetBool(ROTELIX_ON, false);
  bc->SetLong(ROTELIX_SPROCKET_MODE, 1);
  bc->SetReal(ROTELIX_FRONT_RADIUS, 30.0);
  bc->SetReal(ROTELIX_REAR_RADIUS, 30.0);
  bc->SetReal(ROTELIX_TREAD_LENGTH, 20.0);
  bc->SetReal(ROTELIX_TRACK_INSET, 5.0);
  bc->SetReal(ROTELIX_TREAD_OFFSET, 0.0);
  bc->SetReal(ROTELIX_FRONT_TRAVEL, 10.0);
  bc->SetReal(ROTELIX_REAR_TRAVEL, 10.0);
  bc->SetBool(ROTELIX_FRONT_TENSIONER, true);
  bc->SetBool(ROTELIX_REAR_TENSIONER, false);
  bc->SetReal(ROTELIX_ROLLER_RADIUS, 10.0);
  for (LONG n = 0; n < kSwitchDefaults; ++n) {
    bc->SetBool(ROTELIX_AXLE_SWITCH + n, true);
    bc->SetBool(ROTELIX_TRACK_AXLE + n, true);
  }
  bc->SetString(ADDON_TAG_VERSION, kRotelixVersion);
  return true;
}

Bool Rotelix::Message(GeListNode* node, LONG type, void* data) {
  if (!node) return true;
  auto* tag = static_cast<BaseTag*>(node);
  BaseDocument* doc = tag->GetDocument();
  BaseContainer& bc = *tag->GetDataInstance();
  BaseObject* car = tag->GetObject();
  switch (type) {
    case MSG_MULTI_DOCUMENTIMPORTED:
      bc.SetString(ADDON_TAG_VERSION, kRotelixVersion);
      return true;
    case MSG_MENUPREPARE:
      if (!doc && !GetActiveDocument()) return false;
      return AcceptsHost(car);
    case MSG_DESCRIPTION_POSTSETPARAMETER: {
      const auto* set = static_cast<const PostSetParameterData*>(data);
      if (set && set->descid) OnParameterSet(bc, car, (*set->descid)[0].id);
      return true;
    }
    case MSG_DESCRIPTION_COMMAND:
      if (doc && data) OnButton(tag, doc, bc, car, (*static_cast<const DescID*>(data))[0].id, state_);
      return true;
    default:
      return true;
  }
}

Bool Rotelix::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  if (!node) return false;
  BaseDocument* doc = node->GetDocument();
  if (!doc) return false;
  // The rig is edited only at or before time 0.
  if (doc->GetTime().Get() > 0.0) return false;
  const BaseContainer& bc = *static_cast<BaseList2D*>(node)->GetDataInstance();
  const LONG i = id[0].id;
  if (i >= ROTELIX_FRONT_LINK && i <= ROTELIX_BUILD_TREADS && !bc.GetBool(ROTELIX_ON)) return false;
  switch (i) {
    case ROTELIX_ADD_AXLE:
      return bc.GetLong(ROTELIX_AXLE_COUNT) < kMaxExtraAxles;
    case ROTELIX_REMOVE_AXLE:
      return bc.GetLong(ROTELIX_AXLE_COUNT) > 0;
    case ROTELIX_ADD_ROLLER:
      return bc.GetLong(ROTELIX_ROLLER_COUNT) < kMaxRollerPairs;
    case ROTELIX_REMOVE_ROLLER:
      return bc.GetLong(ROTELIX_ROLLER_COUNT) > 0;
    case ROTELIX_FRONT_TRAVEL:
      return bc.GetBool(ROTELIX_FRONT_TENSIONER);
    case ROTELIX_REAR_TRAVEL:
      return bc.GetBool(ROTELIX_REAR_TENSIONER);
    case ROTELIX_BUILD_TREADS:
      return BothLinked(bc, ROTELIX_TRACK_LINK, doc);
    default:
      return true;
  }
}

Bool Rotelix::GetDDescription(GeListNode* node, Description* description, LONG& flags) {
  if (!node || !description) return false;
  if (!description->LoadDescription(ID_ROTELIX)) return false;
  const BaseContainer& bc = *static_cast<BaseList2D*>(node)->GetDataInstance();
  const LONG axles = AxleCount(bc);
  for (LONG e = 0; e < axles; ++e)
    if (!AddAxleGroup(description, e)) return false;

  const DescID trackGroup = Id(ROTELIX_GROUP_TRACK_AXLES, DTYPE_GROUP);
  const String axle = Str(IDS_AXLE);
  if (!description->SetParameter(Id(ROTELIX_TRACK_AXLE, DTYPE_BOOL), BoolEntry(axle + Str(IDS_FRONT)), trackGroup) ||
      !description->SetParameter(Id(ROTELIX_TRACK_AXLE + 1, DTYPE_BOOL), BoolEntry(axle + Str(IDS_REAR)), trackGroup))
    return false;
  for (LONG e = 0; e < axles; ++e)
    if (!description->SetParameter(Id(ROTELIX_TRACK_AXLE + 2 + e, DTYPE_BOOL), BoolEntry(axle + LongToString(e + 3)),
                                   trackGroup))
      return false;

  const DescID rollerGroup = Id(ROTELIX_GROUP_ROLLERS, DTYPE_GROUP);
  const String roller = Str(IDS_ROLLER);
  BaseContainer select = Entry(DTYPE_BUTTON, Str(IDS_SELECT));
  select.SetLong(DESC_CUSTOMGUI, DTYPE_BUTTON);
  for (LONG k = 0; k < RollerCount(bc); ++k) {
    if (!description->SetParameter(Id(ROTELIX_ROLLER_LINK + 2 * k, DA_ALIASLINK),
                                   LinkEntry(roller + Str(IDS_SIDE0), kObase, "Obase"), rollerGroup) ||
        !description->SetParameter(Id(ROTELIX_ROLLER_LINK + 2 * k + 1, DA_ALIASLINK),
                                   LinkEntry(roller + Str(IDS_SIDE1), kObase, "Obase"), rollerGroup) ||
        !description->SetParameter(Id(ROTELIX_SELECT_ROLLER + k, DTYPE_BUTTON), select, rollerGroup))
      return false;
  }
  flags |= DESCFLAGS_DESC_LOADED;
  return TagData::GetDDescription(node, description, flags);
}

EXECUTIONRESULT Rotelix::Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread*, LONG, LONG) {
  if (!tag || !doc || !op) return EXECUTIONRESULT_OK;
  BaseContainer& bc = *tag->GetDataInstance();
  if (!bc.GetBool(ROTELIX_ON)) return EXECUTIONRESULT_OK;
  const BaseTime t = doc->GetTime();
  if (t.GetDenominator() == 0.0 || t.Get() <= 0.0) {
    ResetTrackRig(doc, op, bc, state_);
  } else if (state_.isSetUp == 1) {
    AnimateTracks(doc, op, bc, state_);
    state_.isAnimated = 1;
  }
  return EXECUTIONRESULT_OK;
}

Bool Rotelix::Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) {
  DrawWheelRig(tag, op, bd, bh, state_);
  return true;
}
