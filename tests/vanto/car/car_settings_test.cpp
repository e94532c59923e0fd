// The car-settings text file (writer, reader) and its application to a car.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "car_test_support.h"
#include "car/car_settings.h"
#include "car/car_settings_file.h"
#include "car/crumple_presets.h"
#include "host_file.h"
#include "host_geometry.h"
#include "car/rig.h"

namespace {

struct K {
  double x, y;
};

std::vector<K> Knots(const BaseContainer& bc, LONG id) {
  std::vector<K> out;
  const auto* curve = static_cast<const SplineData*>(bc.GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
  if (!curve) return out;
  for (const SplineKnot& k : curve->Knots()) out.push_back({k.pos.x, k.pos.y});
  return out;
}

void ExpectKnots(const BaseContainer& bc, LONG id, const std::vector<K>& want) {
  const std::vector<K> got = Knots(bc, id);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_DOUBLE_EQ(got[i].x, want[i].x) << i;
    EXPECT_DOUBLE_EQ(got[i].y, want[i].y) << i;
  }
}

void ExpectVector(const Vector& got, const Vector& want) {
  EXPECT_NEAR(got.x, want.x, 1e-9);
  EXPECT_NEAR(got.y, want.y, 1e-9);
  EXPECT_NEAR(got.z, want.z, 1e-9);
}

CarSettings BuiltIn() {
  CarSettings s;
  SetBuiltInCarSettings(s);
  return s;
}

class CarSettingsTest : public CarTest {
 protected:
  void SetUp() override {
    CarTest::SetUp();
    dir_ = std::filesystem::temp_directory_path() /
           ("carsettings_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    hostlog::Clear();
    hostdialog::ClearScript();
    hostdialog::ClearRecords();
  }
  void TearDown() override {
    hostfile::ResetFailures();
    hostdialog::ClearScript();
    DefaultCarSettings.frontAxleCount = DefaultCarSettings.rearAxleCount = 0;
    std::filesystem::remove_all(dir_);
    CarTest::TearDown();
  }
  Filename Path(const char* leaf) const { return Filename(String((dir_ / leaf).string())); }
  void WriteText(const char* leaf, const std::string& text) const {
    std::ofstream(dir_ / leaf, std::ios::binary) << text;
  }
  std::string ReadText(const char* leaf) const {
    std::ifstream in(dir_ / leaf, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The lines of a written file, without their CR LF.
  std::vector<std::string> Lines(const char* leaf) const {
    std::vector<std::string> out;
    const std::string text = ReadText(leaf);
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "a line without CR LF";
      if (end == std::string::npos) break;
      out.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return out;
  }
  static bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  }
  // Reads text (lines joined with CR LF) into a fresh record of car.
  Bool Read(BaseObject* car, const std::string& text, CarSettings& s, LONG mask = CARSETTINGS_ALL) {
    WriteText("in.ini", text);
    return ReadCarSettingsFile(Path("in.ini"), car, s, mask);
  }
  static std::string Crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
  }

  std::filesystem::path dir_;
};

// ---------------------------------------------------------------- applying

TEST_F(CarSettingsTest, NewCarGetsTheBuiltInSetUp) {
  BaseObject* car = NewCar();
  const BaseContainer& bc = *car->GetDataInstance();
  EXPECT_EQ(bc.GetLong(CAR_MAX_RPM), 6000);
  EXPECT_EQ(bc.GetLong(CAR_MAX_TORQUE), 500);  // 540 floored to the hundred
  ExpectKnots(bc, CAR_TORQUE_CURVE, {{0, 420}, {3500, 530}, {4500, 540}, {6000, 200}});
  const auto* torque = static_cast<const SplineData*>(bc.GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(torque, nullptr);
  Real r[6];
  torque->GetRange(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
  EXPECT_EQ(std::vector<Real>(r, r + 6), (std::vector<Real>{0, 6000, 100, 0, 500, 10}));
  for (LONG i = 0; i < torque->GetKnotCount(); ++i) {
    EXPECT_EQ(torque->GetKnot(i)->interpolation, SPLINEKNOT_CUBIC);
    EXPECT_EQ(torque->GetKnot(i)->flags, i == 0 || i == 3 ? 0x20 : 0);
  }
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_WHEEL_DIAMETER_FRONT), 64.0);
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_WHEEL_DIAMETER_REAR), 64.0);
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 6);
  for (LONG id = 1707; id <= 1719; ++id) EXPECT_EQ(bc.GetReal(id), 1.0) << id;
  EXPECT_EQ(bc.GetReal(CAR_GEAR_FINAL), 2.0);  // the recount stops before the final ratio
  ExpectVector(bc.GetVector(CAR_BODY_SIZE), Vector(180, 80, 450));
  ExpectVector(bc.GetVector(RIG_REST_BODY), Vector(0, 72, 0));
  ExpectVector(bc.GetVector(RIG_REST_ENGINE), Vector(0, -20, 25));
  ExpectVector(bc.GetVector(RIG_REST_HUB + 0), Vector(-76, -40, 132));
  ExpectVector(bc.GetVector(RIG_REST_HUB + 3), Vector(76, -40, -125));
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + 2), Vector(20, 0, 0));
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_TOP + 0), Vector(-55, 20, 132));
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_TOP + 3), Vector(55, 20, -125));
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_ROOF_Z), -56.25);
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE), 0);
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + 1), 1);
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_CRUMPLE_FRONT), 65.0);
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_CRUMPLE_SIDE), 30.0);
  EXPECT_EQ(bc.GetLong(CAR_FORCE_PRESET), 2);
  ExpectKnots(bc, CAR_FORCE_CURVE, {{0, 1}, {100, 45.5}});  // the car's own preset
  // The roof corners follow the applied roof.
  const CarState& st = Data(car)->State();
  ExpectVector(st.roofCorners[0], Vector(-72, st.bodySize.y * 0.5 + 40, -56.25 + 90));
}

