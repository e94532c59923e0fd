// Collisions between cars and with obstacles, wheel clipping and body-ground
// contact in the scene, checked against momentum and forces worked out by
// hand. The pieces they are made of are tested with the engine.
#include "scene/collisions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine/collision_pairs.h"
#include "engine/collision_response.h"
#include "engine/outline_contact.h"

#include "car/car_params.h"
#include "host_geometry.h"
#include "host_services.h"
#include "scene/outline.h"
#include "scene/run_state.h"
#include "scene_build/object_builders.h"

using namespace collision;

namespace {

constexpr double kDt = 0.001;
constexpr double kUnits = 100.0;

void ExpectVec(const Vector& got, const Vector& want, double tol) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}

// Host-axis force queued in slot s.
Vector SlotForce(const CarState& car, int s) {
  Vector v;
  DynamicsToHostAxes(v, car.dynamics.externalForces[s]);
  return v;
}
Vector SlotPoint(const CarState& car, int s) {
  Vector v;
  DynamicsToHostAxes(v, car.dynamics.externalForcePoints[s]);
  return v * kUnits;
}
int UsedSlots(const CarState& car) {
  int n = 0;
  for (const Vec3& f : car.dynamics.externalForces) n += LengthSquaredVec3(f) >= 1.0;
  return n;
}

class CollisionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    blocksAtStart = hostmem::LiveBlocks();
    doc = BaseDocument::Alloc();
    ASSERT_NE(doc, nullptr);
  }
  void TearDown() override {
    hostmem::FailAllocation(0);
    for (auto& c : cars) FreeCollisionOutline(c->collisionOutline);
    for (Vector* p : caches) GeFree(p);
    BaseDocument::Free(doc);
    EXPECT_EQ(hostmem::LiveBlocks(), blocksAtStart);
  }

  // A car that takes part in collisions, with the outline the run would
  // build for it (the body rectangle sampled every 10 to 12 units).
  CarState& MakeCar(Vector position = Vector(), double heading = 0.0, Vector size = Vector(200, 150, 400),
                    double mass = 1000.0, Vector velocity = Vector(), double frontZone = 0.0,
                    double frontCounterKn = 0.0, double curvePercent = 50.0) {
    auto car = std::make_unique<CarState>();
    car->settings.unitsPerMetre = kUnits;
    car->settings.stepDt = kDt;
    car->flags = 1;
    car->bodySize = size;
    car->boundingRadius = size.GetLength() / 2.0;
    car->totalMass = mass;
    car->totalWeight = mass * 9.81;
    car->wheelCount = 4;
    car->velocity = Vec3(velocity.x, velocity.y, velocity.z);
    car->bodyMatrix = HPBToMatrix(Vector(heading, 0.0, 0.0));
    car->bodyMatrix.off = position;
    BaseContainer bc;
    SplineData curve;
    curve.InsertKnot(0.0, curvePercent);
    curve.InsertKnot(1.0, curvePercent);
    curve.SetAllInterpolation(SPLINEKNOT_LINEAR);
    bc.SetData(CAR_FORCE_CURVE, GeData(curve));
    bc.SetReal(CAR_COUNTERFORCE_FRONT, frontCounterKn);
    bc.SetReal(CAR_CRUMPLE_FRONT, frontZone);
    EXPECT_EQ(BuildCollisionOutline(doc, bc, *car), 1);
    PlaceFootprintInWorld(*car);
    cars.push_back(std::move(car));
    return *cars.back();
  }

  // A world-space obstacle record as the crumple-zone tag keeps it.
  CollisionShape Box(LONG type, const Vector& centre, const Vector& size) {
    CollisionShape s{};
    s.sourceObject = reinterpret_cast<BaseObject*>(this);
    s.objectType = type;
    s.matrix = MatrixMove(centre);
    s.centre = centre;
    s.radius = (size * 0.5).GetLength();
    const double hx = size.x / 2, hy = size.y / 2, hz = size.z / 2;
    const Vector rect[4] = {Vector(-hx, 0, hz), Vector(hx, 0, hz), Vector(hx, 0, -hz), Vector(-hx, 0, -hz)};
    for (int i = 0; i < 4; ++i) s.middleRect[i] = centre + rect[i];
    std::vector<Vector> pts;
    if (type == kObstacleCube) {
      const Vector c[8] = {Vector(-hx, hy, hz),  Vector(hx, hy, hz),   Vector(hx, hy, -hz),  Vector(-hx, hy, -hz),
                           Vector(-hx, -hy, hz), Vector(-hx, -hy, -hz), Vector(hx, -hy, -hz), Vector(hx, -hy, hz)};
      for (const Vector& v : c) pts.push_back(centre + v);
    } else if (type == kObstacleCylinder) {
      pts.push_back(Vector(hx, size.y, hx));
    } else {
      for (const Vector& v : rect) pts.push_back(centre + v);  // clockwise seen from above
    }
    s.points = static_cast<Vector*>(GeAlloc(sizeof(Vector) * pts.size()));
    for (size_t i = 0; i < pts.size(); ++i) s.points[i] = pts[i];
    s.pointCount = static_cast<LONG>(pts.size());
    caches.push_back(s.points);
    return s;
  }

  long blocksAtStart = 0;
  BaseDocument* doc = nullptr;
  std::vector<std::unique_ptr<CarState>> cars;
  std::vector<Vector*> caches;
};

// ---------------------------------------------------------------- rejects

