// Publication of the simulated state: outputs, needles, brake light, spring
// heights, skid-mark rails, body deformation and the output object.
#include <cmath>
#include <new>

#include "../car/car_test_support.h"
#include "car/car_publish.h"
#include "carsim/polygon_geometry.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"
#include "scene/outline.h"
#include "car/rig.h"

namespace {

class PublishTest : public CarTest {
 protected:
  void SetUp() override {
    CarTest::SetUp();
    car = NewCar();
    ASSERT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    bc = car->GetDataInstance();
    s = &Data(car)->State();
    s->wheelCount = 4;
  }
  LONG Publish(LONG flags, LONG outputs = 1, LONG rig = 1, LONG object = 1) {
    return PublishCarState(*s, doc, car, flags, outputs, rig, object);
  }
  // A skid-mark rail for wheel i, empty (no segment records).
  SplineObject* Rail(LONG i) {
    SplineObject* rail = SplineObject::Alloc(0, SPLINETYPE_LINEAR);
    doc->InsertObject(rail, nullptr, nullptr);
    bc->SetLink(CAR_SKID_LINKS + i, rail);
    return rail;
  }
  void Moving(double v) {
    s->speed = v;
    s->velocity = Vec3(0.0, 0.0, v);
    for (LONG i = 0; i < 4; ++i)
      s->wheelHubMatrices[i] = Matrix(Vector(i & 1 ? 80 : -80, 32, 100), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  }

  BaseObject* car = nullptr;
  BaseContainer* bc = nullptr;
  CarState* s = nullptr;
};

TEST_F(PublishTest, SpeedOutputsAreCutNotRounded) {
  const struct {
    Matrix body;
    Vec3 velocity;
    Real kmh, ms;
  } cases[] = {
      {Matrix(), Vec3(0, 0, 12.5), 45.0, 12.5},
      {Matrix(), Vec3(0, 0, -12.5), 0.0, 0.0},  // reversing shows 0
      {Matrix(), Vec3(3, 0, 12.5), 45.0, 12.5},  // sideways slip is no forward speed
      {Matrix(Vector(), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0)), Vec3(12.5, 0, 0), 45.0, 12.5},
      {Matrix(), Vec3(0, 0, 27.7777), 99.9, 27.77},
  };
  for (const auto& c : cases) {
    s->bodyMatrix = c.body;
    s->velocity = c.velocity;
    Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
    EXPECT_NEAR(bc->GetReal(2500), c.kmh, 1e-9);
    EXPECT_NEAR(bc->GetReal(2501), c.ms, 1e-9);
  }
}

TEST_F(PublishTest, OutputsMirrorTheState) {
  s->engineRpm = 4321;
  s->engagedGear = -1;
  s->ramps[kRampReverse].current = 0.6;
  s->ramps[kRampThrottle].current = 0.2;
  s->ramps[kRampSteer].current = -0.3;
  s->wheelSpinRates[2] = 39.0625;  // 12.5 m/s on a 0.32 m wheel
  s->dynamics.tyreOutput[1].lateralForce = 800.0;
  s->dynamics.tyreOutput[3].contact = 1;
  s->sideImpulse[2] = Vector(0, 0, 500);
  s->commandOutput = 0.25;
  s->autopilot.routeName = "Route 1";
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_EQ(bc->GetLong(2502), 4321);
  EXPECT_EQ(bc->GetLong(2503), -1);
  EXPECT_EQ(bc->GetReal(2504), 0.6);  // the reverse pedal in reverse
  EXPECT_EQ(bc->GetReal(2507), -0.3);
  EXPECT_EQ(bc->GetReal(2512), 39.0625);
  EXPECT_EQ(bc->GetReal(2523), 800.0);
  EXPECT_EQ(bc->GetLong(2533), 1);
  EXPECT_EQ(bc->GetVector(2549), Vector(0, 0, 5));  // x 0.01
  EXPECT_EQ(bc->GetReal(2553), 0.25);
  EXPECT_EQ(bc->GetString(2538), "-");  // no route object
  EXPECT_EQ(bc->GetString(2540), "-");

  // The names change on the animation pass only.
  BaseObject* ground = NewObject(Opolygon);
  ground->SetName("Road");
  s->wheelGroundRecords[0].groundObject = ground;
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_EQ(bc->GetString(2540), "Road");
  // Each wheel its own object, two on the same one, one on none.
  BaseObject* grass = NewObject(Opolygon);
  grass->SetName("Grass");
  s->wheelGroundRecords[2].groundObject = grass;
  s->wheelGroundRecords[3].groundObject = ground;
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_EQ(bc->GetString(2540), "Road");
  EXPECT_EQ(bc->GetString(2541), "-");
  EXPECT_EQ(bc->GetString(2542), "Grass");
  EXPECT_EQ(bc->GetString(2543), "Road");
  s->wheelGroundRecords[2].groundObject = s->wheelGroundRecords[3].groundObject = nullptr;
  bc->SetString(2540, "?");
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(bc->GetString(2540), "?");
  // A ground object deleted since the run saw it is never read.
  BaseObject::Free(ground);
  s->wheelGroundRecords[0].groundObject = reinterpret_cast<BaseObject*>(0x10);
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_EQ(bc->GetString(2540), "-");
}

TEST_F(PublishTest, NeedlesLightAndSprings) {
  BaseObject* body = bc->GetObjectLink(RIG_BODY, doc);
  BaseObject* needles[4];
  for (LONG k = 0; k < 4; ++k) {
    needles[k] = NewObject(Onull, body);
    needles[k]->SetRelRot(Vector(0.5, 0.1, 0.2));
    bc->SetLink(2030 + 5 * k, needles[k]);
  }
  BaseObject* light = NewObject(Onull, body);
  bc->SetLink(CAR_BRAKE_LIGHT_LINK, light);
  BaseObject* spring = NewObject(Ohelix);
  bc->SetLink(CAR_SPRING_LINKS + 1, spring);
  BaseObject* top = bc->GetObjectLink(RIG_SUSPENSION_TOP + 1, doc);
  spring->SetMg(top->GetMg() * MatrixMove(Vector(0, -12, 5)));

  s->ramps[kRampSteer].current = 0.5;
  s->ramps[kRampThrottle].current = 1.0;
  s->ramps[kRampBrake].current = 0.05;  // below the light's 0.1
  s->ramps[kRampHandbrake].current = 1.0;
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(needles[0]->GetRelRot(), Vector(0.5, 0.1, -(bc->GetReal(2031) * 0.5)));
  EXPECT_DOUBLE_EQ(needles[1]->GetRelRot().y, pi / 3 - bc->GetReal(2036));
  EXPECT_DOUBLE_EQ(needles[2]->GetRelRot().y, bc->GetReal(2041) * 0.05 - 2 * pi / 3);
  EXPECT_DOUBLE_EQ(needles[3]->GetRelRot().y, bc->GetReal(2046));
  EXPECT_EQ(needles[3]->GetRelRot().z, 0.2);  // the other components stay
  EXPECT_EQ(light->GetEditorMode(), MODE_OFF);
  EXPECT_EQ(light->GetRenderMode(), MODE_OFF);
  EXPECT_NEAR(spring->GetDataInstance()->GetReal(PRIM_HELIX_HEIGHT), 13.0, 1e-9);

  s->ramps[kRampBrake].current = 0.5;
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(light->GetEditorMode(), MODE_ON);
  // Outside a run the light keeps its state.
  s->ramps[kRampBrake].current = 0.0;
  Publish(0);
  EXPECT_EQ(light->GetEditorMode(), MODE_ON);
  // With the Sim's display switch off nothing of the rig moves, the outputs do.
  s->ramps[kRampSteer].current = -1.0;
  Publish(PUBLISH_RUNNING, 1, 0);
  EXPECT_EQ(needles[0]->GetRelRot().z, -(bc->GetReal(2031) * 0.5));
  EXPECT_EQ(light->GetEditorMode(), MODE_ON);
  EXPECT_EQ(bc->GetReal(2507), -1.0);
}

TEST_F(PublishTest, SkidMarksOnlyAboveTheMinimumSpeed) {
  SplineObject* rail = Rail(2);
  bc->SetBool(CAR_SKID_SLIP_BAND, false);
  bc->SetBool(CAR_SKID_CONTACT_ONLY, false);
  s->wheelGroundRecords[2].height = 3.0;
  for (double v : {0.0, 0.2}) {
    Moving(v);
    EXPECT_EQ(Publish(PUBLISH_RUNNING), 0);
  }
  EXPECT_EQ(rail->GetPointCount(), 0);
  Moving(0.25);
  EXPECT_EQ(Publish(0), 0);  // not running
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0x10 << 2);
  ASSERT_EQ(rail->GetPointCount(), 1);
  EXPECT_EQ(rail->GetSegmentCount(), 1);  // the first point opens segment 1
  EXPECT_EQ(rail->GetPointR()[0], Vector(-80, 3.0, 100));
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(rail->GetPointCount(), 2);
  EXPECT_EQ(rail->GetSegmentR()[0].cnt, 2);
  // A full rail stops growing.
  bc->SetLong(CAR_SKID_MAX_POINTS, 2);
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0);
  EXPECT_EQ(rail->GetPointCount(), 2);
}