TEST_F(CarSettingsTest, LengthsAreScaledByUnitsPerMetre) {
  // Non-positive scales are not unit systems: they fall back to 100.
  for (double u : {1.0, 100.0, 2.54, 0.0, -5.0}) {
    SCOPED_TRACE(u);
    BaseObject* car = NewCar();
    CarState& st = Data(car)->State();
    st.settings.unitsPerMetre = u;
    const double k = u > 0 ? u : 100.0;
    CarSettings s = BuiltIn();
    s.frontAxleCount = 2;
    s.frontAxleZ[1] = 2.0;
    ApplyCarSettings(car, s, st, CARSETTINGS_ALL);
    const BaseContainer& bc = *car->GetDataInstance();
    ExpectVector(bc.GetVector(CAR_BODY_SIZE), Vector(1.8, 0.8, 4.5) * k);
    ExpectVector(bc.GetVector(CAR_ROOF_SIZE), Vector(1.44, 0.4, 1.8) * k);
    EXPECT_NEAR(bc.GetReal(CAR_WHEEL_DIAMETER_REAR), 0.64 * k, 1e-9);
    EXPECT_NEAR(bc.GetReal(CAR_WHEEL_WIDTH_FRONT), 0.28 * k, 1e-9);
    EXPECT_NEAR(bc.GetReal(CAR_CRUMPLE_REAR), 0.65 * k, 1e-9);
    EXPECT_EQ(bc.GetReal(CAR_COUNTERFORCE_REAR), 1000.0);  // kN, no length
    EXPECT_NEAR(bc.GetVector(RIG_REST_HUB + 4).z, 2.0 * k, 1e-9);

    // The file holds metres whatever the scene's unit.
    ASSERT_TRUE(WriteCarSettingsFile(Path("u.ini"), car, st));
    const auto lines = Lines("u.ini");
    EXPECT_TRUE(HasLine(lines, "Body Size{0}=1.8000,0.8000,4.5000 # w, h, l"));
    EXPECT_TRUE(HasLine(lines, "Wheel Radius{4}=0.3200,0.3200"));
    EXPECT_TRUE(HasLine(lines, "Lengths of crumple zone [m]{32}=0.6500,0.6500,0.3000 # must be between 0.1 and 1.5"));
  }
}

TEST_F(CarSettingsTest, TorqueCurveCases) {
  struct Case {
    const char* what;
    std::vector<TorquePoint> pairs;
    double rpm_count;
    std::vector<K> knots;
    double count_after;
    LONG rpm_top, torque_top;
  } const cases[] = {
      // The falling pair is the last one; the knot at the top itself is the end knot.
      {"falling rpm ends the curve", {{0, 100}, {3000, 250}, {2000, 300}, {5000, 50}}, 4,
       {{0, 100}, {3000, 150}}, 3, 3000, 200},
      {"knots at or past the rounded-down top dropped", {{0, 100}, {2000, 200}, {3000, 250}, {3400, 260}, {3600, 240}}, 5,
       {{0, 100}, {2000, 200}, {3000, 120}}, 5, 3000, 200},
      {"one pair", {{4700, 320}}, 1, {{0, 320}, {4000, 160}}, 1, 4000, 300},
      {"negative torque cleared", {{0, 100}, {2000, -50}, {5000, 200}}, 3, {{0, 100}, {2000, 0}, {5000, 100}}, 3,
       5000, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BaseObject* car = NewCar();
    CarSettings s{};
    for (size_t i = 0; i < c.pairs.size(); ++i) s.torqueCurve[i] = c.pairs[i];
    s.rpmCount = c.rpm_count;
    ApplyCarSettings(car, s, Data(car)->State(), CARSETTINGS_DRIVE);
    const BaseContainer& bc = *car->GetDataInstance();
    EXPECT_EQ(s.rpmCount, c.count_after);
    ExpectKnots(bc, CAR_TORQUE_CURVE, c.knots);
    EXPECT_EQ(bc.GetLong(CAR_MAX_RPM), c.rpm_top);
    EXPECT_EQ(bc.GetLong(CAR_MAX_TORQUE), c.torque_top);
  }
  // A count beyond the record: its twenty pairs and nothing past them. The
  // top rounds down to 1000 rpm; knots from there on would run the curve
  // past its own range and are left out.
  BaseObject* car = NewCar();
  CarSettings full{};
  for (int k = 0; k < kCarSettingsPairs; ++k) full.torqueCurve[k] = {100.0 * k, 10.0 + k};
  full.rpmCount = 99;
  ApplyCarSettings(car, full, Data(car)->State(), CARSETTINGS_DRIVE);
  std::vector<K> want = {{0, 10}};
  for (int k = 1; k <= 9; ++k) want.push_back({100.0 * k, 10.0 + k});
  want.push_back({1000, 0.5 * 29.0});
  ExpectKnots(*car->GetDataInstance(), CAR_TORQUE_CURVE, want);

  // No rpm value at all: the car keeps its curve and the range that goes
  // with it, so it still runs.
  car = NewCar();
  CarSettings none{};
  ApplyCarSettings(car, none, Data(car)->State(), CARSETTINGS_DRIVE);
  ExpectKnots(*car->GetDataInstance(), CAR_TORQUE_CURVE, {{0, 420}, {3500, 530}, {4500, 540}, {6000, 200}});
  EXPECT_EQ(car->GetDataInstance()->GetLong(CAR_MAX_RPM), 6000);
  EXPECT_EQ(car->GetDataInstance()->GetLong(CAR_MAX_TORQUE), 500);
}

TEST_F(CarSettingsTest, ClutchAndGearsAndCrumpleZone) {
  BaseObject* car = NewCar();
  BaseContainer& bc = *car->GetDataInstance();
  CarState& st = Data(car)->State();
  const double clutch[][2] = {{5, 10}, {100, 70}, {10, 10}, {70, 70}, {33, 33}};
  for (const auto& c : clutch) {
    bc.SetReal(CAR_CLUTCH, c[0]);
    CarSettings s = BuiltIn();
    ApplyCarSettings(car, s, st, CARSETTINGS_DRIVE);
    EXPECT_EQ(bc.GetReal(CAR_CLUTCH), c[1]) << c[0];
  }
  // The clutch belongs to the drive section.
  bc.SetReal(CAR_CLUTCH, 5.0);
  CarSettings s = BuiltIn();
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  EXPECT_EQ(bc.GetReal(CAR_CLUTCH), 5.0);
  // The first application filled the unused gear slots with 1.0; a later one
  // without a "Forward" line keeps the car's six gears.
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 6);
  EXPECT_EQ(bc.GetReal(1707), 1.0);
  // A gap within the count ends the gears there.
  bc.SetReal(1704, 0.0);
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 3);

  // A single measured pair: a constant curve; the car's preset stays.
  bc.SetLong(CAR_FORCE_PRESET, 4);
  CarSettings c{};
  c.maxCounterforce[1] = 2500;
  c.crumpleLength[2] = 0.4;
  c.deformationCount = 1;
  c.forceCurve[0] = {30, 12.5};
  ApplyCarSettings(car, c, st, CARSETTINGS_CRUMPLE);
  ExpectKnots(bc, CAR_FORCE_CURVE, {{0, 12.5}, {100, 12.5}});
  EXPECT_EQ(Knots(bc, CAR_FORCE_CURVE).size(), 2u);
  EXPECT_EQ(bc.GetLong(CAR_FORCE_PRESET), 4);
  EXPECT_EQ(bc.GetReal(CAR_COUNTERFORCE_REAR), 2500.0);
  EXPECT_DOUBLE_EQ(bc.GetReal(CAR_CRUMPLE_SIDE), 40.0);
  // Measured pairs: the first and last deformation are the curve's ends.
  c.deformationCount = 3;
  c.forceCurve[0] = {5, 10};
  c.forceCurve[1] = {40, 60};
  c.forceCurve[2] = {90, 80};
  ApplyCarSettings(car, c, st, CARSETTINGS_CRUMPLE);
  ExpectKnots(bc, CAR_FORCE_CURVE, {{0, 10}, {40, 60}, {100, 80}});
  // Without measured pairs the car's own preset is rebuilt.
  c.deformationCount = 0;
  ApplyCarSettings(car, c, st, CARSETTINGS_CRUMPLE);
  ExpectKnots(bc, CAR_FORCE_CURVE, {{0, 10}, {25, 10}, {26, 30}, {100, 30}});
}