TEST_F(CollisionTest, CarsApartOrAboveEachOtherDoNotCollide) {
  struct Case {
    const char* name;
    Vector offset;  // of the second car
  } cases[] = {
      {"side by side 1 m apart, spheres overlapping", Vector(300.0, 0.0, 0.0)},
      {"above by more than half the summed heights", Vector(0.0, 151.0, 0.0)},
      {"far away", Vector(0.0, 0.0, 2000.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState& a = MakeCar();
    CarState& b = MakeCar(c.offset);
    EXPECT_EQ(CollideCars(a, b), 0);
    EXPECT_EQ(CollideCars(b, a), 0);
    EXPECT_EQ(UsedSlots(a) + UsedSlots(b), 0);
    EXPECT_EQ(a.impactValue, 0.0);
  }
}

// ---------------------------------------------------------------- car against car

// Two cars meet head-on (the second turned round), their noses 10 units
// into each other. Without crumple zones the contact stops the approach
// within the step, as a perfectly plastic hit: both end at the common
// velocity, momentum is kept, neither is thrown back.
TEST_F(CollisionTest, HeadOnHitStopsTheApproachAndKeepsMomentum) {
  struct Case {
    double massA, massB, speedA, speedB;
  } cases[] = {{1000, 1000, 10, -10}, {2000, 1000, 10, -10}, {1500, 1000, 5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.massA << " kg at " << c.speedA << " against " << c.massB << " kg at "
                                    << c.speedB);
    CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), c.massA, Vector(0, 0, c.speedA));
    CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400), c.massB, Vector(0, 0, c.speedB));
    ASSERT_EQ(CollideCars(a, b), 1);
    ASSERT_EQ(UsedSlots(a), 1);
    ASSERT_EQ(UsedSlots(b), 1);
    const Vector fa = SlotForce(a, 0), fb = SlotForce(b, 0);
    ExpectVec(fa + fb, Vector(), 1e-6 * fa.GetLength());  // equal and opposite
    EXPECT_LT(fa.z, 0.0);
    const double common = (c.massA * c.speedA + c.massB * c.speedB) / (c.massA + c.massB);
    EXPECT_NEAR(c.speedA + fa.z * kDt / c.massA, common, 1e-6);
    EXPECT_NEAR(c.speedB + fb.z * kDt / c.massB, common, 1e-6);
    // Equal stiffness: each takes half the closing distance (closing speed x dt).
    EXPECT_DOUBLE_EQ(a.impactValue, 0.5);
    EXPECT_DOUBLE_EQ(b.impactValue, 0.5);
    const double half = (c.speedA - c.speedB) * kDt * kUnits * 0.5;
    const CollisionOutline& oa = a.collisionOutline;
    EXPECT_NEAR(oa.deformPoints[10].z, oa.deformPoints[oa.deformPointCount + 10].z - half, 1e-9);
    // Both were hit at the front; the record holds the force and the time.
    ExpectVec(a.sideImpulse[0], fa, 1e-9);
    ExpectVec(b.sideImpulse[0], fb, 1e-9);
    EXPECT_NEAR(a.sideContactPoints[0].z, 197.0, 3.0);
    EXPECT_DOUBLE_EQ(a.impactTimeMs, 1.0);
    // The force acts at the contact, in the engine's axes and metres.
    ExpectVec(SlotPoint(a, 0), a.sideContactPoints[0], 1e-9);
    FreeCollisionOutline(a.collisionOutline);
    FreeCollisionOutline(b.collisionOutline);
  }
}

// Crumple zones at the front: the weaker zone takes the larger share of the
// closing distance, and both bodies feel the summed zone resistance.
TEST_F(CollisionTest, CrumpleZonesShareTheDeformationByResistance) {
  CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 1), 50.0, 100.0);
  CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400), 1000, Vector(0, 0, -1), 50.0, 300.0);
  ASSERT_EQ(CollideCars(a, b), 1);
  // Flat curve at 50 %: 50 kN + 150 kN.
  EXPECT_NEAR(SlotForce(a, 0).z, -200000.0, 1e-3);
  EXPECT_NEAR(SlotForce(b, 0).z, 200000.0, 1e-3);
  EXPECT_DOUBLE_EQ(a.impactValue, 0.75);
  EXPECT_DOUBLE_EQ(b.impactValue, 0.25);
  const double closing = 2.0 * kDt * kUnits;
  const CollisionOutline& oa = a.collisionOutline;
  const CollisionOutline& ob = b.collisionOutline;
  EXPECT_NEAR(oa.deformPoints[10].z, 200.0 - 0.75 * closing, 1e-9);
  EXPECT_NEAR(ob.deformPoints[10].z, 200.0 - 0.25 * closing, 1e-9);
  EXPECT_EQ(a.dynamics.crashFlag, 0);
}

TEST_F(CollisionTest, StandingCarsWithoutZonesTouchWithoutForce) {
  CarState& a = MakeCar();
  CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400));
  ASSERT_EQ(CollideCars(a, b), 1);
  EXPECT_EQ(UsedSlots(a) + UsedSlots(b), 0);
  EXPECT_DOUBLE_EQ(a.impactValue, 0.5);
  EXPECT_DOUBLE_EQ(b.impactValue, 0.5);
  EXPECT_DOUBLE_EQ(a.impactTimeMs, 1.0);
  const CollisionOutline& oa = a.collisionOutline;
  EXPECT_EQ(oa.deformPoints[10].z, 200.0);
}

// Each car's first contact test takes two working buffers (the world
// outline with its normals, an index list) from the allocator, a's first.
// Without any one of them the cars do not collide and nothing of either is
// touched; with the allocator back the same pair collides.
TEST_F(CollisionTest, NoBufferNoCollision) {
  for (long n = 1; n <= 4; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
    CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 10));
    CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400));
    hostmem::FailAllocation(n);
    EXPECT_EQ(CollideCars(a, b), 0);
    hostmem::FailAllocation(0);
    EXPECT_EQ(UsedSlots(a) + UsedSlots(b), 0);
    EXPECT_EQ(a.impactValue, 0.0);
    EXPECT_EQ(b.impactValue, 0.0);
    EXPECT_EQ(a.collisionOutline.deformPoints[10].z, 200.0);
    EXPECT_EQ(CollideCars(a, b), 1);
  }
}