TEST_F(PublishTest, SkidMarkSlipBandAndSegments) {
  SplineObject* rail = Rail(0);
  bc->SetBool(CAR_SKID_SLIP_BAND, true);  // band -0.25 < slip < 0.5
  bc->SetBool(CAR_SKID_CONTACT_ONLY, true);
  s->dynamics.tyreOutput[0].contact = 1;
  s->wheelContactAtAdvance[0] = 1;
  Moving(10.0);
  const Real radius = bc->GetReal(CAR_WHEEL_DIAMETER_FRONT) / 2;

  s->dynamics.wheelSlip.saved[0] = 0.1;  // inside the band: no mark
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0);
  // Outside the band on an empty rail: segment 1, never segment 0.
  s->dynamics.wheelSlip.saved[0] = 0.8;
  s->wheelSlipAtAdvance[0] = 0.8;
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0x10);
  ASSERT_EQ(rail->GetTagDataCount(Tsegment), 1);
  EXPECT_EQ(rail->GetSegmentR()[0].cnt, 1);
  EXPECT_EQ(rail->GetPointR()[0], Vector(-80, 32 - radius, 100));  // the bottom of the wheel
  Publish(PUBLISH_RUNNING);
  // Coming out of the band starts a new segment.
  s->wheelSlipAtAdvance[0] = 0.0;
  Publish(PUBLISH_RUNNING);
  ASSERT_EQ(rail->GetTagDataCount(Tsegment), 2);
  EXPECT_EQ(rail->GetSegmentR()[0].cnt, 2);
  EXPECT_EQ(rail->GetSegmentR()[1].cnt, 1);
  EXPECT_EQ(rail->GetPointCount(), 3);
  // A wheel off the ground lays nothing with contact-only marks.
  s->dynamics.tyreOutput[0].contact = 0;
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0);
}

