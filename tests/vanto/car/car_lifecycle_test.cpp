// The Car's defaults, allocation, copy, free and its SimLinkMessage answers.
#include <cmath>
#include <cstring>

#include "car_test_support.h"
#include "car/car_record.h"
#include "car/car_settings.h"
#include "carsim/link_message.h"

namespace {

struct DefaultCase {
  LONG id;
  GeData value;
};

TEST_F(CarTest, InitSetsEveryContainerDefault) {
  const double kPi = 3.141592653589793;
  const DefaultCase cases[] = {
      {1001, GeData(true)},      {1002, GeData(false)},     {1003, GeData(true)},      {1004, GeData(true)},
      {1005, GeData(true)},      {1006, GeData(1)},         {1007, GeData(Vector())},  {1008, GeData(0.0)},
      {1009, GeData(BaseTime(0.0))},
      {1036, GeData(false)},     {1038, GeData(true)},      {1040, GeData(true)},      {1042, GeData(true)},
      {1044, GeData(false)},     {1100, GeData(1500.0)},    {1101, GeData(200.0)},     {1102, GeData(30.0)},
      {1103, GeData(30.0)},      {1110, GeData(0.3)},       {1114, GeData(0.0)},       {1115, GeData(0.0)},
      {1120, GeData(1500.0)},    {1121, GeData(750.0)},     {1122, GeData(4000.0)},    {1150, GeData(75000.0)},
      {1151, GeData(75000.0)},   {1152, GeData(75000.0)},   {1153, GeData(75000.0)},   {1500, GeData(2)},
      {1760, GeData(false)},     {1761, GeData(0.3)},       {1762, GeData(false)},     {1763, GeData(0.3)},
      {1690, GeData(6)},         {1700, GeData(3.42)},      {1701, GeData(4.38)},      {1702, GeData(2.86)},
      {1703, GeData(1.92)},      {1704, GeData(1.37)},      {1705, GeData(1.0)},       {1706, GeData(0.82)},
      {1707, GeData(1.0)},       {1720, GeData(2.0)},       {1721, GeData(50.0)},      {1750, GeData(3000)},
      {1751, GeData(4000)},      {2503, GeData(1)},         {1800, GeData(25000.0)},   {1801, GeData(25000.0)},
      {1802, GeData(15000.0)},   {1803, GeData(15000.0)},   {1804, GeData(10000.0)},   {1805, GeData(10000.0)},
      {1812, GeData(0.0)},       {1813, GeData(0.0)},       {1820, GeData(kPi / 6)},   {1821, GeData(kPi / 36)},
      {1822, GeData(kPi / 2)},   {1860, GeData(2)},         {1864, GeData(1000.0)},    {1865, GeData(65.0)},
      {1866, GeData(1000.0)},    {1867, GeData(65.0)},      {1868, GeData(1000.0)},    {1869, GeData(30.0)},
      {1890, GeData(2)},         {1891, GeData(BaseTime(2.0))}, {1892, GeData(1.0)},   {1893, GeData(1)},
      {1894, GeData(BaseTime(2.0))}, {1895, GeData(0.0)},   {1896, GeData(0)},         {1897, GeData(BaseTime(2.0))},
      {1898, GeData(0.0)},       {1902, GeData(false)},     {1903, GeData(0.5)},       {1904, GeData(1)},
      {1906, GeData(1000.0)},    {1907, GeData(0.0)},       {1908, GeData(1.0)},       {1911, GeData(0.25)},
      {1912, GeData(kPi / 6)},   {1913, GeData(true)},      {1922, GeData(6)},         {1942, GeData(0.0)},
      {1943, GeData(0.98)},      {1944, GeData(true)},      {2031, GeData(2 * kPi / 3)}, {2036, GeData(kPi / 6)},
      {2041, GeData(kPi / 6)},   {2046, GeData(kPi / 6)},   {2051, GeData(0.1)},       {2065, GeData(5.0)},
      {2084, GeData(1000)},      {2085, GeData(true)},      {2086, GeData(0.5)},       {2087, GeData(0.25)},
      {2088, GeData(true)},      {2090, GeData(false)},     {2104, GeData(5)},         {2105, GeData(7)},
      {2108, GeData(true)},      {2109, GeData(1.0)},       {2110, GeData(1.0)},       {2117, GeData(1.0)},
      {2118, GeData(1.0)},       {2120, GeData(0.01)},      {5000, GeData(false)},     {998, GeData("VANTO! 1.70.4")},
      {1032, GeData(String())},
  };
  BaseObject* car = NewCar();
  const BaseContainer* bc = car->GetDataInstance();
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_NE(bc->GetDataPointer(c.id), nullptr);
    EXPECT_EQ(bc->GetType(c.id), c.value.GetType());
    EXPECT_TRUE(bc->GetData(c.id) == c.value);
  }
  // The angles are the full-precision values.
  EXPECT_EQ(bc->GetReal(1820), 0.5235987755982988);
  EXPECT_EQ(bc->GetReal(2031), 2.0943951023931953);

