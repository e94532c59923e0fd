// The Car's parameter description (gear entries, hidden crumple-zone
// entries) and its enabling rules.
#include <vector>

#include "car_test_support.h"

namespace {

// The entries of the gear group in order: "1".."n", separators as "-", "R".
std::vector<String> GearRow(const Description& d) {
  std::vector<String> row;
  for (const DescEntry& e : d.Entries()) {
    if (!(e.parent == DescID(CAR_GEAR_GROUP))) continue;
    if (e.id[0].id == 0) {
      row.push_back("-");
    } else {
      EXPECT_TRUE(e.id[0].id >= 1700 && e.id[0].id < 1720) << e.id[0].id;
      row.push_back(e.settings.GetString(DESC_NAME));
    }
  }
  return row;
}

TEST_F(CarTest, GearEntriesFollowTheGearCount) {
  struct Case {
    LONG count;
    std::vector<String> row;
  };
  const Case cases[] = {
      {0, {"R"}},
      {4, {"1", "2", "3", "4", "-", "-", "R"}},
      {6, {"1", "2", "3", "4", "5", "6", "R"}},
      {-3, {"R"}},
      // A stored count beyond the gearbox stops at 19 and never reaches 1720.
      {25, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19",
            "-", "-", "R"}},
  };
  BaseObject* car = NewCar();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    car->GetDataInstance()->SetLong(CAR_GEAR_COUNT, c.count);
    Description d;
    ASSERT_TRUE(hostdesc::GetNodeDescription(car, &d));
    EXPECT_EQ(GearRow(d), c.row);
    EXPECT_NE(d.Find(DescID(CAR_GEAR_FINAL)), nullptr);  // the static entry stays
  }
}

TEST_F(CarTest, GearEntrySettings) {
  BaseObject* car = NewCar();
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(car, &d));
  for (LONG id : {1701, 1700}) {
    const DescEntry* e = d.Find(DescID(id));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->dtype, DA_REAL);
    EXPECT_EQ(e->settings.GetReal(DESC_MIN), 0.1);
    EXPECT_EQ(e->settings.GetReal(DESC_MAX), 10.0);
    EXPECT_EQ(e->settings.GetReal(DESC_STEP), 0.1);
    EXPECT_EQ(e->settings.GetLong(DESC_UNIT), DESC_UNIT_REAL);
    EXPECT_EQ(e->settings.GetLong(DESC_CUSTOMGUI), DA_REAL);
    EXPECT_EQ(e->settings.GetLong(DESC_ANIMATE, 1), DESC_ANIMATE_OFF);
    EXPECT_EQ(e->settings.GetString(DESC_SHORT_NAME), e->settings.GetString(DESC_NAME));
  }
}

TEST_F(CarTest, CrumpleZoneEntriesHideWithoutTheTag) {
  BaseObject* car = NewCar();
  const LONG hidden[] = {10006, 10055, 1005, 1044};
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(car, &d));
  for (LONG id : hidden) EXPECT_TRUE(d.IsHidden(DescID(id))) << id;
  EXPECT_FALSE(d.IsHidden(DescID(1004)));

  // A tag made for something else does not count.
  BaseTag* tag = AddTag(car, ID_KOLVARIS, 0);
  ASSERT_TRUE(hostdesc::GetNodeDescription(car, &d));
  for (LONG id : hidden) EXPECT_TRUE(d.IsHidden(DescID(id))) << id;

  tag->GetDataInstance()->SetLong(ADDON_TAG_OWNER, ID_CAR);
  ASSERT_TRUE(hostdesc::GetNodeDescription(car, &d));
  for (LONG id : hidden) EXPECT_FALSE(d.IsHidden(DescID(id))) << id;
}

TEST_F(CarTest, DescriptionFailures) {
  BaseObject* car = NewCar();
  LONG flags = 0;
  Description d;
  // A failing gear entry ends the call; what was added stays.
  hostdesc::FailSetParameterAfter(3);
  EXPECT_FALSE(Data(car)->GetDDescription(car, &d, flags));
  EXPECT_EQ(GearRow(d), (std::vector<String>{"1", "2"}));
  EXPECT_EQ(flags & DESCFLAGS_DESC_LOADED, 0);
  hostdesc::FailSetParameterAfter(0);
  // Without the static description nothing is added.
  hostdesc::ClearResourceFolders();
  Description e;
  EXPECT_FALSE(Data(car)->GetDDescription(car, &e, flags));
  EXPECT_EQ(e.GetCount(), 0);
}

// ---------------------------------------------------------------- enabling

enum : LONG { kNoSim = -1 };

struct EnableCase {
  const char* what;
  LONG state;  // the Sim's run state, or kNoSim for a car at the top level
  Bool display;
  Bool tag;
  LONG id;
  Bool enabled;
  void (*setup)(BaseDocument* doc, BaseContainer* car) = nullptr;
};

BaseObject* Linked(BaseDocument* doc, BaseContainer* bc, LONG id, LONG type) {
  BaseObject* op = BaseObject::Alloc(type);
  doc->InsertObject(op, nullptr, nullptr);
  bc->SetLink(id, op);
  return op;
}