TEST_F(CarSettingsTest, ExtraAxles) {
  BaseObject* car = NewCar();
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  BaseTag* tag = AddTag(car, ID_ROTELIX, ID_CAR);
  CarState& st = Data(car)->State();
  CarSettings s = BuiltIn();
  s.frontAxleCount = 2;
  s.frontAxleZ[1] = 2.5;
  s.rearAxleCount = 2;
  s.rearAxleZ[1] = -2.0;
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  const BaseContainer& bc = *car->GetDataInstance();
  // Pair 2: the extra front axle; pair 3: the extra rear axle.
  ExpectVector(bc.GetVector(RIG_REST_HUB + 4), Vector(-76, -40, 250));
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_TOP + 5), Vector(55, 20, 250));
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + 4), bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + 0));
  ExpectVector(bc.GetVector(RIG_REST_HUB + 7), Vector(76, -40, -200));
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + 2), 0);
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + 3), 1);
  const BaseContainer& tc = *tag->GetDataInstance();
  EXPECT_EQ(tc.GetLong(ROTELIX_AXLE_COUNT), 2);
  EXPECT_EQ(tc.GetLong(1140), 0);
  EXPECT_EQ(tc.GetLong(1141), 1);
  // The car has the objects it counts.
  for (LONG w = 4; w < 8; ++w) EXPECT_NE(bc.GetObjectLink(RIG_HUB + w, doc), nullptr) << w;

  // Two front axles and one rear axle: one extra axle on the tag, the
  // other one's objects gone.
  s.rearAxleCount = 1;
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  EXPECT_EQ(tc.GetLong(ROTELIX_AXLE_COUNT), 1);
  EXPECT_EQ(bc.GetObjectLink(RIG_HUB + 6, doc), nullptr);
  // Only the two main axles: none.
  s.frontAxleCount = 1;
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  EXPECT_EQ(tc.GetLong(ROTELIX_AXLE_COUNT), 0);
  EXPECT_EQ(bc.GetObjectLink(RIG_HUB + 4, doc), nullptr);
  s.frontAxleCount = 2;

  // A car without a rig cannot take extra axles: the tag does not count them.
  BaseObject* bare = NewCar();
  BaseTag* bare_tag = AddTag(bare, ID_ROTELIX, ID_CAR);
  ApplyCarSettings(bare, s, Data(bare)->State(), CARSETTINGS_GEOMETRY);
  EXPECT_EQ(bare_tag->GetDataInstance()->GetLong(ROTELIX_AXLE_COUNT), 0);

  // More axles than the rig holds: at most eight extra, and the rest
  // positions of the suspension bottoms behind the hubs stay untouched.
  s.frontAxleCount = s.rearAxleCount = kCarSettingsAxles;
  for (int j = 1; j < kCarSettingsAxles; ++j) s.frontAxleZ[j] = s.rearAxleZ[j] = 7.0;
  ApplyCarSettings(car, s, st, CARSETTINGS_GEOMETRY);
  EXPECT_EQ(tc.GetLong(ROTELIX_AXLE_COUNT), 8);
  ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + 0), Vector(20, 0, 0));
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + 9), 0);  // the extra fronts fill the rig, no extra rear fits
  EXPECT_DOUBLE_EQ(bc.GetVector(RIG_REST_HUB + 19).z, 700.0);
  EXPECT_EQ(bc.GetDataPointer(RIG_AXLE_TYPE + 10), nullptr);
}

// ---------------------------------------------------------------- writing and reading

