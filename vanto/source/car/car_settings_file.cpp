#include "car/car_settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "car/car_params.h"
#include "host_file.h"
#include "host_geometry.h"
#include "host_plugin.h"
#include "host_scene.h"
#include "host_services.h"
#include "car/rig.h"
#include "scene_build/text_line.h"

namespace {

// The type codes every settings file carries.
constexpr LONG kSettingsFileType = 0x43344443;     // 'C4DC'
constexpr LONG kSettingsFileCreator = 0x43344431;  // 'C4D1'

enum : LONG {
  IDS_SETTINGS_ERROR = 10103,        // "#1" names the step that failed
  IDS_SETTINGS_LOAD_FAILED = 10104,
  IDS_SETTINGS_DIALOG_TITLE = 10105,
};

// Record ids of the lines that fill the CarSettings record.
enum : LONG {
  ITEM_BODY_SIZE = 0,
  ITEM_BODY_POSITION = 1,
  ITEM_ENGINE_SIZE = 2,
  ITEM_ENGINE_POSITION = 3,
  ITEM_WHEEL_RADIUS = 4,
  ITEM_WHEEL_WIDTH = 5,
  ITEM_WHEEL_X = 6,
  ITEM_OLD_REAR_AXLE = 7,
  ITEM_TOP_X = 8,
  ITEM_TOP_Y = 9,
  ITEM_BOTTOM_X = 10,
  ITEM_BOTTOM_Y = 11,
  ITEM_ROOF_SIZE = 12,
  ITEM_ROOF_Z = 13,
  ITEM_FRONT_AXLES = 14,
  ITEM_REAR_AXLES = 15,
  ITEM_RPM = 20,
  ITEM_TORQUE = 21,
  ITEM_FORCE_PRESET = 30,
  ITEM_COUNTERFORCE = 31,
  ITEM_CRUMPLE_LENGTH = 32,
  ITEM_DEFORMATION = 34,
  ITEM_FORCE = 35,
  ITEM_MODEL_CONSTANTS = 100,
  ITEM_RECORD_END = 200,
  ITEM_CONTAINER_FIRST = 1000,
  ITEM_CONTAINER_END = 1900,
  ITEM_NAME = 10000,
  ITEM_DESCRIPTION = 10001,
  ITEM_AUTHOR = 10002,
};

// A line gives at most this many values; the record's lists hold 20.
constexpr int kMaxLineValues = kCarSettingsPairs + 1;
// Knots of a curve written at most.
constexpr LONG kMaxCurveKnots = 100;
// Written lines stay within what the line reader hands out in one piece.
constexpr LONG kMaxLineBytes = 255;

const char* const kHashLine = "######################################################";

// ---------------------------------------------------------------- reading

struct LineValues {
  double v[kMaxLineValues] = {};  // unread ones stay 0: nothing leaks from another line
  int n = 0;
};

// A whole piece of value text as a finite number; spaces around it are
// allowed, any other text makes it no number.
Bool ParseNumber(const String& piece, double& v) {
  const char* text = piece.c_str();
  char* end = nullptr;
  errno = 0;
  v = std::strtod(text, &end);
  if (end == text || errno != 0 || !std::isfinite(v)) return false;
  while (*end == ' ') ++end;
  return *end == '\0';
}

// Splits the value text at ","; false, with the offending piece in bad,
// when a value is not a finite number. Values beyond the first
// kMaxLineValues are checked, not kept: no field holds more.
Bool SplitValues(const String& text, LineValues& out, String& bad) {
  out = LineValues();
  // Nothing after "=": no values (an empty list was written).
  if (text.find_first_not_of(' ') == String::npos) return true;
  LONG start = 0;
  for (;;) {
    const LONG comma = text.FindFirst(",", start);
    const String piece = comma < 0 ? text.SubStr(start, text.GetLength() - start) : text.SubStr(start, comma - start);
    double v = 0.0;
    if (!ParseNumber(piece, v)) {
      bad = piece;
      return false;
    }
    if (out.n < kMaxLineValues) out.v[out.n++] = v;
    if (comma < 0) return true;
    start = comma + 1;
  }
}

Bool IsRecordLength(LONG id) {
  return (id >= ITEM_BODY_SIZE && id <= ITEM_REAR_AXLES) || id == ITEM_CRUMPLE_LENGTH;
}

// The first value of a record line that the car cannot take, or -1: a
// counterforce below zero would pull the car into an obstacle, a crumple
// zone needs a length, and a length must stay a number in scene units.
int RefusedValue(LONG id, const LineValues& vals, double units_per_metre) {
  for (int i = 0; i < vals.n; ++i) {
    const double v = vals.v[i];
    if (id == ITEM_COUNTERFORCE && v < 0.0) return i;
    if (id == ITEM_CRUMPLE_LENGTH && v <= 0.0) return i;
    if (IsRecordLength(id) && !std::isfinite(v * units_per_metre)) return i;
  }
  return -1;
}

void FillPair(double (&pair)[2], const LineValues& vals) {
  pair[0] = vals.v[0];
  pair[1] = vals.n == 1 ? vals.v[0] : vals.v[1];
}

int32_t FillList(double* list, int capacity, const LineValues& vals) {
  const int n = vals.n < capacity ? vals.n : capacity;
  for (int i = 0; i < n; ++i) list[i] = vals.v[i];
  return n;
}

// One column of a curve line (a knot field) into the first knots; gives how
// many were taken.
template <typename Point>
int FillColumn(Point (&points)[kCarSettingsPairs], double Point::*field, const LineValues& vals) {
  const int n = vals.n < kCarSettingsPairs ? vals.n : kCarSettingsPairs;
  for (int i = 0; i < n; ++i) points[i].*field = vals.v[i];
  return n;
}

void StoreRecordItem(CarSettings& s, LONG id, const String& label, const String& value_text, const LineValues& vals) {
  const double* v = vals.v;
  switch (id) {
    case ITEM_BODY_SIZE: s.bodySize = Vector(v[0], v[1], v[2]); break;
    case ITEM_BODY_POSITION: s.bodyPosition = Vector(0.0, v[1], 0.0); break;
    case ITEM_ENGINE_SIZE: s.engineSize = Vector(v[0], v[1], v[2]); break;
    case ITEM_ENGINE_POSITION: s.enginePosition = Vector(0.0, v[1], v[2]); break;
    case ITEM_ROOF_SIZE: s.roofSize = Vector(v[0], v[1], v[2]); break;
    case ITEM_ROOF_Z: s.roofZ = v[0]; break;
    case ITEM_WHEEL_RADIUS: FillPair(s.wheelRadius, vals); break;
    case ITEM_WHEEL_WIDTH: FillPair(s.wheelWidth, vals); break;
    case ITEM_WHEEL_X:
      // Older files gave the main front axle's z under this id.
      if (label == "Front Axis Position")
        s.frontAxleZ[0] = v[0];
      else
        FillPair(s.wheelX, vals);
      break;
    case ITEM_OLD_REAR_AXLE: s.rearAxleZ[0] = v[0]; break;
    case ITEM_TOP_X: FillPair(s.suspensionTopX, vals); break;
    case ITEM_TOP_Y: FillPair(s.suspensionTopY, vals); break;
    case ITEM_BOTTOM_X: FillPair(s.suspensionBottomX, vals); break;
    case ITEM_BOTTOM_Y: FillPair(s.suspensionBottomY, vals); break;
    case ITEM_FRONT_AXLES: s.frontAxleCount = FillList(s.frontAxleZ, kCarSettingsAxles, vals); break;
    case ITEM_REAR_AXLES: s.rearAxleCount = FillList(s.rearAxleZ, kCarSettingsAxles, vals); break;
    case ITEM_RPM: s.rpmCount = FillColumn(s.torqueCurve, &TorquePoint::rpm, vals); break;
    case ITEM_TORQUE: s.torqueCount = FillColumn(s.torqueCurve, &TorquePoint::torque, vals); break;
    case ITEM_FORCE_PRESET: s.forceCurvePreset = value_text.ToLong(); break;
    case ITEM_COUNTERFORCE: FillList(s.maxCounterforce, 3, vals); break;
    case ITEM_CRUMPLE_LENGTH: FillList(s.crumpleLength, 3, vals); break;
    case ITEM_DEFORMATION: s.deformationCount = FillColumn(s.forceCurve, &ForcePoint::deformation, vals); break;
    case ITEM_FORCE: s.counterforceCount = FillColumn(s.forceCurve, &ForcePoint::counterforce, vals); break;
    default:
      if (id >= ITEM_MODEL_CONSTANTS && id < ITEM_MODEL_CONSTANTS + kCarModelConstants)
        s.modelConstants[id - ITEM_MODEL_CONSTANTS] = v[0];
      break;
  }
}

void StoreContainerItem(BaseContainer& bc, LONG id, const String& label, const LineValues& vals) {
  // Older files named the reverse gear after the slot behind the forward gears.
  if (id == CAR_GEAR_REVERSE + 8 && label == "Rear") id = CAR_GEAR_REVERSE;
  // A list that starts among the forward gears ends with the last gear slot:
  // the final ratio and the clutch behind them are lines of their own.
  const LONG last_gear = CAR_GEAR_REVERSE + kCarMaxForwardGears;
  const int count = id > CAR_GEAR_REVERSE && id <= last_gear ? std::min<int>(vals.n, last_gear - id + 1) : vals.n;
  if (id == CAR_GEAR_REVERSE + 1 && label == "Forward") {
    bc.SetLong(CAR_GEAR_COUNT, count);
    // A zero ends the list for the recount of the applier.
    if (count < kCarMaxForwardGears) bc.SetReal(CAR_GEAR_REVERSE + 1 + count, 0.0);
  }
  const LONG type = bc.GetType(id);
  if (type == DA_VECTOR) {
    if (vals.n > 0) bc.SetVector(id, Vector(vals.v[0], vals.v[1], vals.v[2]));
    return;
  }
  if (type != DA_LONG && type != DA_REAL) return;
  for (int i = 0; i < count; ++i) {
    // Further values run on into the following ids (the forward gears); they
    // never replace a value of another kind there, such as a link or a curve.
    if (i > 0) {
      const LONG there = bc.GetType(id + i);
      if (there != DA_NIL && there != type) continue;
    }
    if (type == DA_LONG)
      bc.SetLong(id + i, TruncateToLong(vals.v[i]));
    else
      bc.SetReal(id + i, vals.v[i]);
  }
}

// The parts of the car a read changes, taken over only when the whole file
// was read.
struct ReadTarget {
  CarSettings settings;
  BaseContainer container;
  String name;
};

// Tells the user which line was refused and why; the reading goes on.
void ReportRefused(LONG line_number, const String& line, const String& value) {
  GePrint(String("Car settings, line ") + LongToString(line_number) + " \"" + line + "\": the value \"" + value +
          "\" is not usable; the car keeps its own value.");
}

void ReadLine(const String& line, LONG line_number, LONG mask, LONG& section, double units_per_metre,
              ReadTarget& t) {
  if (line.GetLength() < 4 || line[0] == '#') return;
  const LONG open = line.FindFirst("{");
  if (open < 0) return;
  if (line.SubStr(open, 5) == "{SECT") {
    const LONG close = line.FindFirst("}", open + 5);
    if (close >= 0) section = line.SubStr(open + 5, close - open - 5).ToLong();
    return;
  }
  if ((mask & section) == 0) return;

  const String label = line.Left(open);
  const LONG close = line.FindFirst("}", open + 1);
  if (close < 0) return;
  Bool id_ok = false;
  const LONG id = line.SubStr(open + 1, close - open - 1).ToLong(&id_ok);
  if (!id_ok) return;
  const LONG eq = line.FindFirst("=", open + 1);
  if (eq < 0) return;
  String value_text = line.SubStr(eq + 1, line.GetLength() - eq - 1);
  const LONG hash = value_text.FindFirst("#");
  if (hash >= 0) value_text = value_text.Left(hash);

  switch (id) {
    case ITEM_NAME: t.name = value_text; return;
    case ITEM_DESCRIPTION: t.container.SetString(CAR_DESCRIPTION, value_text); return;
    case ITEM_AUTHOR: t.container.SetString(CAR_AUTHOR, value_text); return;
    default: break;
  }
  if (id >= ITEM_NAME) return;
  LineValues vals;
  String bad;
  if (!SplitValues(value_text, vals, bad)) {
    if ((id >= 0 && id < ITEM_RECORD_END) || (id >= ITEM_CONTAINER_FIRST && id < ITEM_CONTAINER_END))
      ReportRefused(line_number, line, bad);
    return;
  }
  if (id >= 0 && id < ITEM_RECORD_END) {
    const int refused = RefusedValue(id, vals, units_per_metre);
    if (refused >= 0) {
      ReportRefused(line_number, line, RealToString(vals.v[refused]));
      return;
    }
  }
  if (id >= 0 && id < ITEM_RECORD_END)
    StoreRecordItem(t.settings, id, label, value_text, vals);
  else if (id >= ITEM_CONTAINER_FIRST && id < ITEM_CONTAINER_END)
    StoreContainerItem(t.container, id, label, vals);
}

// After ReadTextLine gave "EOF": true when that was the end of the file or a
// line that reads "EOF", false when the file stopped giving bytes early.
Bool EndedCleanly(BaseFile* file) {
  if (file->GetPosition() >= file->GetLength()) return true;
  unsigned char b = 0;
  return file->ReadBytes(&b, 1, true) == 1;
}

// ---------------------------------------------------------------- writing

String Item(const char* label, const String& values, const char* comment = "") {
  return String(label) + values + comment;
}

String Number(double v, LONG digits) { return FormatReal(v, -1, digits, false, '0'); }

// A text item on one line: line breaks would start new items, and a line
// longer than the reader takes would continue as another one.
String TextItem(const char* label, const String& text) {
  String line = String(label) + text;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  if (line.GetLength() > kMaxLineBytes) {
    LONG cut = kMaxLineBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;  // whole characters only
    line = line.Left(cut);
  }
  return line;
}

class SettingsWriter {
 public:
  SettingsWriter(BaseFile* file) : file_(file) {}
  void Line(const String& text) {
    if (ok_) ok_ = WriteTextLine(file_, text);
  }
  Bool Ok() const { return ok_; }