  const CarState& s = Data(car)->State();
  EXPECT_EQ(s.settings.unitsPerMetre, 100.0);  // nothing divides by 0 before a Sim collects the car
  EXPECT_EQ(s.leadingWord, 0);
  EXPECT_EQ(Data(car)->GetBakePhase(), 0);
  for (const String& label : Data(car)->Labels().row) EXPECT_EQ(label.size(), 22u);
  EXPECT_EQ(Data(car)->Labels().row[0], "SPEED                 ");
}

TEST_F(CarTest, InitFillsTheBuiltInCarSettings) {
  // Whatever an earlier file put there, a new car starts from the built-in set-up.
  DefaultCarSettings.bodySize = Vector(9, 9, 9);
  DefaultCarSettings.torqueCurve[7].rpm = 123.0;
  DefaultCarSettings.frontAxleCount = 2;  // only a file sets the axle counts
  DefaultCarSettings.rearAxleCount = 1;
  NewCar();
  const CarSettings& s = DefaultCarSettings;
  EXPECT_EQ(s.bodySize, Vector(1.8, 0.8, 4.5));
  EXPECT_EQ(s.bodyPosition, Vector(0, 0.72, 0));
  EXPECT_EQ(s.engineSize, Vector(1.0, 0.5, 1.2));
  EXPECT_EQ(s.enginePosition, Vector(0, -0.2, 0.25));
  EXPECT_EQ(s.roofSize, Vector(1.44, 0.4, 1.8));
  EXPECT_EQ(s.roofZ, -0.5625);
  for (int a = 0; a < 2; ++a) {
    EXPECT_EQ(s.wheelRadius[a], 0.32);
    EXPECT_EQ(s.wheelWidth[a], 0.28);
    EXPECT_EQ(s.wheelX[a], 0.76);
    EXPECT_EQ(s.suspensionTopX[a], 0.07);
    EXPECT_EQ(s.suspensionTopY[a], 0.2);
    EXPECT_EQ(s.suspensionBottomX[a], 0.06);
    EXPECT_EQ(s.suspensionBottomY[a], 0.0);
  }
  EXPECT_EQ(s.frontAxleZ[0], 1.32);
  EXPECT_EQ(s.frontAxleZ[1], 0.0);
  EXPECT_EQ(s.rearAxleZ[0], -1.25);
  EXPECT_EQ(s.frontAxleCount, 2);
  EXPECT_EQ(s.rearAxleCount, 1);
  EXPECT_EQ(s.rpmCount, 4.0);
  EXPECT_EQ(s.torqueCount, 4.0);
  const double torque[4][2] = {{1500, 420}, {3500, 530}, {4500, 540}, {6000, 400}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(s.torqueCurve[k].rpm, torque[k][0]);
    EXPECT_EQ(s.torqueCurve[k].torque, torque[k][1]);
  }
  EXPECT_EQ(s.torqueCurve[7].rpm, 0.0);
  const double constants[7] = {25.0, 5.0, 3000.0, 50.0, 400000.0, 10.0, 0.0};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(s.modelConstants[k], constants[k]);
  EXPECT_EQ(s.forceCurvePreset, 2);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(s.maxCounterforce[k], 1000.0);
  EXPECT_EQ(s.crumpleLength[0], 0.65);
  EXPECT_EQ(s.crumpleLength[1], 0.65);
  EXPECT_EQ(s.crumpleLength[2], 0.3);
  EXPECT_EQ(s.deformationCount, 0.0);
  EXPECT_EQ(s.counterforceCount, 0.0);
  DefaultCarSettings.frontAxleCount = DefaultCarSettings.rearAxleCount = 0;
}