TEST_F(CarTest, EnablingRules) {
  const EnableCase cases[] = {
      {"no Sim: reset rules", kNoSim, false, false, 1100, true},
      {"outputs never", kNoSim, false, false, 2500, false},
      {"outputs never (last)", kNoSim, false, false, 2553, false},
      {"baked: everything off", 2, false, false, 1002, false},
      {"baked with the display bit", 2, true, false, 1903, false},
      {"running: reset-only parameter", 1, false, false, 1100, false},
      {"running: display switch", 1, false, false, 1006, true},
      {"reset with the display bit", 0, true, false, 1100, true},
      {"running with the display bit: run-time setting", 1, true, false, 1903, true},
      {"stopped on error", 0x1000, false, false, 1100, false},
      {"front/rear link is reset-only", 1, false, false, 1001, false},
      {"start position needs mode 0", kNoSim, false, false, 1007, false},
      {"start position in mode 0", kNoSim, false, false, 1008, true,
       [](BaseDocument*, BaseContainer* bc) { bc->SetLong(CAR_START_MODE, 0); }},
      {"clear speeds without speeds", kNoSim, false, false, 1905, false},
      {"clear speeds with speeds", 1, false, false, 1905, true,
       [](BaseDocument*, BaseContainer* bc) { bc->SetLong(CAR_SPEED_TARGET_COUNT, 3); }},
      {"ground height without group", kNoSim, false, false, 1942, true},
      {"ground height while running", 1, false, false, 1942, false},
      {"ground height with a group", kNoSim, false, false, 1942, false,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_GROUND_GROUP, Onull); }},
      {"slip band on", 1, false, false, 2086, true},
      {"slip band off", kNoSim, false, false, 2087, false,
       [](BaseDocument*, BaseContainer* bc) { bc->SetBool(CAR_SKID_SLIP_BAND, false); }},
      {"crumple zone without the tag", kNoSim, false, false, 1860, false},
      {"crumple zone with the tag", kNoSim, false, true, 1860, true},
      {"crumple zone while running", 1, false, true, 1864, false},
      {"deformation without the tag", kNoSim, false, false, 2120, false},
      {"outline button without outline", kNoSim, false, true, 1856, true},
      {"outline button with outline", kNoSim, false, true, 1856, false,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_OUTLINE_LINK, Ospline); }},
      {"hold time, front mode 2", kNoSim, false, true, 1891, true},
      {"hold time, front mode 0", kNoSim, false, true, 1891, false,
       [](BaseDocument*, BaseContainer* bc) { bc->SetLong(CAR_CRASH_FRONT_MODE, 0); }},
      {"brake strength, front mode 2", kNoSim, false, true, 1892, true},
      {"brake strength, side mode 1", kNoSim, false, true, 1895, false},
      {"hold time, rear mode 0", kNoSim, false, true, 1897, false},
      {"deformer buttons without deformer", kNoSim, false, true, 2103, true},
      {"deformer buttons with deformer", kNoSim, false, true, 2102, false,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_DEFORMER_LINK, Offd); }},
      {"parts button without parts", kNoSim, false, true, 2116, true},
      // Display settings of the deformation follow their links in any run state.
      {"deformation factor while running", 1, false, true, 2109, true,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_DEFORMER_LINK, Onull); }},
      {"deformation factor without deformer", 0, false, true, 2108, false},
      {"deformation factor without the tag", 1, false, false, 2108, false,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_DEFORMER_LINK, Offd); }},
      {"FFD lift with an FFD", 1, true, true, 2110, true,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_DEFORMER_LINK, Offd); }},
      {"FFD lift with another deformer", kNoSim, false, true, 2110, false,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_DEFORMER_LINK, Onull); }},
      {"parts factor with parts, running", 1, false, true, 2118, true,
       [](BaseDocument* d, BaseContainer* bc) { Linked(d, bc, CAR_PARTS_LINK, Onull); }},
      {"parts factor without parts", kNoSim, false, true, 2117, false},
  };
  for (const EnableCase& c : cases) {
    SCOPED_TRACE(c.what);
    BaseObject* sim = c.state == kNoSim ? nullptr : NewSim(c.state, true, c.display);
    BaseObject* car = NewCar(sim);
    if (c.tag) AddTag(car, ID_KOLVARIS, ID_CAR);
    if (c.setup) c.setup(doc, car->GetDataInstance());
    EXPECT_EQ(hostdesc::IsEnabled(car, DescID(c.id)), c.enabled);
    if (sim) BaseObject::Free(sim);
    else BaseObject::Free(car);
  }
}

TEST_F(CarTest, EnabledOutsideADocument) {
  BaseObject* car = BaseObject::Alloc(ID_CAR);
  ASSERT_NE(car, nullptr);
  EXPECT_TRUE(hostdesc::IsEnabled(car, DescID(2500)));
  BaseObject::Free(car);
  EXPECT_TRUE(Data(NewCar())->GetDEnabling(nullptr, DescID(2500), GeData(), 0, nullptr));
}

TEST_F(CarTest, ASimThatDoesNotRunStillPassesItsState) {
  BaseObject* sim = NewSim(2, false);
  BaseObject* car = NewCar(sim);
  EXPECT_FALSE(hostdesc::IsEnabled(car, DescID(1100)));
}

}  // namespace