 private:
  BaseFile* file_;
  Bool ok_ = true;
};

// The knots of the spline curve at id, at most kMaxCurveKnots; false when the
// parameter holds no curve.
Bool CurveKnots(const BaseContainer& bc, LONG id, std::vector<double>& xs, std::vector<double>& ys) {
  const auto* curve = static_cast<const SplineData*>(bc.GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
  if (!curve) return false;
  LONG n = curve->GetKnotCount();
  if (n > kMaxCurveKnots) n = kMaxCurveKnots;
  xs.clear();
  ys.clear();
  for (LONG i = 0; i < n; ++i) {
    const SplineKnot* k = curve->GetKnot(i);
    xs.push_back(k->pos.x);
    ys.push_back(k->pos.y);
  }
  return true;
}

String List(const std::vector<double>& values) {
  String out;
  return FormatRealList(out, values.data(), static_cast<LONG>(values.size()));
}

void ShowWriteError(const char* step) { MessageDialog(GeLoadString(IDS_SETTINGS_ERROR, String(step))); }

// The lines of the file up to the first failure; false when a curve is
// missing (the message is shown) or a line could not be written.
Bool WriteLines(SettingsWriter& w, BaseObject* car, const CarState& state) {
  const BaseContainer& bc = *car->GetDataInstance();
  const double k = 1.0 / UsableUnitsPerMetre(state);
  auto vec = [&](LONG id) { return bc.GetVector(id) * k; };
  auto list = [&](std::initializer_list<double> values) { return List(std::vector<double>(values)); };

  w.Line(kHashLine);
  w.Line("# VANTO Simulation Car Settings                      #");
  w.Line("# DO NOT EDIT THE ID VALUES WRITTEN IN BRACKETS {} ! #");
  w.Line(kHashLine);
  w.Line(" ");
  w.Line(TextItem("Name{10000}=", car->GetName()));
  w.Line(TextItem("Description{10001}=", bc.GetString(CAR_DESCRIPTION)));
  w.Line(TextItem("Author{10002}=", bc.GetString(CAR_AUTHOR)));
  w.Line(" ");

  // Geometry, in metres.
  const Vector body = vec(CAR_BODY_SIZE), body_pos = vec(RIG_REST_BODY);
  const Vector engine = vec(CAR_ENGINE_SIZE), engine_pos = vec(RIG_REST_ENGINE), roof = vec(CAR_ROOF_SIZE);
  const double width[2] = {bc.GetReal(CAR_WHEEL_WIDTH_FRONT) * k, bc.GetReal(CAR_WHEEL_WIDTH_REAR) * k};
  // Wheels 1 and 3: the positive-x wheels of the main axles.
  const Vector hub[2] = {vec(RIG_REST_HUB + 1), vec(RIG_REST_HUB + 3)};
  const Vector bottom[2] = {vec(RIG_REST_SUSPENSION_BOTTOM + 1), vec(RIG_REST_SUSPENSION_BOTTOM + 3)};
  const Vector top[2] = {vec(RIG_REST_SUSPENSION_TOP + 1), vec(RIG_REST_SUSPENSION_TOP + 3)};
  w.Line("{SECT2}");
  w.Line("# Geometry (in meters, will be scaled depending on C4D units)");
  w.Line(Item("Body Size{0}=", list({body.x, body.y, body.z}), " # w, h, l"));
  w.Line(Item("Body Position{1}=", list({body_pos.x, body_pos.y, body_pos.z}), " # x, y, z (x and z must be 0)"));
  w.Line(Item("Engine Size{2}=", list({engine.x, engine.y, engine.z})));
  w.Line(Item("Engine Position{3}=", list({engine_pos.x, engine_pos.y, engine_pos.z}), " # local coordinates"));
  w.Line(Item("Roof Size{12}=", list({roof.x, roof.y, roof.z}), " # w, h, l"));
  w.Line(Item("Roof Position{13}=", list({bc.GetReal(CAR_ROOF_Z) * k}), " # local z coordinate"));
  w.Line(Item("Wheel Radius{4}=",
              list({bc.GetReal(CAR_WHEEL_DIAMETER_FRONT) * 0.5 * k, bc.GetReal(CAR_WHEEL_DIAMETER_REAR) * 0.5 * k})));
  w.Line(Item("Wheel Width{5}=", list({width[0], width[1]})));
  w.Line(Item("Wheel Position{6}=", list({hub[0].x, hub[1].x}), " # absolute x-coordinate"));
  w.Line(Item("Suspension Top X-Offset{8}=",
              list({hub[0].x - 0.5 * width[0] - top[0].x, hub[1].x - 0.5 * width[1] - top[1].x}),
              " # Position of body suspension objects relative to the wheels"));
  w.Line(Item("Suspension Top Y-Offset{9}=", list({top[0].y, top[1].y}),
              " # Position of body suspension objects relative to the body"));
  w.Line(Item("Suspension Bottom X-Offset{10}=", list({bottom[0].x - 0.5 * width[0], bottom[1].x - 0.5 * width[1]}),
              " # Position of wheel suspension objects relative to the wheels"));
  w.Line(Item("Suspension Bottom Y-Offset{11}=", list({bottom[0].y, bottom[1].y}),
              " # Position of wheel suspension objects relative to the wheels"));
  // The rig's own count: the run's is not set before the first layout.
  const LONG wheels = RigWheelCount(car);
  std::vector<double> axles[2];
  for (LONG a = 0; 2 * a < wheels; ++a) {
    // The file keeps the group only; steering belongs to the wheel-rig tag.
    const AxleWord word = RigAxleWord(bc, a);
    if (word.Known()) axles[word.Rear() ? 1 : 0].push_back(bc.GetVector(RIG_REST_HUB + 2 * a).z * k);
  }
  w.Line(Item("Front Axis Position{14}=", List(axles[0]), " # local z-coordinates"));
  w.Line(Item("Rear Axis Position{15}=", List(axles[1]), " # local z-coordinates"));
  w.Line(" ");

  auto real_item = [&](const char* label, LONG id, LONG digits, const char* comment = "") {
    w.Line(String(label) + LongToString(id) + "}=" + Number(bc.GetReal(id), digits) + comment);
  };
  auto long_item = [&](const char* label, LONG id) {
    w.Line(String(label) + LongToString(id) + "}=" + LongToString(bc.GetLong(id)));
  };
  auto bool_item = [&](const char* label, LONG id) {
    w.Line(String(label) + LongToString(id) + "}=" + LongToString(bc.GetBool(id) ? 1 : 0));
  };

  w.Line("{SECT8}");
  w.Line("# Mass and Dynamics");
  real_item("Body [kg]{", CAR_MASS_BODY, 2);
  real_item("Engine [kg]{", CAR_MASS_ENGINE, 2);
  real_item("Front Wheel [kg]{", CAR_MASS_WHEEL_FRONT, 2);
  real_item("Rear Wheel [kg]{", CAR_MASS_WHEEL_REAR, 2);
  real_item("Drag Coefficient{", CAR_DRAG, 2);
  real_item("Downforce Coeff. Front{", CAR_DOWNFORCE_FRONT, 2);
  real_item("Downforce Coeff. Rear{", CAR_DOWNFORCE_REAR, 2);
  real_item("Brake Torque Front [Nm]{", CAR_BRAKE_FRONT, 2);
  real_item("Brake Torque Rear [Nm]{", CAR_BRAKE_REAR, 2);
  real_item("Hand Brake Torque [Nm]{", CAR_HANDBRAKE, 2);
  w.Line(" ");
  w.Line("# Tyres");
  real_item("Cornering Stiffnes Front [N/rad]{", CAR_CORNERING_FRONT, 2);
  real_item("Cornering Stiffnes Rear [N/rad]{", CAR_CORNERING_REAR, 2);
  real_item("Longitudinal Stiffness Front [N/rad]{", CAR_LONGITUDINAL_FRONT, 2);
  real_item("Longitudinal Stiffness Rear [N/rad]{", CAR_LONGITUDINAL_REAR, 2);
  w.Line(" ");

  w.Line("{SECT32}");
  w.Line("# Drive (1=FWD, 2=RWD, 3=4WD)");
  long_item("Drive{", CAR_DRIVE);
  bool_item("Traction Control{", CAR_TRACTION_CONTROL);
  real_item("TC Threshold{", CAR_TRACTION_THRESHOLD, 2);
  bool_item("Antilock Braking System{", CAR_ANTILOCK);
  real_item("ABS Threshold{", CAR_ANTILOCK_THRESHOLD, 2);
  w.Line(" ");
  w.Line("# Torque Curve, numbers of rpm and torque values must be identical.");
  std::vector<double> xs, ys;
  if (!CurveKnots(bc, CAR_TORQUE_CURVE, xs, ys)) {
    ShowWriteError("Writing File");
    return false;
  }
  if (!xs.empty()) {
    xs.front() = 0.0;
    // The applier puts half the last torque at the curve's end; the file
    // holds the torque itself, so a saved curve loads back unchanged.
    ys.back() *= 2.0;
  }
  w.Line(Item("rpm{20}=", List(xs)));
  w.Line(Item("torque{21}=", List(ys)));
  w.Line(" ");
  w.Line("# Gear Ratios, max. 19 forward gears, separated by commas");
  LONG gears = bc.GetLong(CAR_GEAR_COUNT);
  if (gears < 0) gears = 0;
  if (gears > kCarMaxForwardGears) gears = kCarMaxForwardGears;  // never the final ratio behind them
  std::vector<double> ratios;
  for (LONG i = 1; i <= gears; ++i) ratios.push_back(bc.GetReal(CAR_GEAR_REVERSE + i));
  w.Line(Item("Forward{1701}=", List(ratios)));
  real_item("Rear{", CAR_GEAR_REVERSE, 4);
  real_item("Final{", CAR_GEAR_FINAL, 4);
  real_item("Clutch Kv{", CAR_CLUTCH, 1, " # clutch friction constant");
  w.Line(String("Gear Down [rpm]{") + LongToString(CAR_SHIFT_DOWN) + "}=" + Number(bc.GetLong(CAR_SHIFT_DOWN), 1));
  w.Line(String("Gear Up [rpm]{") + LongToString(CAR_SHIFT_UP) + "}=" + Number(bc.GetLong(CAR_SHIFT_UP), 1));
  w.Line(" ");

  w.Line("{SECT128}");
  w.Line("# Suspension");
  real_item("Spring Const. F [N/m]{", CAR_SPRING_FRONT, 1);
  real_item("Spring Const. R [N/m]{", CAR_SPRING_REAR, 1);
  real_item("Damper Const. F [N/m]{", CAR_DAMPER_FRONT, 1);
  real_item("Damper Const. R [N/m]{", CAR_DAMPER_REAR, 1);
  real_item("Anti-Roll Bar Const. F [N/m]{", CAR_ANTIROLL_FRONT, 1);
  real_item("Anti-Roll Bar Const. R [N/m]{", CAR_ANTIROLL_REAR, 1);
  real_item("Camber Angle Front [rad]{", CAR_CAMBER_FRONT, 4);
  real_item("Camber Angle Rear [rad]{", CAR_CAMBER_REAR, 4);
  real_item("Steering Lock [rad]{", CAR_STEERING_LOCK, 4);
  real_item("Caster Angle [rad]{", CAR_CASTER, 4);
  real_item("Max. Steering Rate [deg/s]{", CAR_STEERING_RATE, 4);
  w.Line(" ");

  w.Line("{SECT512}");
  w.Line("# Crumple Zone");
  w.Line(Item("Force Curve Preset {30}=", LongToString(bc.GetLong(CAR_FORCE_PRESET)),
              " # 1=Constant, 2=Linear, 3=Hyperbola, 4=Stairs, 5=Real measured data"));
  w.Line(Item("Max. Counterforces [kN]{31}=",
              list({bc.GetReal(CAR_COUNTERFORCE_FRONT), bc.GetReal(CAR_COUNTERFORCE_REAR),
                    bc.GetReal(CAR_COUNTERFORCE_SIDE)}),
              " # front, rear, side, must be between 100 and 5000"));
  w.Line(Item("Lengths of crumple zone [m]{32}=",
              list({bc.GetReal(CAR_CRUMPLE_FRONT) * k, bc.GetReal(CAR_CRUMPLE_REAR) * k,
                    bc.GetReal(CAR_CRUMPLE_SIDE) * k}),
              " # must be between 0.1 and 1.5"));
  if (!CurveKnots(bc, CAR_FORCE_CURVE, xs, ys)) {
    ShowWriteError("Writing File");
    return false;
  }
  w.Line(Item("Deformation{34}=", List(xs)));
  w.Line(Item("Counterforce{35}=", List(ys)));
  w.Line(" ");
  if (!w.Ok()) ShowWriteError("Writing File");
  return w.Ok();
}

}  // namespace

String FormatReal(double value, LONG, LONG digits_after, Bool, std::uint16_t) {
  // The host's conversion already writes automatic leading digits, no
  // exponent and zeros as fill.
  return RealToString(value, digits_after);
}

String& FormatRealList(String& out, const double* values, LONG n) {
  out.clear();
  for (LONG i = 0; i < n; ++i) {
    if (i > 0) out += ",";
    out += FormatReal(values[i], -1, 4, false, '0');
  }
  return out;
}

Bool ReadCarSettingsFile(const Filename& name, BaseObject* car, CarSettings& settings, LONG mask,
                         double units_per_metre) {
  if (!car) return false;
  BaseFile* file = BaseFile::Alloc();
  if (!file) return false;
  if (!file->Open(name, FILEOPEN_READ, FILEDIALOG_IGNOREOPEN, BYTEORDER_MOTOROLA, kSettingsFileType,
                  kSettingsFileCreator)) {
    BaseFile::Free(file);
    return false;
  }
  // Read into copies: a file that breaks off changes nothing.
  ReadTarget target{settings, *car->GetDataInstance(), car->GetName()};
  LONG section = CARSETTINGS_ALL;
  for (LONG number = 1;; ++number) {
    const String line = ReadTextLine(file);
    if (line == "EOF") break;
    ReadLine(line, number, mask, section, units_per_metre, target);
  }
  const Bool complete = EndedCleanly(file);
  file->Close();
  BaseFile::Free(file);
  if (!complete) return false;
  settings = target.settings;
  *car->GetDataInstance() = target.container;
  car->SetName(target.name);
  return true;
}

Bool WriteCarSettingsFile(const Filename& name, BaseObject* car, const CarState& state) {
  if (!car) return false;
  BaseFile* file = BaseFile::Alloc();
  if (!file) {
    ShowWriteError("Alloc File");
    return false;
  }
  if (!file->Open(name, FILEOPEN_WRITE, FILEDIALOG_IGNOREOPEN, BYTEORDER_MOTOROLA, kSettingsFileType,
                  kSettingsFileCreator)) {
    ShowWriteError("Open File");
    BaseFile::Free(file);
    return false;
  }
  SettingsWriter writer(file);
  Bool ok = WriteLines(writer, car, state);
  // Bytes the system could not flush on closing are lost too.
  if (!file->Close() && ok) {
    ShowWriteError("Writing File");
    ok = false;
  }
  BaseFile::Free(file);
  return ok;
}

Bool SaveCarSettingsCommand(BaseObject* car, const CarState& state) {
  if (!car) return false;
  Filename name(car->GetName());
  if (!name.FileSelect(FILESELECTTYPE_ANYTHING, FILESELECT_SAVE, GeLoadString(IDS_SETTINGS_DIALOG_TITLE), "ini"))
    return false;
  name.SetSuffix("ini");
  return WriteCarSettingsFile(name, car, state);
}

LONG CarSettingsLoadMask(const BaseContainer& bc) {
  LONG mask = 0;
  for (LONG k = 0; k <= 8; ++k)
    if (bc.GetBool(CAR_LOAD_GEOMETRY + k)) mask |= 1 << (k + 1);
  return mask;
}

Bool LoadCarSettingsCommand(BaseObject* car, CarState& state) {
  if (!car) return false;
  Filename name;
  if (!name.FileSelect(FILESELECTTYPE_ANYTHING, FILESELECT_LOAD, GeLoadString(IDS_SETTINGS_DIALOG_TITLE)))
    return false;
  const LONG mask = CarSettingsLoadMask(*car->GetDataInstance());
  CarSettings loaded;
  if (!ReadCarSettingsFile(name, car, loaded, mask, UsableUnitsPerMetre(state))) {
    MessageDialog(GeLoadString(IDS_SETTINGS_LOAD_FAILED));
    return false;
  }
  ApplyCarSettings(car, loaded, state, mask);
  if (mask & CARSETTINGS_GEOMETRY) ResetRigPose(car->GetDocument(), car);
  return true;
}