TEST_F(CarSettingsTest, WriteReadApplyRoundTrip) {
  BaseObject* a = NewCar();
  a->SetName("Rally, red");
  BaseContainer& ac = *a->GetDataInstance();
  ac.SetString(CAR_DESCRIPTION, "gravel set-up");
  ac.SetString(CAR_AUTHOR, "J. Doe");
  ASSERT_TRUE(BuildDefaultRig(doc, a));
  AddTag(a, ID_ROTELIX, ID_CAR);
  CarState& as = Data(a)->State();
  as.settings.unitsPerMetre = 2.54;
  CarSettings geo = BuiltIn();
  geo.bodySize = Vector(1.9, 0.75, 4.2);
  geo.wheelRadius[1] = 0.35;
  geo.wheelX[0] = 0.8;
  geo.suspensionTopX[1] = 0.09;
  geo.suspensionBottomY[0] = 0.02;
  geo.frontAxleCount = 2;
  geo.frontAxleZ[1] = 2.1;
  geo.rearAxleCount = 2;
  geo.rearAxleZ[1] = -2.3;
  geo.rpmCount = 5;
  geo.torqueCurve[4] = {7200, 380};
  geo.deformationCount = 3;
  geo.forceCurve[0] = {0, 5};
  geo.forceCurve[1] = {50, 40};
  geo.forceCurve[2] = {100, 90};
  ApplyCarSettings(a, geo, as, CARSETTINGS_ALL);
  ac.SetReal(CAR_MASS_BODY, 1234.5);
  ac.SetReal(CAR_TRACTION_THRESHOLD, 0.3);
  ac.SetBool(CAR_ANTILOCK, true);
  ac.SetLong(CAR_DRIVE, 3);
  ac.SetLong(CAR_GEAR_COUNT, 4);
  ac.SetReal(1701, 3.9);
  ac.SetReal(1704, 1.1);
  ac.SetReal(CAR_GEAR_REVERSE, 3.3);
  ac.SetReal(CAR_CLUTCH, 42.5);
  ac.SetLong(CAR_SHIFT_UP, 5200);
  ac.SetReal(CAR_CAMBER_REAR, -0.0125);
  ac.SetReal(CAR_COUNTERFORCE_SIDE, 800.0);
  ac.SetReal(CAR_CRUMPLE_FRONT, 0.5 * 2.54);
  ac.SetLong(CAR_FORCE_PRESET, 3);
  ASSERT_TRUE(WriteCarSettingsFile(Path("a.ini"), a, as));
  EXPECT_TRUE(hostlog::Dialogs().empty());
  EXPECT_EQ(hostfile::TypeOf(Path("a.ini")).type, 0x43344443);
  EXPECT_EQ(hostfile::TypeOf(Path("a.ini")).creator, 0x43344431);

  // Into a car of another scene unit; it builds the extra axles it lacks.
  BaseObject* b = NewCar();
  ASSERT_TRUE(BuildDefaultRig(doc, b));
  AddTag(b, ID_ROTELIX, ID_CAR);
  CarState& bs = Data(b)->State();
  bs.settings.unitsPerMetre = 100.0;
  CarSettings loaded{};
  ASSERT_TRUE(ReadCarSettingsFile(Path("a.ini"), b, loaded, CARSETTINGS_ALL));
  ApplyCarSettings(b, loaded, bs, CARSETTINGS_ALL);
  const BaseContainer& bc = *b->GetDataInstance();

  EXPECT_EQ(b->GetName(), "Rally, red");
  EXPECT_EQ(bc.GetString(CAR_DESCRIPTION), "gravel set-up");
  EXPECT_EQ(bc.GetString(CAR_AUTHOR), "J. Doe");
  const double scale = 100.0 / 2.54;
  for (LONG id : std::initializer_list<LONG>{CAR_BODY_SIZE, CAR_ENGINE_SIZE, CAR_ROOF_SIZE, LONG(RIG_REST_BODY), LONG(RIG_REST_ENGINE)})
    ExpectVector(bc.GetVector(id), ac.GetVector(id) * scale);
  for (LONG w = 0; w < 8; ++w) {
    SCOPED_TRACE(w);
    ExpectVector(bc.GetVector(RIG_REST_HUB + w), ac.GetVector(RIG_REST_HUB + w) * scale);
    ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_TOP + w), ac.GetVector(RIG_REST_SUSPENSION_TOP + w) * scale);
    ExpectVector(bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + w), ac.GetVector(RIG_REST_SUSPENSION_BOTTOM + w) * scale);
  }
  for (LONG k = 0; k < 4; ++k) EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + k), ac.GetLong(RIG_AXLE_TYPE + k));
  for (LONG id : {CAR_ROOF_Z, CAR_WHEEL_DIAMETER_FRONT, CAR_WHEEL_DIAMETER_REAR, CAR_WHEEL_WIDTH_REAR,
                  CAR_CRUMPLE_FRONT, CAR_CRUMPLE_SIDE})
    EXPECT_NEAR(bc.GetReal(id), ac.GetReal(id) * scale, 1e-9) << id;
  for (LONG id : std::initializer_list<LONG>{CAR_MASS_BODY, CAR_TRACTION_THRESHOLD, CAR_GEAR_REVERSE, CAR_CLUTCH, CAR_CAMBER_REAR,
                  CAR_COUNTERFORCE_SIDE, LONG(1701), LONG(1704), CAR_STEERING_RATE})
    EXPECT_NEAR(bc.GetReal(id), ac.GetReal(id), 5e-5) << id;
  EXPECT_EQ(bc.GetReal(CAR_TRACTION_THRESHOLD), 0.3);  // two decimals keep it exactly
  for (LONG id : {CAR_DRIVE, CAR_GEAR_COUNT, CAR_SHIFT_UP, CAR_MAX_RPM, CAR_MAX_TORQUE})
    EXPECT_EQ(bc.GetLong(id), ac.GetLong(id)) << id;
  EXPECT_TRUE(bc.GetBool(CAR_ANTILOCK));
  EXPECT_EQ(bc.GetType(CAR_ANTILOCK), DA_LONG);
  EXPECT_EQ(bc.GetReal(1705), 1.0);
  // Both curves come back as they were, the last torque included.
  ExpectKnots(bc, CAR_TORQUE_CURVE, Knots(ac, CAR_TORQUE_CURVE));
  ExpectKnots(bc, CAR_FORCE_CURVE, {{0, 5}, {50, 40}, {100, 90}});
  // The preset is stored in the record, never applied.
  EXPECT_EQ(loaded.forceCurvePreset, 3);
  EXPECT_EQ(bc.GetLong(CAR_FORCE_PRESET), 2);

  // Written again, the second file is the first one.
  bs.settings.unitsPerMetre = 2.54;
  CarSettings again{};
  ASSERT_TRUE(ReadCarSettingsFile(Path("a.ini"), b, again, CARSETTINGS_ALL));
  ApplyCarSettings(b, again, bs, CARSETTINGS_ALL);
  b->GetDataInstance()->SetLong(CAR_FORCE_PRESET, 3);
  ASSERT_TRUE(WriteCarSettingsFile(Path("b.ini"), b, bs));
  EXPECT_EQ(ReadText("b.ini"), ReadText("a.ini"));
}