TEST_F(CarTest, AFreshRecordIsIdle) {
  Car* car = static_cast<Car*>(Car::Alloc());
  ASSERT_NE(car, nullptr);
  const CarState& s = car->State();
  const Matrix identity;
  EXPECT_EQ(s.bodyMatrix, identity);
  for (int i = 0; i < kMaxWheels; ++i) {
    EXPECT_EQ(s.wheelMatrices[i], identity);
    EXPECT_EQ(s.wheelHubMatrices[i], identity);
    EXPECT_EQ(s.wheelSteerFreeMatrices[i], identity);
  }
  EXPECT_EQ(s.wheelCount, 0);
  EXPECT_EQ(s.dynamics.engine.torqueCurve.count, 0);
  EXPECT_TRUE(s.autopilot.routeName.empty());
  EXPECT_TRUE(s.commands.markerName.empty());
  for (const String& label : car->Labels().row) EXPECT_TRUE(label.empty());
  EXPECT_EQ(s.collisionOutline.deformPoints, nullptr);
  EXPECT_EQ(s.collisionOutline.attachedParts, nullptr);
  EXPECT_EQ(car->GetBakePhase(), 0);
  delete car;
}

TEST_F(CarTest, AllocationFailureGivesNull) {
  hostmem::FailAllocation(1);
  EXPECT_EQ(Car::Alloc(), nullptr);
}

TEST_F(CarTest, RunsAsAnExpression) {
  BaseObject* car = NewCar();
  PriorityList list;
  EXPECT_TRUE(Data(car)->AddToExecution(car, &list));
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].priority, 3000);
  EXPECT_EQ(list.entries[0].flags, 0);
}

// Gives the record buffers as an outline build would.
void GiveOutlineBuffers(CollisionOutline& o) {
  o.deformPoints = static_cast<Vec3*>(GeAlloc(8 * sizeof(Vec3)));
  o.deformPointCount = 4;
  o.deformNeighbours = static_cast<int32*>(GeAlloc(6 * sizeof(int32)));
  o.deformNeighbourCount = 6;
  o.attachedParts = static_cast<AttachedPart*>(GeAlloc(2 * sizeof(AttachedPart)));
  o.attachedPartCount = 2;
}