// The buffers stay with the car's outline: later tests, against cars and
// obstacles, allocate nothing and answer as the first did.
TEST_F(CollisionTest, WorkingBuffersAreKeptForLaterTests) {
  CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 10));
  CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400));
  CarState& c = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 10));
  CarState& d = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400));
  // 5 units into a's rear.
  CollisionShape wall = Box(kObstacleCube, Vector(0, 0, -395), Vector(400, 300, 400));
  ASSERT_EQ(CollideCars(a, b), 1);
  ASSERT_EQ(CollideCarWithObstacle(a, wall), 1);
  const long blocks = hostmem::LiveBlocks();
  hostmem::FailAllocation(1);
  EXPECT_EQ(CollideCars(a, b), 1);
  EXPECT_EQ(CollideCarWithObstacle(a, wall), 1);
  // c and d stand as a and b did, without buffers yet: the failing
  // allocation was still to come.
  EXPECT_EQ(CollideCars(c, d), 0);
  hostmem::FailAllocation(0);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  ASSERT_EQ(CollideCars(c, d), 1);
  ExpectVec(SlotForce(c, 0), SlotForce(a, 0), 0.0);
  ExpectVec(SlotForce(d, 0), SlotForce(b, 0), 0.0);
}

TEST_F(CollisionTest, ContactTimeCountsFineSteps) {
  CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 1));
  CarState& b = MakeCar(Vector(0, 0, 390), pi, Vector(240, 150, 400));
  a.settings.stepDt = b.settings.stepDt = 0.0002;  // 5000 steps a second
  for (int i = 0; i < 5; ++i) CollideCars(a, b);
  EXPECT_NEAR(a.impactTimeMs, 1.0, 1e-12);
}

// ---------------------------------------------------------------- car against obstacle

// A car without crumple zones drives at 5 m/s into each kind of obstacle
// standing 10 units into its nose: one step's force stops it, the obstacle
// takes the opposite push, and the nose is pressed in by one step's travel.
// A point pressed into the core crashes the car when it is the last of the
// points in contact; and with all 16 force slots taken the contact force is
// dropped without touching them.
TEST_F(CollisionTest, CorePointsAndFullForceSlots) {
  for (bool last : {true, false}) {
    SCOPED_TRACE(last ? "core point listed last" : "core point listed first");
    CarState& car = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 1), 50.0, 80.0);
    CollisionShape wall = Box(kObstacleCube, Vector(0, 0, 200), Vector(400, 300, 400));  // from z = 0 on
    CollisionOutline& o = car.collisionOutline;
    const int32 n = o.deformPointCount;
    int32 first = -1, final = -1;
    for (int32 i = 0; i < n; ++i)
      if (o.deformPoints[i].z > 1.0 && std::fabs(o.deformPoints[i].x) < 199.0) {
        if (first < 0) first = i;
        final = i;
      }
    ASSERT_GE(first, 0);
    const int32 pressed = last ? final : first;
    o.deformPoints[pressed] = Vec3(0, 0, 20);  // deep inside, still in the wall
    Vec3 d;
    ASSERT_EQ(ClassifyOutlinePoint(o, pressed, d), kZoneCore);
    for (int s = 0; s < kForceSlots; ++s) {
      car.dynamics.externalForces[s] = Vec3(s + 1.0, 0, 0);
      car.dynamics.externalForcePoints[s] = Vec3(0, s + 1.0, 0);
    }
    ASSERT_EQ(CollideCarWithObstacle(car, wall), 1);
    EXPECT_EQ(car.dynamics.crashFlag, last ? 1 : 0);
    for (int s = 0; s < kForceSlots; ++s) {
      EXPECT_EQ(car.dynamics.externalForces[s], Vec3(s + 1.0, 0, 0)) << s;
      EXPECT_EQ(car.dynamics.externalForcePoints[s], Vec3(0, s + 1.0, 0)) << s;
    }
    EXPECT_NE(car.sideImpulse[0], Vector()) << "the impact itself is still recorded";
    FreeCollisionOutline(car.collisionOutline);
  }
}

TEST_F(CollisionTest, ObstacleStopsTheCarWithinOneStep) {
  struct Case {
    const char* name;
    LONG type;
    Vector size;
    bool reverseOutline;
  } cases[] = {
      {"cube", kObstacleCube, Vector(400, 300, 200), false},
      {"cylinder", kObstacleCylinder, Vector(100, 300, 100), false},
      {"spline drawn clockwise", kObstacleSpline, Vector(400, 0, 200), false},
      {"spline drawn counter-clockwise", kObstacleSpline, Vector(400, 0, 200), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState& car = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 5));
    const Vector centre(0, 0, 190 + c.size.z / 2);
    CollisionShape shape = Box(c.type, centre, c.size);
    if (c.reverseOutline) std::swap(shape.points[1], shape.points[3]);
    ASSERT_EQ(CollideCarWithObstacle(car, shape), 1);
    ASSERT_EQ(UsedSlots(car), 1);
    const Vector f = SlotForce(car, 0);
    const double stop = 1000.0 * 5.0 / kDt;
    EXPECT_NEAR(f.z, -stop, 1e-3 * stop);
    EXPECT_NEAR(f.x, 0.0, 1e-3 * stop);
    EXPECT_NEAR(shape.impactSum.z, stop, 1e-3 * stop);
    ExpectVec(shape.impactPoint, car.sideContactPoints[0], 1e-12);
    EXPECT_GT(shape.impactPoint.z, 190.0);
    EXPECT_DOUBLE_EQ(car.impactValue, 1.0);
    ExpectVec(car.sideImpulse[0], f, 1e-9);
    const CollisionOutline& o = car.collisionOutline;
    EXPECT_NEAR(o.deformPoints[10].z, 200.0 - 5.0 * kDt * kUnits, 1e-6);
    FreeCollisionOutline(car.collisionOutline);
  }
}