TEST_F(PublishTest, SkidMarkSweepWithTwoRails) {
  BaseObject* sweep = BuildSkidMarkSweep(doc, nullptr, 1, 20.0, true);
  ASSERT_NE(sweep, nullptr);
  bc->SetLink(CAR_SKID_LINKS + 1, sweep);
  bc->SetBool(CAR_SKID_SLIP_BAND, false);
  bc->SetBool(CAR_SKID_CONTACT_ONLY, false);
  Moving(5.0);
  EXPECT_EQ(Publish(PUBLISH_RUNNING), 0x20);
  SplineObject* second = nullptr;
  SplineObject* rail = GetSweepRail(sweep, &second);
  ASSERT_NE(second, nullptr);
  const Real half = bc->GetReal(CAR_WHEEL_WIDTH_FRONT) / 2;
  EXPECT_EQ(rail->GetPointR()[0], Vector(80 + half, 0, 100));
  EXPECT_EQ(second->GetPointR()[0], Vector(80 - half, 0, 100));
}

// An extra wheel's skid marks are as wide as its group's tyres, steered or not.
TEST_F(PublishTest, ExtraWheelSkidMarksTakeTheirGroupsWidth) {
  BaseTag* tag = AddTag(car, ID_ROTELIX, ID_CAR);
  bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 20.0);
  bc->SetReal(CAR_WHEEL_WIDTH_REAR, 40.0);
  bc->SetBool(CAR_SKID_SLIP_BAND, false);
  bc->SetBool(CAR_SKID_CONTACT_ONLY, false);
  s->wheelCount = 6;
  for (const LONG word : {0, 1, 256, 257}) {
    SCOPED_TRACE(word);
    BaseObject* sweep = BuildSkidMarkSweep(doc, nullptr, 4, 20.0, true);
    ASSERT_NE(sweep, nullptr);
    tag->GetDataInstance()->SetLink(WHEELRIG_SKID_MARKS + 4, sweep);
    bc->SetLong(RIG_AXLE_TYPE + 2, word);
    Moving(5.0);
    s->wheelHubMatrices[4] = Matrix(Vector(-80, 32, -300), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    EXPECT_EQ(Publish(PUBLISH_RUNNING) & (0x10 << 4), 0x10 << 4);
    SplineObject* second = nullptr;
    SplineObject* rail = GetSweepRail(sweep, &second);
    ASSERT_NE(second, nullptr);
    const Real half = (word & 1 ? 40.0 : 20.0) / 2;
    EXPECT_EQ(rail->GetPointR()[0], Vector(-80 + half, 0, -300));
    EXPECT_EQ(second->GetPointR()[0], Vector(-80 - half, 0, -300));
  }
}

