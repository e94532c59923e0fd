// The context probe, the car count and the dashboard labels.
#include <filesystem>
#include <fstream>

#include "car_test_support.h"

namespace {

TEST_F(CarTest, QueryCarStatusReadsTheParentSim) {
  enum Parent { kTop, kSim, kNull };
  struct Case {
    const char* what;
    Parent parent;
    LONG state;
    Bool running, display;
    LONG status;
    Bool returnsSim;
  } const cases[] = {
      {"running Sim with display", kSim, 1, true, true, 0x101, true},
      {"Sim not running its cars", kSim, 1, false, true, 1, false},
      {"reset Sim", kSim, 0, true, false, 0, true},
      {"baked Sim with display", kSim, 2, true, true, 0x102, true},
      {"stopped on error", kSim, 0x1000, true, false, 0x1000, true},
      {"top level", kTop, 0, false, false, 0, false},
      {"under another object", kNull, 1, true, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BaseObject* parent = nullptr;
    if (c.parent == kSim) parent = NewSim(c.state, c.running, c.display);
    if (c.parent == kNull) {
      parent = NewObject(Onull);
      // Parameters that look like a Sim's do not make it one.
      parent->GetDataInstance()->SetLong(SIM_RUN_STATE, c.state);
      parent->GetDataInstance()->SetBool(SIM_RUNNING, true);
    }
    BaseObject* car = NewCar(parent);
    LONG status = -7;
    EXPECT_EQ(QueryCarStatus(Data(car)->State(), car, status), c.returnsSim ? parent : nullptr);
    EXPECT_EQ(status, c.status);
    BaseObject::Free(parent ? parent : car);
  }
}

TEST_F(CarTest, QueryCarStatusRebuildsTheAddOnBits) {
  BaseObject* car = NewCar();
  CarState& s = Data(car)->State();
  LONG status = 0;
  s.flags = 0x7F;  // stale bits go
  QueryCarStatus(s, car, status);
  EXPECT_EQ(s.flags, 0);

  BaseTag* crumple = AddTag(car, ID_KOLVARIS, 0);  // made for nobody
  QueryCarStatus(s, car, status);
  EXPECT_EQ(s.flags, 0);
  crumple->GetDataInstance()->SetLong(ADDON_TAG_OWNER, ID_CAR);
  QueryCarStatus(s, car, status);
  EXPECT_EQ(s.flags, CARFLAG_CRUMPLE_TAG);
  AddTag(car, ID_ROTELIX, ID_CAR);
  QueryCarStatus(s, car, status);
  EXPECT_EQ(s.flags, CARFLAG_CRUMPLE_TAG | CARFLAG_RIG_TAG);
  car->KillTag(ID_KOLVARIS);
  QueryCarStatus(s, car, status);
  EXPECT_EQ(s.flags, CARFLAG_RIG_TAG);

  EXPECT_EQ(QueryCarStatus(s, nullptr, status), nullptr);
  EXPECT_EQ(status, 0);
}

TEST_F(CarTest, CountPrecedingCars) {
  BaseObject* sim = NewSim(0);
  // Inserted first-in-list each time: the order becomes a, null, b, c.
  BaseObject* c = NewCar(sim);
  BaseObject* b = NewCar(sim);
  NewObject(Onull, sim);
  BaseObject* a = NewCar(sim);
  BaseObject* lone = NewCar();
  BaseObject* nested = NewCar(b);  // under another car: its own list
  EXPECT_EQ(CountPrecedingCars(a), 0);
  EXPECT_EQ(CountPrecedingCars(b), 1);
  EXPECT_EQ(CountPrecedingCars(c), 2);
  EXPECT_EQ(CountPrecedingCars(lone), 0);
  EXPECT_EQ(CountPrecedingCars(nested), 0);
  EXPECT_EQ(CountPrecedingCars(nullptr), 0);
}

TEST_F(CarTest, LabelsArePaddedCutAndUpperCase) {
  auto dir = std::filesystem::temp_directory_path() / "vanto_label_test";
  std::filesystem::create_directories(dir / "res" / "strings_us");
  std::ofstream(dir / "res" / "strings_us" / "c4d_strings.str")
      << "IDS_A 10042 \"exactly twenty-two ch.\";\n"                 // 22
      << "IDS_B 10044 \"twenty-three characters\";\n"                // 23
      << "IDS_C 10046 \"gr\u00fc\u00dfe \u00e0 \u00f7\";\n"        // Latin-1 letters in UTF-8
      << "IDS_D 10047 \"abcdefghijklmnopqrstu\u00e4\u00f6\";\n"    // the cut falls after a two-byte letter
      << "IDS_E 10049 \"\";\n";
  ASSERT_TRUE(GetPluginResource().Init(Filename(dir.string())));
  HudLabels s;
  LoadHudLabels(s);
  EXPECT_EQ(s.row[0], "EXACTLY TWENTY-TWO CH.");
  EXPECT_EQ(s.row[1], "TWENTY-THREE CHARACTER");
  EXPECT_EQ(s.row[2], String(22, ' '));  // 10045 is missing
  EXPECT_EQ(s.row[3], String("GR\u00dc\u00dfE \u00c0 \u00f7") + String(13, ' '));
  EXPECT_EQ(s.row[4], "ABCDEFGHIJKLMNOPQRSTU\u00c4");
  EXPECT_EQ(s.row[5], String(22, ' '));
  std::filesystem::remove_all(dir);
}

}  // namespace