TEST_F(CollisionTest, FrontZoneAgainstAWallPushesWithTheCurvedCounterforce) {
  CarState& car = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 0.5), 50.0, 80.0, 25.0);
  CollisionShape wall = Box(kObstacleCube, Vector(0, 0, 290), Vector(400, 300, 200));
  ASSERT_EQ(CollideCarWithObstacle(car, wall), 1);
  EXPECT_NEAR(SlotForce(car, 0).z, -0.25 * 80000.0, 1e-6);
  EXPECT_EQ(car.sideImpulse[1], Vector());
  EXPECT_NE(car.sideImpulse[0], Vector());
  EXPECT_EQ(car.dynamics.crashFlag, 0);
}

// At walking pace the zone's resistance (20 kN) is more than stops the car
// in one step (1000 kg x 0.01 m/s / 1 ms = 10 kN): the contact must stop
// the car at the wall, not throw it back off it.
TEST_F(CollisionTest, ASlowCarComesToRestAgainstAWall) {
  CarState& car = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 0.01), 50.0, 80.0, 25.0);
  CollisionShape wall = Box(kObstacleCube, Vector(0, 0, 299.5), Vector(400, 300, 200));
  int hits = 0;
  for (int step = 0; step < 500; ++step) {
    if (CollideCarWithObstacle(car, wall)) ++hits;
    for (int s = 0; s < kForceSlots; ++s) {
      car.velocity.z += SlotForce(car, s).z / 1000.0 * kDt;
      car.dynamics.externalForces[s] = Vec3();
    }
    car.bodyMatrix.off.z += car.velocity.z * kDt * kUnits;
    PlaceFootprintInWorld(car);
  }
  EXPECT_GT(hits, 0);
  EXPECT_GE(car.velocity.z, -1e-12) << "thrown back";
  EXPECT_LT(car.velocity.z, 1e-12);
}

// A car with a front crumple zone of flat resistance R is driven with a
// steady force D at 15 m/s into a wall across the road. The zone takes the
// energy over s = m v^2 / 2 / (R - D), less than its length, and the car
// stands with its pressed-in nose at the wall's face, whatever the wall's
// thickness: a wall thinner than s sees the car's uncrumpled footprint cross
// it from face to face while the nose still presses on it.
TEST_F(CollisionTest, ACarStopsAtTheFaceOfAWallOfAnyThickness) {
  const double mass = 1000.0, speed = 15.0, drive = 6000.0;
  const double zone = 50.0, counterKn = 600.0, curvePercent = 50.0;
  const double resistance = counterKn * 1000.0 * curvePercent / 100.0;
  const double crumple = mass * speed * speed / 2.0 / (resistance - drive) * kUnits;  // 38.3 units
  ASSERT_LT(crumple, zone);
  const double face = 300.0;  // the car's nose starts 100 short of it
  struct Case {
    const char* name;
    LONG type;
    double thickness;
  } cases[] = {
      {"cube 200 thick", kObstacleCube, 200.0}, {"cube 30 thick", kObstacleCube, 30.0},
      {"cube 10 thick", kObstacleCube, 10.0},   {"spline 30 thick", kObstacleSpline, 30.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState& car =
        MakeCar(Vector(), 0.0, Vector(200, 150, 400), mass, Vector(0, 0, speed), zone, counterKn, curvePercent);
    CollisionShape wall = Box(c.type, Vector(0, 0, face + c.thickness / 2), Vector(400, 300, c.thickness));
    const CollisionOutline& o = car.collisionOutline;
    const int32 n = o.deformPointCount;
    // A point mass along z: the force queued in one step acts in the next.
    const int steps = 2000;
    double v = speed, furthestNose = -1e30, touchedAt = -1.0;
    for (int step = 0; step < steps; ++step) {
      double f = drive;
      for (int s = 0; s < kForceSlots; ++s) f += SlotForce(car, s).z;
      for (Vec3& slot : car.dynamics.externalForces) slot = Vec3();
      v += f / mass * kDt;
      car.velocity = Vec3(0.0, 0.0, v);
      car.bodyMatrix.off.z += v * kDt * kUnits;
      PlaceFootprintInWorld(car);
      if (CollideCarWithObstacle(car, wall) && touchedAt < 0.0) touchedAt = car.bodyMatrix.off.z;
      for (int32 i = 0; i < n; ++i) furthestNose = std::max(furthestNose, car.bodyMatrix.off.z + o.deformPoints[i].z);
    }
    ASSERT_GT(touchedAt, 0.0);
    // The pressed-in nose never gets further into the wall than one step's
    // travel, and the body stops once the zone's work has taken its speed
    // (give or take two steps' travel: the nose is seen a step into the wall
    // and the force acts a step later).
    const double stepTravel = speed * kDt * kUnits;
    EXPECT_LT(furthestNose, face + stepTravel + 1e-9);
    EXPECT_NEAR(car.bodyMatrix.off.z + 200.0 - face, crumple, 2.0 * stepTravel);
    EXPECT_NEAR(v, 0.0, resistance / mass * kDt);
    EXPECT_NEAR(o.deformPoints[10].z, face - car.bodyMatrix.off.z, stepTravel);
    EXPECT_EQ(car.dynamics.crashFlag, 0);
    // Equal and opposite: the wall took the car's momentum and the drive's
    // impulse (less the push still queued for the next step).
    double pending = 0.0;
    for (int s = 0; s < kForceSlots; ++s) pending += SlotForce(car, s).z;
    const double impulse = mass * (speed - v) + drive * steps * kDt - pending * kDt;
    EXPECT_NEAR(wall.impactSum.z * kDt, impulse, 1e-9 * impulse);
    FreeCollisionOutline(car.collisionOutline);
  }
}

// Two cars laid across each other, neither footprint with a corner inside
// the other (the nose of one already past the far side of the other): the
// sides still overlap, so they collide.
TEST_F(CollisionTest, CarsLaidAcrossEachOtherCollide) {
  CarState& a = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 5));
  CarState& b = MakeCar(Vector(50, 0, 0), pi / 2, Vector(240, 150, 400));
  ASSERT_EQ(FootprintsOverlap(a.collisionOutline.footprint, b.collisionOutline.footprint), 0);
  EXPECT_EQ(CollideCars(a, b), 1);
  EXPECT_DOUBLE_EQ(a.impactTimeMs, 1.0);
  EXPECT_DOUBLE_EQ(b.impactTimeMs, 1.0);
  EXPECT_EQ(UsedSlots(a), UsedSlots(b));
  ExpectVec(SlotForce(a, 0) + SlotForce(b, 0), Vector(), 1e-6 * (1.0 + SlotForce(a, 0).GetLength()));
}