// Saved, loaded into a fresh car and saved again, a car's file comes back byte
// for byte, whatever word its extra axle carries.
TEST_F(CarSettingsTest, SaveLoadSaveGivesTheSameFile) {
  struct Case {
    const char* what;
    std::vector<LONG> words;  // extra axles, in order
    const char* front;
    const char* rear;
  } const cases[] = {
      {"no extra axle", {}, "1.3200", "-1.2500"},
      {"front", {0}, "1.3200,2.4000", "-1.2500"},
      {"rear", {1}, "1.3200", "-1.2500,-2.4000"},
      {"unsteered front", {256}, "1.3200,2.4000", "-1.2500"},
      {"unsteered rear", {257}, "1.3200", "-1.2500,-2.4000"},
      {"all four", {257, 0, 256, 1}, "1.3200,3.2000,4.0000", "-1.2500,-2.4000,-4.8000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BaseObject* a = NewCar();
    ASSERT_TRUE(BuildDefaultRig(doc, a));
    BaseTag* tag = AddTag(a, ID_ROTELIX, ID_CAR);
    CarState& as = Data(a)->State();
    for (size_t k = 0; k < c.words.size(); ++k) {
      ASSERT_TRUE(BuildAndPlaceExtraAxle(doc, a, LONG(k), c.words[k], 100.0));
      tag->GetDataInstance()->SetLong(ROTELIX_AXLE_COUNT, LONG(k) + 1);
      // Each group's extra axles stand further out, 80 cm apart.
      const double z = (c.words[k] & 1 ? -1.0 : 1.0) * (k + 3) * 80.0;
      for (LONG s = 0; s < 2; ++s) {
        Vector hub = a->GetDataInstance()->GetVector(RIG_REST_HUB + 4 + 2 * k + s);
        hub.z = z;
        a->GetDataInstance()->SetVector(RIG_REST_HUB + 4 + 2 * k + s, hub);
      }
    }
    ASSERT_TRUE(WriteCarSettingsFile(Path("first.ini"), a, as));
    const auto lines = Lines("first.ini");
    EXPECT_TRUE(HasLine(lines, std::string("Front Axis Position{14}=") + c.front + " # local z-coordinates"));
    EXPECT_TRUE(HasLine(lines, std::string("Rear Axis Position{15}=") + c.rear + " # local z-coordinates"));

    BaseObject* b = NewCar();
    ASSERT_TRUE(BuildDefaultRig(doc, b));
    BaseTag* fresh_tag = AddTag(b, ID_ROTELIX, ID_CAR);
    CarState& bs = Data(b)->State();
    CarSettings loaded{};
    ASSERT_TRUE(ReadCarSettingsFile(Path("first.ini"), b, loaded, CARSETTINGS_ALL));
    ApplyCarSettings(b, loaded, bs, CARSETTINGS_ALL);
    EXPECT_EQ(fresh_tag->GetDataInstance()->GetLong(ROTELIX_AXLE_COUNT), LONG(c.words.size()));
    ASSERT_TRUE(WriteCarSettingsFile(Path("second.ini"), b, bs));
    EXPECT_EQ(ReadText("second.ini"), ReadText("first.ini"));
  }
}

TEST_F(CarSettingsTest, WrittenFileLayout) {
  BaseObject* car = NewCar();
  car->SetName("Test Car");
  ASSERT_TRUE(WriteCarSettingsFile(Path("w.ini"), car, Data(car)->State()));
  const auto lines = Lines("w.ini");
  ASSERT_GE(lines.size(), 20u);
  const std::string hashes(54, '#');
  const std::vector<std::string> head = {hashes,
                                         "# VANTO Simulation Car Settings                      #",
                                         "# DO NOT EDIT THE ID VALUES WRITTEN IN BRACKETS {} ! #",
                                         hashes,
                                         " ",
                                         "Name{10000}=Test Car",
                                         "Description{10001}=",
                                         "Author{10002}=",
                                         " ",
                                         "{SECT2}"};
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
  for (const char* line : {
           "Body Position{1}=0.0000,0.7200,0.0000 # x, y, z (x and z must be 0)",
           "Roof Position{13}=-0.5625 # local z coordinate",
           "Wheel Position{6}=0.7600,0.7600 # absolute x-coordinate",
           "Suspension Top X-Offset{8}=0.0700,0.0700 # Position of body suspension objects relative to the wheels",
           "Suspension Bottom X-Offset{10}=0.0600,0.0600 # Position of wheel suspension objects relative to the wheels",
           // The two main axles, also before the rig is built.
           "Front Axis Position{14}=1.3200 # local z-coordinates",
           "Rear Axis Position{15}=-1.2500 # local z-coordinates",
           "Body [kg]{1100}=1500.00",
           "Cornering Stiffnes Front [N/rad]{1150}=75000.00",
           "Drive{1500}=2",
           "Traction Control{1760}=0",
           "TC Threshold{1761}=0.30",
           "rpm{20}=0.0000,3500.0000,4500.0000,6000.0000",
           "torque{21}=420.0000,530.0000,540.0000,400.0000",
           "Forward{1701}=4.3800,2.8600,1.9200,1.3700,1.0000,0.8200",
           "Rear{1700}=3.4200",
           "Clutch Kv{1721}=50.0 # clutch friction constant",
           "Gear Down [rpm]{1750}=3000.0",
           "Spring Const. F [N/m]{1800}=25000.0",
           "Steering Lock [rad]{1820}=0.5236",
           "Force Curve Preset {30}=2 # 1=Constant, 2=Linear, 3=Hyperbola, 4=Stairs, 5=Real measured data",
           "Max. Counterforces [kN]{31}=1000.0000,1000.0000,1000.0000 # front, rear, side, must be between 100 and 5000",
           "Deformation{34}=0.0000,100.0000",
           "Counterforce{35}=1.0000,45.5000",
       })
    EXPECT_TRUE(HasLine(lines, line)) << line;
  // The sections in order, each closed by a separator line.
  std::vector<std::string> headers;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("{SECT", 0) == 0) {
      headers.push_back(lines[i]);
      if (i > 0) {
        EXPECT_EQ(lines[i - 1], " ");
      }
    }
  EXPECT_EQ(headers, (std::vector<std::string>{"{SECT2}", "{SECT8}", "{SECT32}", "{SECT128}", "{SECT512}"}));
  EXPECT_EQ(lines.back(), " ");
}

TEST_F(CarSettingsTest, TextsStayOnTheirLine) {
  BaseObject* car = NewCar();
  car->SetName("two\r\nBody [kg]{1100}=1");
  car->GetDataInstance()->SetString(CAR_DESCRIPTION, std::string(400, 'd'));
  ASSERT_TRUE(WriteCarSettingsFile(Path("t.ini"), car, Data(car)->State()));
  const auto lines = Lines("t.ini");
  EXPECT_TRUE(HasLine(lines, "Name{10000}=two  Body [kg]{1100}=1"));
  for (const std::string& l : lines) EXPECT_LE(l.size(), 255u);
  BaseObject* b = NewCar();
  CarSettings s{};
  ASSERT_TRUE(ReadCarSettingsFile(Path("t.ini"), b, s, CARSETTINGS_ALL));
  EXPECT_EQ(b->GetDataInstance()->GetReal(CAR_MASS_BODY), 1500.0);
  EXPECT_EQ(b->GetDataInstance()->GetString(CAR_DESCRIPTION), std::string(255 - 19, 'd'));
}

TEST_F(CarSettingsTest, WriteFailuresAreReported) {
  BaseObject* car = NewCar();
  CarState& st = Data(car)->State();
  // No such folder.
  EXPECT_FALSE(WriteCarSettingsFile(Path("missing/x.ini"), car, st));
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_NE(hostlog::Dialogs()[0].find("Open File"), std::string::npos);

  // A curve parameter without a curve: the lines before it stay.
  hostlog::Clear();
  car->GetDataInstance()->RemoveData(CAR_FORCE_CURVE);
  EXPECT_FALSE(WriteCarSettingsFile(Path("c.ini"), car, st));
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_NE(hostlog::Dialogs()[0].find("Writing File"), std::string::npos);
  const auto lines = Lines("c.ini");
  EXPECT_TRUE(HasLine(lines, "Lengths of crumple zone [m]{32}=0.6500,0.6500,0.3000 # must be between 0.1 and 1.5"));
  EXPECT_FALSE(HasLine(lines, "Deformation{34}="));

  // A full disk is not a success.
  hostlog::Clear();
  ApplyForceCurvePreset(car->GetDataInstance());
  hostfile::FailWriteAfterBytes(300);
  EXPECT_FALSE(WriteCarSettingsFile(Path("d.ini"), car, st));
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_NE(hostlog::Dialogs()[0].find("Writing File"), std::string::npos);
}

