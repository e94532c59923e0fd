#include "car/car_status.h"

#include "car/car_params.h"
#include "scene/carstate.h"
#include "host_plugin.h"
#include "car/add_ons.h"

namespace {

// An add-on tag counts only when it was made for a car.
bool HasCarTag(BaseObject* op, LONG type) {
  BaseTag* tag = op->GetTag(type);
  return tag && tag->GetDataInstance()->GetLong(ADDON_TAG_OWNER) == ID_CAR;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

BaseObject* QueryCarStatus(CarState& state, BaseObject* op, LONG& status) {
  state.flags = 0;
  status = 0;
  if (!op) return nullptr;
  if (HasCarTag(op, ID_KOLVARIS)) state.flags |= CARFLAG_CRUMPLE_TAG;
  if (HasCarTag(op, ID_ROTELIX)) state.flags |= CARFLAG_RIG_TAG;
  BaseObject* parent = op->GetUp();
  if (!parent || parent->GetType() != ID_SIM) return nullptr;
  const BaseContainer* sim = parent->GetDataInstance();
  status = sim->GetLong(SIM_RUN_STATE);
  if (!sim->GetBool(SIM_RUNNING)) return nullptr;
  if (sim->GetBool(SIM_DISPLAY)) status |= CARSTATUS_DISPLAY;
  return parent;
}

LONG CountPrecedingCars(BaseObject* op) {
  LONG count = 0;
  if (!op) return 0;
  for (BaseObject* o = op->GetPred(); o; o = o->GetPred())
    if (o->GetType() == ID_CAR) ++count;
  return count;
}

String HudUpperCase(const String& text) {
  String out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00E0..U+00FE (a grave .. thorn, not the division sign) are 0x20
      // above their capitals.
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
      ++i;
    }
  }
  return out;
}

String FitToWidth(const String& text, LONG width) {
  String out;
  LONG chars = 0;
  size_t i = 0;
  while (i < text.size() && chars < width) {
    size_t end = i + 1;
    while (end < text.size() && IsContinuation(static_cast<unsigned char>(text[end]))) ++end;
    out.append(text, i, end - i);
    i = end;
    ++chars;
  }
  out.append(static_cast<size_t>(width - chars), ' ');
  return out;
}

void LoadHudLabels(HudLabels& labels) {
  static constexpr LONG kLabelStrings[kHudLabelCount] = {10042, 10044, 10045, 10046, 10047, 10049};
  for (LONG i = 0; i < kHudLabelCount; ++i)
    labels.row[i] = FitToWidth(HudUpperCase(GeLoadString(kLabelStrings[i])), kHudLabelWidth);
}