TEST_F(CollisionTest, ObstaclesThatCannotCollide) {
  CarState& car = MakeCar(Vector(), 0.0, Vector(200, 150, 400), 1000, Vector(0, 0, 5));
  CollisionShape invalid = Box(kObstacleCube, Vector(0, 0, 290), Vector(400, 300, 200));
  invalid.objectType = 0;  // a failed build
  EXPECT_EQ(CollideCarWithObstacle(car, invalid), 0);
  CollisionShape shortCube = Box(kObstacleCube, Vector(0, 0, 290), Vector(400, 300, 200));
  shortCube.pointCount = 4;
  EXPECT_EQ(CollideCarWithObstacle(car, shortCube), 0);
  CollisionShape noCache = Box(kObstacleCylinder, Vector(0, 0, 240), Vector(100, 300, 100));
  noCache.points = nullptr;
  EXPECT_EQ(CollideCarWithObstacle(car, noCache), 0);
  CollisionShape above = Box(kObstacleCube, Vector(0, 400, 290), Vector(400, 300, 200));
  EXPECT_EQ(CollideCarWithObstacle(car, above), 0);  // the box test sees its height
  EXPECT_EQ(UsedSlots(car), 0);
}

// ---------------------------------------------------------------- wheels and ground

TEST_F(CollisionTest, WheelsLeftUncoveredMoveOntoTheOutline) {
  CarState& car = MakeCar(Vector(0, 40, 0), pi / 2);
  car.trackedPoints[0] = Vector(50, 0, 210);   // beyond the nose by 10
  car.trackedPoints[1] = Vector(-50, 0, 150);  // covered
  for (int w = 0; w < 4; ++w) car.wheelMatrices[w] = car.wheelHubMatrices[w] = car.wheelSteerFreeMatrices[w] = car.bodyMatrix;
  ClipPointsToOutline(car);
  const Vector back = car.bodyMatrix.v3 * -10.0;
  ExpectVec(car.wheelMatrices[0].off - car.bodyMatrix.off, back, 1e-9);
  ExpectVec(car.wheelHubMatrices[0].off - car.bodyMatrix.off, back, 1e-9);
  ExpectVec(car.wheelSteerFreeMatrices[0].off - car.bodyMatrix.off, back, 1e-9);
  EXPECT_EQ(car.wheelMatrices[1].off, car.bodyMatrix.off);
  EXPECT_EQ(car.dynamics.crashFlag, 1);
}