TEST_F(CarSettingsTest, ReaderSectionsAndMasks) {
  const std::string file = Crlf({"# comment{0}=9,9,9",
                                 "Name{10000}=Loaded # from a file",
                                 "Body Size{0}=2,1,5",
                                 "{SECT8}",
                                 "Body [kg]{1100}=900",
                                 " ",
                                 "{SECT4}",
                                 "Engine [kg]{1101}=99",
                                 " ",
                                 "{SECT32}",
                                 "rpm{20}=0,2000",
                                 "torque{21}=100,200"});
  struct Case {
    LONG mask;
    bool name, body, mass, engine, rpm;
  } const cases[] = {
      {CARSETTINGS_ALL, true, true, true, true, true},
      {2, true, true, false, false, false},  // items before any header belong to every section
      {8, true, true, true, false, false},
      {4, true, true, false, true, false},   // only Bool 1037 reaches a section-4 header
      {32 | 128 | 512, true, true, false, false, true},
      {0, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    BaseObject* car = NewCar();
    car->SetName("Mine");
    CarSettings s{};
    ASSERT_TRUE(Read(car, file, s, c.mask));
    const BaseContainer& bc = *car->GetDataInstance();
    EXPECT_EQ(car->GetName(), c.name ? "Loaded " : "Mine");
    EXPECT_EQ(s.bodySize, c.body ? Vector(2, 1, 5) : Vector());
    EXPECT_EQ(bc.GetReal(CAR_MASS_BODY), c.mass ? 900.0 : 1500.0);
    EXPECT_EQ(bc.GetReal(CAR_MASS_ENGINE), c.engine ? 99.0 : 200.0);
    EXPECT_EQ(s.rpmCount, c.rpm ? 2.0 : 0.0);
  }
}

// A line whose values the car cannot take is refused with a message that
// names it; the car keeps its value and the rest of the file is read.
TEST_F(CarSettingsTest, ReaderRefusesValuesTheCarCannotTake) {
  struct Case {
    const char* line;
    const char* value;  // as the message names it
  } const cases[] = {
      {"Body [kg]{1100}=abc", "abc"},
      {"Body [kg]{1100}=12abc", "12abc"},
      {"Body [kg]{1100}=", nullptr},  // no value: nothing to refuse, nothing stored
      {"Max. Counterforces [kN]{31}=800,-5,900", "-5"},
      {"Lengths of crumple zone [m]{32}=0.5,0,0.3", "0"},
      {"Lengths of crumple zone [m]{32}=0.5,0.4,-0.3", "-0.3"},
      {"Wheel Radius{4}=1e307,0.3", "1e+307"},  // overflows in scene units
      {"rpm{20}=0,1000,x2000", "x2000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    BaseObject* car = NewCar();
    const BaseContainer& bc = *car->GetDataInstance();
    CarSettings s = BuiltIn();
    hostlog::Clear();
    ASSERT_TRUE(Read(car, Crlf({"# first line", c.line, "Engine [kg]{1101}=250"}), s));
    EXPECT_EQ(bc.GetReal(CAR_MASS_BODY), 1500.0);
    EXPECT_EQ(s.maxCounterforce[1], 1000.0);
    EXPECT_EQ(s.crumpleLength[2], 0.3);
    EXPECT_EQ(s.wheelRadius[0], 0.32);
    EXPECT_EQ(s.rpmCount, 4.0);
    EXPECT_EQ(bc.GetReal(CAR_MASS_ENGINE), 250.0);  // the reading went on
    const auto& console = hostlog::Console();
    if (!c.value) {
      EXPECT_TRUE(console.empty());
      continue;
    }
    ASSERT_EQ(console.size(), 1u);
    const std::string msg = console[0];
    EXPECT_NE(msg.find("line 2"), std::string::npos) << msg;
    EXPECT_NE(msg.find(c.line), std::string::npos) << msg;
    EXPECT_NE(msg.find(std::string("\"") + c.value + "\""), std::string::npos) << msg;
  }
  // A zero counterforce is a weak zone, not a pulling one: taken.
  BaseObject* car = NewCar();
  CarSettings s = BuiltIn();
  ASSERT_TRUE(Read(car, Crlf({"Max. Counterforces [kN]{31}=0,100,200"}), s));
  EXPECT_EQ(s.maxCounterforce[0], 0.0);
}

TEST_F(CarSettingsTest, ReaderLines) {
  BaseObject* car = NewCar();
  const BaseContainer& bc = *car->GetDataInstance();
  CarSettings s{};
  s.frontAxleCount = 5;
  ASSERT_TRUE(Read(car,
                   Crlf({"Body Position{1}=5,0.7,9",
                         "Engine Position{3}=1,0.1,0.3",
                         "Engine Size{2}=2",  // missing values are 0, none from the line before
                         "Wheel Width{5}=0.3",
                         "Wheel Radius{4}=0.3,0.33,0.4",
                         "Front Axis Position{6}=1.5",  // old files: main front axle z
                         "Back Axle{7}=-1.4",
                         "Wheel Position{6}=0.7,0.75",
                         "Rear Axis Position{15}=-1.4,-2.4,-3.4",
                         "Force Curve Preset {30}= 5 ",
                         "Max. Counterforces [kN]{31}=700",
                         "x{100}=26",
                         "x{106}=0.5",
                         "Forward{1701}=3.5,2.1,1.4",
                         "Rear{1708}=3.1",
                         "Drive{1500}=3.9",
                         "Traction Control{1760}=1",
                         "Gear Up [rpm]{1751}=5500.0",
                         "Spring Const. F [N/m]{1800}=30000.5",
                         "Unknown{1899}=4",
                         "Other{150}=4",
                         "Description{10001}=fast, light",
                         "no braces here",
                         "Bad{abc}=1,2,3",
                         "Bad{0=1,2,3",
                         "Bad{0}1,2,3"}),
                   s));
  EXPECT_EQ(s.bodyPosition, Vector(0, 0.7, 0));
  EXPECT_EQ(s.enginePosition, Vector(0, 0.1, 0.3));
  EXPECT_EQ(s.engineSize, Vector(2, 0, 0));
  EXPECT_EQ(s.bodySize, Vector());
  EXPECT_EQ(s.wheelWidth[0], 0.3);
  EXPECT_EQ(s.wheelWidth[1], 0.3);
  EXPECT_EQ(s.wheelRadius[1], 0.33);
  EXPECT_EQ(s.frontAxleZ[0], 1.5);
  EXPECT_EQ(s.frontAxleCount, 5);  // the old line gives no count
  EXPECT_EQ(s.wheelX[1], 0.75);
  EXPECT_EQ(s.rearAxleZ[0], -1.4);
  EXPECT_EQ(s.rearAxleZ[2], -3.4);
  EXPECT_EQ(s.rearAxleCount, 3);
  EXPECT_EQ(s.forceCurvePreset, 5);
  EXPECT_EQ(s.maxCounterforce[0], 700.0);
  EXPECT_EQ(s.maxCounterforce[1], 0.0);
  EXPECT_EQ(s.modelConstants[0], 26.0);
  EXPECT_EQ(s.modelConstants[6], 0.5);
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 3);
  EXPECT_EQ(bc.GetReal(1701), 3.5);
  EXPECT_EQ(bc.GetReal(1703), 1.4);
  EXPECT_EQ(bc.GetReal(1704), 0.0);
  EXPECT_EQ(bc.GetReal(CAR_GEAR_REVERSE), 3.1);
  EXPECT_EQ(bc.GetReal(1708), 1.0);
  EXPECT_EQ(bc.GetLong(CAR_DRIVE), 3);
  EXPECT_EQ(bc.GetType(CAR_DRIVE), DA_LONG);
  EXPECT_TRUE(bc.GetBool(CAR_TRACTION_CONTROL));
  EXPECT_EQ(bc.GetLong(CAR_SHIFT_UP), 5500);
  EXPECT_EQ(bc.GetType(CAR_SHIFT_UP), DA_LONG);
  EXPECT_EQ(bc.GetReal(CAR_SPRING_FRONT), 30000.5);
  EXPECT_EQ(bc.GetDataPointer(1899), nullptr);
  EXPECT_EQ(bc.GetString(CAR_DESCRIPTION), "fast, light");
  // The gear recount follows the ratios just read.
  ApplyCarSettings(car, s, Data(car)->State(), 0);
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 3);

  // Labels are compared exactly.
  CarSettings t{};
  ASSERT_TRUE(Read(car, Crlf({"Forward {1701}=2.5,2.0", "rear{1708}=0.9", "front axis position{6}=0.6"}), t));
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 3);
  EXPECT_EQ(bc.GetReal(1701), 2.5);
  EXPECT_EQ(bc.GetReal(1702), 2.0);
  EXPECT_EQ(bc.GetReal(1708), 0.9);
  EXPECT_EQ(bc.GetReal(CAR_GEAR_REVERSE), 3.1);
  EXPECT_EQ(t.wheelX[0], 0.6);
  EXPECT_EQ(t.frontAxleZ[0], 0.0);
}