class DeformTest : public PublishTest {
 protected:
  // An FFD of nx x ny x nz points and an outline whose ring points all moved
  // by (0, 0, -10) from rest.
  PointObject* Ffd(LONG nx, LONG ny, LONG nz) {
    auto* ffd = static_cast<PointObject*>(NewObject(Offd));
    BaseContainer* fc = ffd->GetDataInstance();
    fc->SetVector(FFDOBJECT_SIZE, Vector(200, 100, 400));
    fc->SetLong(FFDOBJECT_SUBX, nx);
    fc->SetLong(FFDOBJECT_SUBY, ny);
    fc->SetLong(FFDOBJECT_SUBZ, nz);
    ffd->Message(MSG_UPDATE);
    bc->SetLink(CAR_DEFORMER_LINK, ffd);
    const LONG ring = std::max<LONG>(2 * (nx + nz - 2), 1);
    CollisionOutline& o = s->collisionOutline;
    o.deformPointCount = ring;
    o.deformPoints = static_cast<Vec3*>(GeAlloc(2 * ring * sizeof(Vec3)));
    o.deformNeighbourCount = 2 * (nx + nz - 2);
    o.deformNeighbours = static_cast<int32*>(GeAlloc(ring * sizeof(int32)));
    for (LONG k = 0; k < ring; ++k) {
      o.deformPoints[k] = Vec3(0, 0, -10);
      o.deformNeighbours[k] = k;
    }
    s->flags = CARFLAG_CRUMPLE_TAG;
    bc->SetReal(CAR_DEFORMATION_FACTOR, 1.0);
    return ffd;
  }
  std::vector<Vector> Points(const PointObject* p) {
    return std::vector<Vector>(p->GetPointR(), p->GetPointR() + p->GetPointCount());
  }
};

TEST_F(DeformTest, OnTheAnimationPassOnlyOnImpact) {
  PointObject* ffd = Ffd(3, 3, 3);
  const std::vector<Vector> grid = Points(ffd);
  ffd->GetPointW()[0] = Vector(1, 2, 3);  // any change shows a rewrite
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_EQ(ffd->GetPointR()[0], Vector(1, 2, 3));
  s->impactValue = 0.5;
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  EXPECT_TRUE(ffd->GetDeformMode());
  // Top layer (y index 2) of the ring moved back by 10; the middle column
  // (x 1, z 1) is no ring point; the lower layers hang from the top.
  const Vector* p = ffd->GetPointR();
  auto at = [&](LONG x, LONG y, LONG z) { return p[x + 3 * (y + 3 * z)]; };
  EXPECT_EQ(at(0, 2, 0), grid[0 + 3 * (2 + 0)] + Vector(0, 0, -10));
  EXPECT_EQ(at(1, 2, 1), grid[1 + 3 * (2 + 3)]);
  EXPECT_EQ(at(0, 0, 0).z, at(0, 2, 0).z);
  EXPECT_EQ(at(0, 0, 0).y, -50.0);
  // Outside a run nothing deforms; without the tag neither.
  ffd->GetPointW()[0] = Vector(1, 2, 3);
  Publish(0);
  s->flags = 0;
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(ffd->GetPointR()[0], Vector(1, 2, 3));
}