TEST_F(CollisionTest, BodyOnTheGroundIsHeldOutOfIt) {
  struct Case {
    const char* name;
    double height;       // of the body centre, scene units
    bool wheelContact;
    int contacts;
  } cases[] = {
      {"bottom 3 cm deep", 72.0, false, 4},
      {"bottom exactly on the ground", 75.0, false, 4},
      {"above the ground", 76.0, false, 0},
      {"a wheel on the ground", 72.0, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState& car = MakeCar(Vector(0, c.height, 0));
    SetFlatGroundHit(car.defaultGround, 0.0, 1.0, kUnits);
    for (int i = 0; i < 4; ++i) car.roofCorners[i] = Vector(i % 2 ? 80 : -80, 75, i < 2 ? 100 : -100);
    car.dynamics.tyreOutput[2].contact = c.wheelContact;
    const Vec3 before = car.dynamics.body.position;
    ResolveBodyGroundContact(car, nullptr);
    ASSERT_EQ(UsedSlots(car), c.contacts);
    if (c.contacts == 0) {
      EXPECT_EQ(car.dynamics.body.position, before);
      continue;
    }
    // Each corner carries a quarter of ten times the weight, straight up.
    for (int s = 0; s < 4; ++s) ExpectVec(SlotForce(car, s), Vector(0, 10.0 * car.totalWeight / 4, 0), 1e-6);
    EXPECT_NEAR(car.dynamics.body.position.z - before.z, (75.0 - c.height) / kUnits, 1e-12);
    FreeCollisionOutline(car.collisionOutline);
  }
}

TEST_F(CollisionTest, BodyGroundContactAsksTheGroundQuery) {
  CarState& car = MakeCar(Vector(0, 572, 0), 0.0, Vector(200, 150, 400), 1000, Vector(1, 0, 0));
  for (int i = 0; i < 4; ++i) car.roofCorners[i] = Vector(0, 75, 0);
  // A plane at 5 m.
  const FlatGround ground(5.0, 1.0);
  ResolveBodyGroundContact(car, &ground);
  EXPECT_EQ(UsedSlots(car), 5);  // four corners and the drag
  ExpectVec(SlotForce(car, 15), Vector(-0.5 * car.totalWeight, 0, 0), 1e-9);
  ExpectVec(SlotPoint(car, 15), Vector(0, 572, 0), 1e-9);
}

// Without a group or a route to search, the run's ground answers the default
// ground's plane wherever a corner is: read once for all the corners, it
// holds the body exactly as the corner-by-corner queries do, on a sloping
// default ground as on a level one, sliding and standing.
TEST_F(CollisionTest, OnePlaneForAllCornersHoldsTheBodyAsTheQueriesDo) {
  struct Case {
    const char* name;
    double slope;  // rad, about the engine's x axis
    double height;
    Vector velocity;
  } cases[] = {
      {"level, 3 cm deep, sliding", 0.0, 72.0, Vector(1, 0, 0.5)},
      {"sloping, standing", 0.15, 80.0, Vector()},
      {"sloping, sliding", -0.2, 60.0, Vector(-2, 0.1, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState* cars[2];
    for (CarState*& car : cars) {
      car = &MakeCar(Vector(30, c.height, -20), 0.4, Vector(200, 150, 400), 1000, c.velocity);
      SetFlatGroundHit(car->defaultGround, 0.0, 1.0, kUnits);
      car->defaultGround.normal = Vec3(0.0, std::sin(c.slope), std::cos(c.slope));
      car->defaultGround.planeOffset = -0.01;
      car->angularVelocity = Vec3(0.1, -0.2, 0.3);
      for (int i = 0; i < 4; ++i) car->roofCorners[i] = Vector(i % 2 ? 80 : -80, 75, i < 2 ? 100 : -100);
    }
    CarState& once = *cars[0];
    CarState& asked = *cars[1];
    const BodyPointGround onceGround(nullptr, once), askedGround(nullptr, asked);
    ASSERT_NE(onceGround.UniformGround(), nullptr);
    ResolveBodyGroundContact(once, &onceGround);
    ResolveBodyGroundContact(asked, static_cast<const GroundSource*>(&askedGround));
    EXPECT_GT(UsedSlots(asked), 0) << "the body must touch for the comparison to count";
    EXPECT_EQ(once.dynamics.body.position, asked.dynamics.body.position);
    for (int s = 0; s < kForceSlots; ++s) {
      EXPECT_EQ(once.dynamics.externalForces[s], asked.dynamics.externalForces[s]) << s;
      EXPECT_EQ(once.dynamics.externalForcePoints[s], asked.dynamics.externalForcePoints[s]) << s;
    }
  }
  // A route that acts as ground is searched like a group.
  CarState& car = MakeCar();
  car.autopilot.routeIsGround = 1;
  EXPECT_EQ(BodyPointGround(nullptr, car).UniformGround(), nullptr);
}

// The run's ground for body points: the highest polygon of the ground group
// below a point, else the car's default ground. Here the default ground
// lies at 5 m and a floor of the group at 3 m: a body 3 cm into the default
// ground stands clear of it over the floor, and is held out of it beside.
TEST_F(CollisionTest, BodyPointsAskTheGroundGroupFirst) {
  struct Case {
    const char* name;
    double x;  // of the body centre
    int contacts;
  } cases[] = {
      {"over the floor", 0.0, 0},
      {"beside the floor", 3000.0, 4},
  };
  BaseObject* group = BaseObject::Alloc(Onull);
  doc->InsertObject(group, nullptr, nullptr);
  PolygonObject* floor = CreatePolygonObject(doc, group, nullptr, "floor", 2000.0, 2000.0, 1, 0);
  ASSERT_NE(floor, nullptr);
  floor->SetRelPos(Vector(0, 300, 0));
  BaseContainer bc;
  bc.SetLink(CAR_GROUND_GROUP, group);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarState& car = MakeCar(Vector(c.x, 572, 0));
    SetFlatGroundHit(car.defaultGround, 5.0, 1.0, kUnits);
    for (int i = 0; i < 4; ++i) car.roofCorners[i] = Vector(i % 2 ? 80 : -80, 75, i < 2 ? 100 : -100);
    const Vec3 before = car.dynamics.body.position;
    const BodyPointGround ground(doc, bc, car);
    ResolveBodyGroundContact(car, &ground);
    // The four bottom corners; standing still, the drag is nothing.
    EXPECT_EQ(UsedSlots(car), c.contacts);
    EXPECT_NEAR(car.dynamics.body.position.z - before.z, c.contacts > 0 ? 0.03 : 0.0, 1e-9);
  }
}

// One ground answers a car's body points one after the other: each query
// starts from the default ground again, whatever the one before found, and
// gives the plane only, leaving the caller's tyre profile as it was.
TEST_F(CollisionTest, BodyPointQueriesStartFromTheDefaultGroundEachTime) {
  BaseObject* group = BaseObject::Alloc(Onull);
  doc->InsertObject(group, nullptr, nullptr);
  PolygonObject* floor = CreatePolygonObject(doc, group, nullptr, "floor", 2000.0, 2000.0, 1, 0);
  ASSERT_NE(floor, nullptr);
  floor->SetRelPos(Vector(0, 300, 0));
  CarState& car = MakeCar(Vector(0, 572, 0));
  SetFlatGroundHit(car.defaultGround, 5.0, 0.8, kUnits);
  const BodyPointGround ground(group, car), noGroup(nullptr, car);
  // Engine axes, metres: over the floor (3 m), beside it (default, 5 m);
  // without the group the default ground is under both.
  const Vec3 over(0.0, 0.0, 4.0), beside(0.0, 30.0, 4.0);
  struct Want {
    const BodyPointGround& asking;
    Vec3 point;
    double height;
  } asked[] = {{ground, over, 3.0},   {ground, beside, 5.0},  {ground, over, 3.0},
               {ground, beside, 5.0}, {noGroup, over, 5.0}, {noGroup, beside, 5.0}};
  for (const Want& w : asked) {
    SCOPED_TRACE(w.height);
    GroundHit hit;
    hit.profileCount = 7;
    hit.profile[3][1] = 0.25;
    w.asking.GroundAt(w.point, hit);
    EXPECT_NEAR(hit.normal.z, 1.0, 1e-12);
    EXPECT_NEAR(-hit.planeOffset, w.height, 1e-9);
    EXPECT_EQ(hit.friction, 0.8);  // a body point takes the default ground's grip
    EXPECT_EQ(hit.profileCount, 7);
    EXPECT_EQ(hit.profile[3][1], 0.25);
  }
}

}  // namespace

// ---------------------------------------------------------------- broad phase

// Pairs (i < j) of bodies whose bounding circles the pair test does not
// throw out, as the all-pairs loop meets them.
std::vector<std::pair<int, int>> CloseEnough(const std::vector<Vector>& c, const std::vector<double>& r,
                                             const std::vector<char>& taking) {
  std::vector<std::pair<int, int>> out;
  const int n = static_cast<int>(c.size());
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (taking[i] && taking[j] && !((c[i] - c[j]).GetLength() > r[i] + r[j])) out.push_back({i, j});
  return out;
}

// The centres as the run hands them to the broad phase: engine axes, scene
// units.
std::vector<Vec3> EngineCentres(const std::vector<Vector>& c) {
  std::vector<Vec3> out(c.size());
  for (size_t i = 0; i < c.size(); ++i) HostToDynamicsAxes(c[i], out[i]);
  return out;
}

TEST(CollisionPairs, KeepsEveryPairTheCirclesAdmitInOrder) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  for (int round = 0; round < 30; ++round) {
    const int n = 40 + round * 7;
    std::vector<Vector> c(n);
    std::vector<double> r(n);
    std::vector<char> taking(n);
    const double spread = 200.0 + round * 300.0;
    for (int i = 0; i < n; ++i) {
      c[i] = Vector((u(rng) - 0.5) * spread, u(rng) * 50.0, (u(rng) - 0.5) * spread) + Vector(1e6 * round, 0, 0);
      r[i] = 50.0 + 300.0 * u(rng);
      taking[i] = u(rng) < 0.9;
    }
    // Exactly touching circles, and bodies no grid can place.
    c[1] = c[0] + Vector(r[0] + r[1], 0.0, 0.0);
    taking[0] = taking[1] = 1;
    c[2].y = nan;
    r[3] = inf;
    r[4] = nan;
    c[5].x = 1e300;
    r[6] = -5.0;
    CollisionPairs pairs;
    pairs.Build(EngineCentres(c).data(), r.data(), taking.data(), n);
    std::vector<std::pair<int, int>> visited, kept;
    for (int i = 0; i < n; ++i) {
      if (!taking[i]) continue;
      for (int j : pairs.Partners(i)) {
        ASSERT_TRUE(taking[j]);
        visited.push_back({i, j});
        if (!((c[i] - c[j]).GetLength() > r[i] + r[j])) kept.push_back({i, j});
      }
    }
    ASSERT_TRUE(std::is_sorted(visited.begin(), visited.end())) << round;
    ASSERT_TRUE(std::adjacent_find(visited.begin(), visited.end()) == visited.end()) << round;
    ASSERT_EQ(kept, CloseEnough(c, r, taking)) << round;
    // Spread out, most pairs are never tried.
    if (round > 20) {
      EXPECT_LT(visited.size(), static_cast<size_t>(n) * n / 8) << round;
    }
  }
}