TEST_F(CarSettingsTest, ReaderLimits) {
  BaseObject* car = NewCar();
  BaseContainer& bc = *car->GetDataInstance();
  const double final_ratio = bc.GetReal(CAR_GEAR_FINAL), clutch = bc.GetReal(CAR_CLUTCH);
  std::string many = "rpm{20}=";
  for (int i = 0; i < 30; ++i) many += std::to_string(i * 100) + (i < 29 ? "," : "");
  std::string forward = "Forward{1701}=";
  for (int i = 0; i < 21; ++i) forward += i < 20 ? "2," : "2";
  CarSettings s{};
  ASSERT_TRUE(Read(car,
                   Crlf({many.c_str(), "Front Axis Position{14}=1,2,3,4,5,6,7,8,9,10,11,12", forward.c_str(),
                         "Body [kg]{1100}=nan", "Roof Size{12}=inf,1,1", "Drive{1500}=1e12",
                         // Values run on into the following ids, never over a curve or link.
                         "Side{1869}=1,2,3,4,5,6,7,8,9,10,11,12", "Rear Axis Position{15}=", "EOF",
                         "Engine [kg]{1101}=1"}),
                   s));
  EXPECT_EQ(s.rpmCount, 20.0);
  EXPECT_EQ(s.torqueCurve[19].rpm, 1900.0);
  EXPECT_EQ(s.frontAxleCount, kCarSettingsAxles);
  EXPECT_EQ(s.frontAxleZ[9], 10.0);
  EXPECT_EQ(s.rearAxleCount, 0);  // an empty list
  // Twenty-one ratios: nineteen gears, the final ratio and clutch untouched.
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 19);
  EXPECT_EQ(bc.GetReal(1719), 2.0);
  EXPECT_EQ(bc.GetReal(CAR_GEAR_FINAL), final_ratio);
  EXPECT_EQ(bc.GetReal(CAR_CLUTCH), clutch);
  EXPECT_EQ(bc.GetReal(CAR_MASS_BODY), 1500.0);
  EXPECT_EQ(s.roofSize, Vector());
  EXPECT_EQ(bc.GetLong(CAR_DRIVE), 2147483647);
  EXPECT_EQ(bc.GetReal(1870), 2.0);
  EXPECT_EQ(Knots(bc, CAR_FORCE_CURVE).size(), 2u);  // 1880 is still the curve
  EXPECT_EQ(bc.GetReal(CAR_MASS_ENGINE), 200.0);     // after "EOF"
  // The recount keeps the gearbox within 19 forward gears.
  ApplyCarSettings(car, s, Data(car)->State(), 0);
  EXPECT_EQ(bc.GetLong(CAR_GEAR_COUNT), 19);
}

TEST_F(CarSettingsTest, ReadFailuresChangeNothing) {
  BaseObject* car = NewCar();
  car->SetName("Mine");
  const BaseContainer before = *car->GetDataInstance();
  CarSettings s = BuiltIn();
  EXPECT_FALSE(ReadCarSettingsFile(Path("none.ini"), car, s, CARSETTINGS_ALL));
  EXPECT_TRUE(hostlog::Dialogs().empty());

  // A file that breaks off while being read is not a loaded file.
  std::string text = Crlf({"Name{10000}=Other", "Body [kg]{1100}=900", "Body Size{0}=2,2,2"});
  text += std::string(200, ' ') + "\r\n" + Crlf({"Drive{1500}=3"});
  WriteText("cut.ini", text);
  hostfile::FailReadAfterBytes(80);
  EXPECT_FALSE(ReadCarSettingsFile(Path("cut.ini"), car, s, CARSETTINGS_ALL));
  hostfile::ResetFailures();
  EXPECT_EQ(car->GetName(), "Mine");
  EXPECT_TRUE(*car->GetDataInstance() == before);
  EXPECT_EQ(s.bodySize, BuiltIn().bodySize);
  // Read whole, the same file loads.
  EXPECT_TRUE(ReadCarSettingsFile(Path("cut.ini"), car, s, CARSETTINGS_ALL));
  EXPECT_EQ(car->GetDataInstance()->GetLong(CAR_DRIVE), 3);
}

// ---------------------------------------------------------------- buttons