// Layers of the top row pushed closer than 0.4 of their spacing keep that gap
// and buckle up by the lift, which shrinks by 0.9 per layer; the columns
// hang from their top points down to the box's bottom.
TEST_F(DeformTest, CrushedLayersKeepAGapAndBuckleUp) {
  PointObject* ffd = Ffd(3, 2, 5);  // layers 100 apart along z: gap 40
  bc->SetReal(CAR_FFD_LIFT, 0.5);   // first lift 50
  CollisionOutline& o = s->collisionOutline;
  // Only the front row (ring entries 4, 5, 6) is pushed back, by 150.
  for (LONG k = 0; k < 2 * o.deformPointCount; ++k) o.deformPoints[k] = Vec3();
  for (LONG k : {4, 5, 6}) o.deformPoints[k] = Vec3(0, 0, -150);
  s->impactValue = 1.0;
  Publish(PUBLISH_RUNNING);
  const Vector* p = ffd->GetPointR();
  auto at = [&](LONG x, LONG y, LONG z) { return p[x + 3 * (y + 2 * z)]; };
  for (LONG x = 0; x < 3; ++x) {
    SCOPED_TRACE(x);
    const Real px = -100.0 + 100.0 * x;
    EXPECT_EQ(at(x, 1, 4), Vector(px, 50, 50));
    EXPECT_EQ(at(x, 1, 3), Vector(px, 50 + 50, 50 - 40));
    EXPECT_EQ(at(x, 1, 2), Vector(px, 50 + 45, 10 - 40));
    EXPECT_EQ(at(x, 1, 1), Vector(px, 50, -100));  // the rear half is not crushed
    EXPECT_EQ(at(x, 0, 3), Vector(px, -50, 10));   // the bottom stays where it was
  }
}

// A mesh binder moves each deformed point by its outline neighbour's travel
// times the factor; a neighbour outside the outline leaves the point alone.
TEST_F(DeformTest, MeshBinderFollowsTheNeighbours) {
  PolygonObject* original = CreatePolygonObject(doc, car, nullptr, "orig", 10, 10, 1, 0);
  PolygonObject* deformed = CreatePolygonObject(doc, car, nullptr, "def", 10, 10, 1, 0);
  bc->SetLink(CAR_DEFORMER_LINK, CreateMeshBinder(doc, car, original, deformed, 0.0));
  const LONG n = deformed->GetPointCount();
  ASSERT_GE(n, 4);
  CollisionOutline& o = s->collisionOutline;
  o.deformPointCount = 2;
  o.deformPoints = static_cast<Vec3*>(GeAlloc(4 * sizeof(Vec3)));
  o.deformPoints[0] = Vec3(0, 0, -10);
  o.deformPoints[1] = Vec3(4, 0, 0);
  o.deformPoints[2] = Vec3(0, 0, 0);  // rest positions
  o.deformPoints[3] = Vec3(0, 0, 0);
  o.deformNeighbourCount = n;
  o.deformNeighbours = static_cast<int32*>(GeAlloc(n * sizeof(int32)));
  for (LONG m = 0; m < n; ++m) o.deformNeighbours[m] = m % 2;
  o.deformNeighbours[2] = 2;   // past the outline
  o.deformNeighbours[3] = -1;  // none
  s->flags = CARFLAG_CRUMPLE_TAG;
  bc->SetReal(CAR_DEFORMATION_FACTOR, 0.5);
  Publish(PUBLISH_RUNNING);
  const Vector* src = original->GetPointR();
  const Vector* dst = deformed->GetPointR();
  EXPECT_EQ(dst[0], src[0] + Vector(0, 0, -5));
  EXPECT_EQ(dst[1], src[1] + Vector(2, 0, 0));
  EXPECT_EQ(dst[2], src[2]);
  EXPECT_EQ(dst[3], src[3]);
  // A deformed mesh of another point count is left alone.
  o.deformNeighbourCount = n - 1;
  deformed->GetPointW()[0] = Vector(7, 7, 7);
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(dst[0], Vector(7, 7, 7));
  FreeCollisionOutline(o);
}