// Bodies in pairs whose circles just touch, in every direction and at
// every scale, some level and some one above the other: rounding puts the
// computed distance a hair either side of the radii. Some pairs are set up
// so that their squared distance on the ground rounds above the squared
// radii while the pair test's distance still rounds onto them. The broad
// phase hands out every pair the pair test keeps, and no pair whose circles
// stand apart on the ground by more than rounding.
TEST(CollisionPairs, DropsOnlyPairsWhoseCirclesStandApart) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<Vector> c;
  std::vector<double> r;
  for (int k = 0; k < 400; ++k) {
    const double scale = std::pow(10.0, -3.0 + 9.0 * u(rng));
    const Vector at = Vector(u(rng), 0.0, u(rng)) * (50.0 * scale) + Vector(1e4 * scale, 0.0, 0.0);
    const double ra = scale * (0.5 + u(rng)), rb = scale * (0.5 + u(rng)), angle = 6.283185307179586 * u(rng);
    const double lift = k % 3 == 0 ? 0.1 * scale * u(rng) : 0.0;
    const double reach = (ra + rb) * (k % 4 == 0 ? 1.0 + 1e-3 * u(rng) : 1.0);
    c.push_back(at);
    c.push_back(at + Vector(reach * std::cos(angle), lift, reach * std::sin(angle)));
    r.push_back(ra);
    r.push_back(rb);
  }
  int squaresApart = 0;  // pairs the pair test keeps, their squares apart
  for (int k = 0; k < 600; ++k) {
    const double ra = 1.0 + u(rng), rb = 1.0 + u(rng), radii = ra + rb, angle = 1.5707963267948966 * u(rng);
    const double nudge = 1.0 + (k % 9 - 4) * std::ldexp(1.0, -52);
    const Vector at(0.0, 0.0, -4096.0 * k);
    const double along = (at.z + radii * std::sin(angle)) - at.z;  // as placed
    c.push_back(at);
    c.push_back(Vector(std::sqrt(radii * radii - along * along) * nudge, 0.0, at.z + along));
    r.push_back(ra);
    r.push_back(rb);
    const Vector d = c.back() - at;
    squaresApart += d.x * d.x + d.z * d.z > radii * radii && !(d.GetLength() > radii);
  }
  const std::vector<char> taking(c.size(), 1);
  const std::vector<Vec3> at = EngineCentres(c);
  CollisionPairs pairs;
  pairs.Build(at.data(), r.data(), taking.data(), static_cast<int32>(c.size()));
  std::vector<std::pair<int, int>> kept;
  int apart = 0, beyond = 0;
  for (int i = 0; i < static_cast<int>(c.size()); ++i)
    for (int j : pairs.Partners(i)) {
      const double dx = at[i].x - at[j].x, dy = at[i].y - at[j].y, radii = r[i] + r[j];
      beyond += std::sqrt(dx * dx + dy * dy) > radii * (1.0 + 1e-6);
      if (!((c[i] - c[j]).GetLength() > radii)) kept.push_back({i, j});
    }
  EXPECT_EQ(beyond, 0);
  ASSERT_EQ(kept, CloseEnough(c, r, taking));
  for (size_t i = 0; i < c.size(); i += 2) apart += (c[i] - c[i + 1]).GetLength() > r[i] + r[i + 1];
  EXPECT_GT(apart, 50);  // touching pairs rounded apart, and those set apart
  EXPECT_GT(kept.size(), 50u);
  EXPECT_GT(squaresApart, 0);
}