TEST_F(CarTest, ACopySharesNothingAndKeepsTheRunState) {
  const long blocks = hostmem::LiveBlocks();
  BaseObject* car = NewCar();
  BaseObject* route = NewObject(Ospline);
  CarState& s = Data(car)->State();
  GiveOutlineBuffers(s.collisionOutline);
  s.collisionOutline.counterForce[2] = 7.0;
  s.dynamics.crashFlag = 1;
  s.ramps[kRampThrottle].current = 0.75;
  s.autopilot.routeObject = route;
  s.autopilot.routeSpline = route;
  s.autopilot.routeName = "Route";
  s.autopilot.speedQueue[999].deltaSpeed = 3.5;
  s.autopilot.speedQueueCount = 2;
  s.commands.lastMarker = route;
  s.commands.slotSettings[1] = route->GetDataInstance();
  s.wheelGroundRecords[3].groundObject = route;
  s.dynamics.wheelGround[3] = &s.wheelGroundRecords[3];
  Data(car)->Labels().row[3] = "copied";
  std::int32_t phase = 3;
  SimLinkMessage msg{SIMLINK_BAKE_PHASE, &phase};
  car->Message(MSG_SIMLINK, &msg);

  BaseObject* copy = static_cast<BaseObject*>(car->GetClone());
  ASSERT_NE(copy, nullptr);
  doc->InsertObject(copy, nullptr, nullptr);
  const CarState& c = Data(copy)->State();
  EXPECT_EQ(Data(copy)->GetBakePhase(), 3);
  EXPECT_EQ(c.dynamics.crashFlag, 1);
  EXPECT_EQ(c.ramps[kRampThrottle].current, 0.75);
  EXPECT_EQ(c.autopilot.speedQueue[999].deltaSpeed, 3.5);
  EXPECT_EQ(c.autopilot.routeName, "Route");
  EXPECT_EQ(c.collisionOutline.counterForce[2], 7.0);
  EXPECT_EQ(Data(copy)->Labels().row[3], "copied");
  // Buffers and scene references stay with the source.
  EXPECT_EQ(c.collisionOutline.deformPoints, nullptr);
  EXPECT_EQ(c.collisionOutline.deformPointCount, 0);
  EXPECT_EQ(c.collisionOutline.deformNeighbours, nullptr);
  EXPECT_EQ(c.collisionOutline.deformNeighbourCount, 0);
  EXPECT_EQ(c.collisionOutline.attachedParts, nullptr);
  EXPECT_EQ(c.collisionOutline.attachedPartCount, 0);
  EXPECT_EQ(c.autopilot.routeObject, nullptr);
  EXPECT_EQ(c.autopilot.routeSpline, nullptr);
  EXPECT_EQ(c.commands.lastMarker, nullptr);
  EXPECT_EQ(c.commands.slotSettings[1], nullptr);
  EXPECT_EQ(c.wheelGroundRecords[3].groundObject, nullptr);
  EXPECT_EQ(c.dynamics.wheelGround[3], &c.wheelGroundRecords[3]);
  // The source keeps what it had.
  EXPECT_NE(s.collisionOutline.deformPoints, nullptr);
  EXPECT_EQ(s.autopilot.routeObject, route);

  // Freeing both releases every buffer exactly once (ASan reports a double free).
  BaseObject::Free(copy);
  BaseObject::Free(car);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
}

TEST_F(CarTest, CopyReleasesTheDestinationsOwnBuffers) {
  const long blocks = hostmem::LiveBlocks();
  BaseObject* a = NewCar();
  BaseObject* b = NewCar();
  GiveOutlineBuffers(Data(b)->State().collisionOutline);
  EXPECT_TRUE(Data(a)->CopyTo(Data(b), a, b, 0, nullptr));
  EXPECT_EQ(Data(b)->State().collisionOutline.deformPoints, nullptr);
  BaseObject::Free(a);
  BaseObject::Free(b);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);  // LeakSanitizer agrees
}

TEST_F(CarTest, FreeReleasesTheBuffersAndZeroesTheCounts) {
  BaseObject* car = NewCar();
  CarState& s = Data(car)->State();
  const long blocks = hostmem::LiveBlocks();
  GiveOutlineBuffers(s.collisionOutline);
  Data(car)->Free(car);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  const CollisionOutline& o = s.collisionOutline;
  EXPECT_EQ(o.deformPoints, nullptr);
  EXPECT_EQ(o.deformNeighbours, nullptr);
  EXPECT_EQ(o.attachedParts, nullptr);
  EXPECT_EQ(o.deformPointCount + o.deformNeighbourCount + o.attachedPartCount, 0);
  Data(car)->Free(car);  // a second free finds nothing to release
}

TEST_F(CarTest, SimLinkHandsOutTheRecordAndTakesTheBakePhase) {
  BaseObject* car = NewCar();
  car->SetEditorMode(MODE_OFF);  // switched-off cars answer too
  SimLinkMessage get{SIMLINK_GET_RECORD, nullptr};
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &get));
  EXPECT_EQ(get.payload, &Data(car)->State());

  std::int32_t phase = 2;
  SimLinkMessage bake{SIMLINK_BAKE_PHASE, &phase};
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &bake));
  EXPECT_EQ(Data(car)->GetBakePhase(), 2);

  // Null data and a null payload change nothing; unknown commands answer true.
  EXPECT_TRUE(car->Message(MSG_SIMLINK, nullptr));
  SimLinkMessage no_phase{SIMLINK_BAKE_PHASE, nullptr};
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &no_phase));
  EXPECT_EQ(Data(car)->GetBakePhase(), 2);
  SimLinkMessage other{0x7777, &phase};
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &other));
  EXPECT_TRUE(car->Message(12345, nullptr));
}

}  // namespace