// Attached parts ride on the outline frame at their point, blended from
// their rest matrix by weight and the two factors; only while a deformer is
// linked.
TEST_F(DeformTest, AttachedPartsFollowTheOutline) {
  PointObject* ffd = Ffd(3, 2, 3);
  BaseObject* group = NewObject(Onull);
  BaseObject* part = NewObject(Onull, group);
  bc->SetLink(CAR_PARTS_LINK, group);
  bc->SetMatrix(RIG_PART_MATRICES, Matrix(Vector(0, 0, 100), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)));
  bc->SetReal(CAR_PARTS_FACTOR_A, 1.0);
  bc->SetReal(CAR_PARTS_FACTOR_B, 1.0);
  CollisionOutline& o = s->collisionOutline;
  // A square outline; the part sits on point 0, pushed back 10 from rest.
  const Vector square[4] = {Vector(-50, 0, 100), Vector(50, 0, 100), Vector(50, 0, -100), Vector(-50, 0, -100)};
  GeFree(o.deformPoints);
  o.deformPointCount = 4;
  o.deformPoints = static_cast<Vec3*>(GeAlloc(8 * sizeof(Vec3)));
  for (LONG k = 0; k < 4; ++k) {
    o.deformPoints[k] = VectorToHostOrder(square[k] + (k == 0 ? Vector(0, 0, -10) : Vector()));
    o.deformPoints[4 + k] = VectorToHostOrder(square[k]);
  }
  o.deformNeighbourCount = 0;  // the FFD stays a plain grid
  o.attachedPartCount = 1;
  o.attachedParts = new (GeAlloc(sizeof(AttachedPart))) AttachedPart{{0, 0.5, AxisFrame()}, part};
  AxisFrame frameRecord;
  GetPolylineFrame(frameRecord, o.deformPoints, 4, 0, Vec3(0, 1, 0));
  const Matrix frame = AxisFrameToMatrix(frameRecord);
  s->impactValue = 1.0;
  Publish(PUBLISH_RUNNING);
  const Matrix m = part->GetMl();
  // Half way from the rest offset to the frame's origin.
  EXPECT_NEAR((m.off - (Vector(0, 0, 100) + (frame.off - Vector(0, 0, 100)) * 0.5)).GetLength(), 0.0, 1e-9);
  EXPECT_NEAR(m.v1.GetLength(), 1.0, 1e-9);

  // Without a deformer the part stays where it is.
  part->SetMl(Matrix());
  bc->SetLink(CAR_DEFORMER_LINK, nullptr);
  Publish(PUBLISH_RUNNING);
  EXPECT_EQ(part->GetMl().off, Vector());
  (void)ffd;
  FreeCollisionOutline(o);
}

TEST_F(DeformTest, OddGridsAndBadNeighboursAreSafe) {
  for (LONG n : {1, 2}) {
    SCOPED_TRACE(n);
    PointObject* ffd = Ffd(n, n, n);
    Publish(PUBLISH_RUNNING);  // counts of 1 divide by nothing
    for (const Vector& v : Points(ffd)) EXPECT_TRUE(std::isfinite(v.x + v.y + v.z));
    FreeCollisionOutline(s->collisionOutline);
  }
  PointObject* ffd = Ffd(3, 2, 3);
  s->collisionOutline.deformNeighbours[1] = 99;  // no such outline point
  s->collisionOutline.deformNeighbours[2] = -1;
  Publish(PUBLISH_RUNNING);
  for (const Vector& v : Points(ffd)) EXPECT_TRUE(std::isfinite(v.x + v.y + v.z));
  FreeCollisionOutline(s->collisionOutline);
}

TEST_F(PublishTest, OutputObjectMirrorsTheOutputs) {
  s->velocity = Vec3(0, 0, 12.5);
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);  // the outputs exist before the object is made
  BaseObject* out = CreateOutputObject(doc, nullptr, *bc);
  ASSERT_NE(out, nullptr);
  bc->SetLink(CAR_OUTPUT_OBJECT, out);
  s->engineRpm = 2500;
  Publish(PUBLISH_RUNNING | PUBLISH_ANIMATION);
  // The object's entry that mirrors car parameter source.
  auto mirrored = [&](LONG source, GeData& value) {
    DynamicDescription* dd = out->GetDynamicDescription();
    void* h = dd->BrowseInit();
    DescID id;
    const BaseContainer* settings = nullptr;
    LONG seen = 0;
    bool found = false;
    while (dd->BrowseGetNext(h, &id, &settings)) {
      ++seen;
      if (settings->GetLong(20) != source) continue;
      EXPECT_TRUE(out->GetParameter(id, value));
      found = true;
    }
    dd->BrowseFree(h);
    EXPECT_GT(seen, 40);
    return found;
  };
  GeData value;
  ASSERT_TRUE(mirrored(2500, value));
  EXPECT_EQ(value.GetReal(), 45.0);
  ASSERT_TRUE(mirrored(2502, value));
  EXPECT_EQ(value.GetLong(), 2500);
  // Without the object flag the car's output moves on, the object keeps its values.
  s->engineRpm = 10;
  Publish(PUBLISH_RUNNING, 1, 1, 0);
  EXPECT_EQ(bc->GetLong(2502), 10);
  ASSERT_TRUE(mirrored(2502, value));
  EXPECT_EQ(value.GetLong(), 2500);
}

}  // namespace