// One broad phase reused over many steps of moving bodies (drifting across
// cells, leaving and rejoining, losing their place in the grid, the largest
// radius changing) answers each step as one built from scratch.
TEST(CollisionPairs, ReusedOverStepsAnswersAsFreshOne) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 120;
  std::vector<Vector> c(n), v(n);
  std::vector<double> r(n);
  std::vector<char> taking(n, 1);
  for (int i = 0; i < n; ++i) {
    c[i] = Vector(u(rng) * 3000.0, 0.0, u(rng) * 3000.0);
    v[i] = Vector(u(rng) * 150.0, 0.0, u(rng) * 150.0);
    r[i] = 120.0 + 40.0 * u(rng);
  }
  CollisionPairs reused;
  size_t tried = 0;
  for (int step = 0; step < 200; ++step) {
    for (int i = 0; i < n; ++i) c[i] += v[i];
    const int a = static_cast<int>((u(rng) + 1.0) * 0.5 * (n - 1));
    taking[a] = !taking[a];
    if (step % 17 == 3) c[a].x = std::nan("");
    if (step % 17 == 4) c[a].x = 0.0;
    if (step % 50 == 25) r[a] *= 3.0;
    const int count = step == 120 ? n - 7 : n;  // a changed count starts over
    CollisionPairs fresh;
    const std::vector<Vec3> at = EngineCentres(c);
    reused.Build(at.data(), r.data(), taking.data(), count);
    fresh.Build(at.data(), r.data(), taking.data(), count);
    for (int i = 0; i < count; ++i) {
      const std::vector<int32> got = reused.Partners(i);
      ASSERT_EQ(got, fresh.Partners(i)) << "step " << step << " body " << i;
      tried += got.size();
    }
  }
  EXPECT_GT(tried, 1000u);
}

// A crowd of cars pressed into each other, stepped a few times: the loop
// over the broad phase's pairs leaves every car as the all-pairs loop does.
TEST_F(CollisionTest, CrowdCollidesAlikeThroughTheBroadPhase) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 40;
  for (int i = 0; i < 2 * n; ++i) {
    // Two identical crowds: the second repeats the first's numbers.
    if (i == n) rng.seed(11);
    const Vector at(u(rng) * 900.0, 0.0, u(rng) * 900.0);
    const double heading = u(rng) * 3.0;
    const Vector v(u(rng) * 10.0, 0.0, u(rng) * 10.0);
    MakeCar(at, heading, Vector(200, 150, 400), 1000.0, v, 60.0, 50.0);
  }
  auto centres = [&](int first, std::vector<Vector>& c, std::vector<double>& r) {
    for (int i = 0; i < n; ++i) {
      c[i] = cars[first + i]->bodyMatrix.off;
      r[i] = cars[first + i]->boundingRadius;
    }
  };
  std::vector<Vector> c(n);
  std::vector<double> r(n);
  std::vector<char> taking(n, 1);
  CollisionPairs pairs;
  int hits = 0;
  for (int step = 0; step < 5; ++step) {
    std::vector<std::pair<int, int>> all, broad;
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j)
        if (CollideCars(*cars[i], *cars[j])) all.push_back({i, j});
    centres(n, c, r);
    pairs.Build(EngineCentres(c).data(), r.data(), taking.data(), n);
    for (int i = 0; i < n; ++i)
      for (int j : pairs.Partners(i))
        if (CollideCars(*cars[n + i], *cars[n + j])) broad.push_back({i, j});
    ASSERT_EQ(broad, all) << step;
    hits += static_cast<int>(all.size());
    for (int i = 0; i < n; ++i) {
      const CarState &a = *cars[i], &b = *cars[n + i];
      for (int s = 0; s < kForceSlots; ++s) {
        EXPECT_EQ(SlotForce(a, s), SlotForce(b, s));
        EXPECT_EQ(SlotPoint(a, s), SlotPoint(b, s));
      }
      for (int k = 0; k < 2 * a.collisionOutline.deformPointCount; ++k)
        ASSERT_EQ(a.collisionOutline.deformPoints[k], b.collisionOutline.deformPoints[k]);
      for (int k = 0; k < 4; ++k) EXPECT_EQ(a.sideImpulse[k], b.sideImpulse[k]);
      EXPECT_EQ(a.impactValue, b.impactValue);
      EXPECT_EQ(a.impactTimeMs, b.impactTimeMs);
      // On to the next step: both crowds move alike.
      for (CarState* car : {cars[i].get(), cars[n + i].get()}) {
        car->bodyMatrix.off += Vector(car->velocity.x, 0.0, car->velocity.z) * (kDt * kUnits * 20.0);
        PlaceFootprintInWorld(*car);
      }
    }
  }
  EXPECT_GT(hits, 10);  // a crowd indeed
}