TEST_F(CarSettingsTest, SaveAndLoadButtons) {
  BaseObject* a = NewCar();
  a->SetName("Blue");
  a->GetDataInstance()->SetReal(CAR_MASS_BODY, 1111.0);
  a->GetDataInstance()->SetReal(CAR_SPRING_REAR, 31000.0);
  hostdialog::PushFileAnswer(Path("saved"));
  DescID save(CAR_SAVE_SETTINGS);
  a->Message(MSG_DESCRIPTION_COMMAND, &save);
  ASSERT_TRUE(std::filesystem::exists(dir_ / "saved.ini"));
  ASSERT_EQ(hostdialog::SelectorCalls().size(), 1u);
  EXPECT_EQ(hostdialog::SelectorCalls()[0].title, GeLoadString(10105));
  EXPECT_EQ(hostdialog::SelectorCalls()[0].suffix, "ini");

  // The default load sections: masses, drive and suspension, no geometry.
  BaseObject* b = NewCar();
  BaseContainer& bc = *b->GetDataInstance();
  EXPECT_EQ(CarSettingsLoadMask(bc), 8 | 32 | 128);
  bc.SetVector(CAR_BODY_SIZE, Vector(1, 2, 3));
  DescID load(CAR_LOAD_SETTINGS);
  hostdialog::PushFileAnswer(Path("saved.ini"));
  b->Message(MSG_DESCRIPTION_COMMAND, &load);
  EXPECT_EQ(bc.GetReal(CAR_MASS_BODY), 1111.0);
  EXPECT_EQ(bc.GetReal(CAR_SPRING_REAR), 31000.0);
  EXPECT_EQ(bc.GetVector(CAR_BODY_SIZE), Vector(1, 2, 3));
  EXPECT_EQ(b->GetName(), "Blue");

  // Every section Bool off: nothing from the file.
  BaseObject* c = NewCar();
  for (LONG id = CAR_LOAD_GEOMETRY; id <= CAR_LOAD_CRUMPLE; ++id) c->GetDataInstance()->SetBool(id, false);
  hostdialog::PushFileAnswer(Path("saved.ini"));
  c->Message(MSG_DESCRIPTION_COMMAND, &load);
  EXPECT_EQ(c->GetDataInstance()->GetReal(CAR_MASS_BODY), 1500.0);
  EXPECT_EQ(c->GetName(), "");

  // A file that does not load is reported.
  hostlog::Clear();
  hostdialog::PushFileAnswer(Path("nothing.ini"));
  b->Message(MSG_DESCRIPTION_COMMAND, &load);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10104));
  // Cancelled: nothing happens.
  hostlog::Clear();
  b->Message(MSG_DESCRIPTION_COMMAND, &load);
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

TEST_F(CarSettingsTest, NewCarReadsTheDefaultFileOfThePluginFolder) {
  WriteText("vanto.ini", Crlf({"Name{10000}=Van",
                               "{SECT2}",
                               "Body Size{0}=2.0,1.9,5.0",
                               "Front Axis Position{14}=1.6,2.6",
                               "Rear Axis Position{15}=-1.5",
                               "Model{101}=7.5",
                               "{SECT8}",
                               "Body [kg]{1100}=2400",
                               "{SECT32}",
                               "rpm{20}=0,3000,5200",
                               "torque{21}=300,380,320"}));
  const std::string folder = dir_.string();
  HostTable table = HostTables(13000, folder.c_str());
  ASSERT_EQ(c4d_main(PLUGINACTION_HANDOVER, &table, nullptr, nullptr), 1);
  BaseObject* car = NewCar();
  const BaseContainer& bc = *car->GetDataInstance();
  EXPECT_EQ(car->GetName(), "Van");
  ExpectVector(bc.GetVector(CAR_BODY_SIZE), Vector(200, 190, 500));
  EXPECT_EQ(bc.GetReal(CAR_MASS_BODY), 2400.0);
  ExpectKnots(bc, CAR_TORQUE_CURVE, {{0, 300}, {3000, 380}, {5000, 160}});
  EXPECT_DOUBLE_EQ(bc.GetVector(RIG_REST_HUB + 5).z, 260.0);  // the extra front axle
  EXPECT_EQ(bc.GetLong(RIG_AXLE_TYPE + 2), 0);
  // What the file does not say stays built in; the model constants are the
  // file's for every model built from now on.
  ExpectVector(bc.GetVector(CAR_ENGINE_SIZE), Vector(100, 50, 120));
  EXPECT_EQ(DefaultCarSettings.modelConstants[1], 7.5);
  EXPECT_EQ(DefaultCarSettings.modelConstants[0], 25.0);
  EXPECT_EQ(DefaultCarSettings.frontAxleCount, 2);
}

// ---------------------------------------------------------------- the shipped default file

TEST_F(CarSettingsTest, ShippedDefaultFileIsTheBuiltInSetUp) {
  // The file is what the writer makes of a new car from the built-in set-up.
  BaseObject* car = NewCar();
  car->SetName("Car");
  car->GetDataInstance()->SetString(CAR_DESCRIPTION, "Default car");
  ASSERT_TRUE(WriteCarSettingsFile(Path("vanto.ini"), car, Data(car)->State()));
  const Filename shipped(CARSIM_SOURCE_DIR "/vanto/defaults/vanto.ini");
  std::ifstream in(shipped.GetString(), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  if (ss.str() != ReadText("vanto.ini")) {
    // Kept for replacing the shipped file when the defaults changed on purpose.
    const std::filesystem::path keep = std::filesystem::path(CARSIM_TEST_DATA) / "vanto.ini";
    std::filesystem::create_directories(keep.parent_path());
    std::filesystem::copy_file(dir_ / "vanto.ini", keep, std::filesystem::copy_options::overwrite_existing);
    ADD_FAILURE() << "the shipped default file differs from the built-in set-up; new file: " << keep;
  }

  // Read back, it gives the built-in record and the same car.
  CarSettings s{};
  BaseObject* b = NewCar();
  ASSERT_TRUE(ReadCarSettingsFile(shipped, b, s, CARSETTINGS_ALL));
  const CarSettings d = BuiltIn();
  EXPECT_EQ(s.bodySize, d.bodySize);
  EXPECT_EQ(s.enginePosition, d.enginePosition);
  EXPECT_EQ(s.roofZ, d.roofZ);
  EXPECT_EQ(s.suspensionTopX[1], d.suspensionTopX[1]);
  EXPECT_EQ(s.frontAxleZ[0], d.frontAxleZ[0]);
  EXPECT_EQ(s.frontAxleCount, 1);
  EXPECT_EQ(s.rearAxleCount, 1);
  for (int k = 1; k < 4; ++k) {
    EXPECT_EQ(s.torqueCurve[k].rpm, d.torqueCurve[k].rpm);
    EXPECT_EQ(s.torqueCurve[k].torque, d.torqueCurve[k].torque);
  }
  EXPECT_EQ(s.torqueCurve[0].torque, d.torqueCurve[0].torque);
  ApplyCarSettings(b, s, Data(b)->State(), CARSETTINGS_ALL);
  const BaseContainer& bc = *b->GetDataInstance();
  const BaseContainer& ac = *car->GetDataInstance();
  ExpectKnots(bc, CAR_TORQUE_CURVE, Knots(ac, CAR_TORQUE_CURVE));
  ExpectKnots(bc, CAR_FORCE_CURVE, Knots(ac, CAR_FORCE_CURVE));
  for (LONG i = 0; i < 4; ++i) ExpectVector(bc.GetVector(RIG_REST_HUB + i), ac.GetVector(RIG_REST_HUB + i));
  EXPECT_EQ(b->GetName(), "Car");
}

}  // namespace
