#include "host_draw.h"
#include "rotelix_test_support.h"

namespace {

class TrackAnimTest : public RotelixTest {
 protected:
  // A built rig at time 0 on the default car.
  BaseTag* RiggedTag(LONG rollers = 0) {
    car = NewCar();
    BaseTag* tag = NewTag(car);
    BuildRig(tag, rollers);
    Evaluate(tag, 0.0);
    return tag;
  }
  BaseObject* CarLink(LONG id) { return car->GetDataInstance()->GetObjectLink(id, doc); }
  std::vector<BaseObject*> Chain(BaseTag* tag, LONG side) {
    std::vector<BaseObject*> out;
    for (BaseObject* op = Link(tag, ROTELIX_TREAD_LINK + side); op; op = op->GetNext()) out.push_back(op);
    return out;
  }
  // Where a tread link at fraction f of the track stands.
  Vector TrackPoint(SplineObject* sp, Real f) {
    SplineLengthData* len = SplineLengthData::Alloc();
    EXPECT_TRUE(len->Init(sp, 0));
    const Vector p = sp->GetSplinePoint(len->UniformToNatural(f), 0);
    SplineLengthData::Free(len);
    return p;
  }
  void MoveAxle(LONG axle, const Vector& by) {
    for (LONG s = 0; s < 2; ++s) {
      BaseObject* hub = CarLink(RIG_HUB + 2 * axle + s);
      hub->SetRelPos(hub->GetRelPos() + by);
    }
  }
  BaseObject* car = nullptr;
};

TEST_F(TrackAnimTest, NothingHappensWhileTheRigIsOff) {
  BaseTag* tag = RiggedTag();
  BaseObject* front = Link(tag, ROTELIX_FRONT_LINK + 1);
  Bc(tag).SetBool(ROTELIX_ON, false);
  front->SetRelPos(Vector(1, 2, 3));
  Evaluate(tag, 0.0);
  ExpectNear(front->GetRelPos(), Vector(1, 2, 3));
  car->SetRelPos(Vector(0, 0, 50));
  Evaluate(tag, 1.0);
  EXPECT_EQ(State(tag).isAnimated, 0);
  EXPECT_EQ(State(tag).treadOffset[0], 0.0);
}

TEST_F(TrackAnimTest, NothingMovesBeforeTheFirstRebuild) {
  car = NewCar();
  BaseTag* tag = NewTag(car);
  Bc(tag).SetBool(ROTELIX_ON, true);
  Press(tag, ROTELIX_BUILD_FRONT);
  BaseObject* front = Link(tag, ROTELIX_FRONT_LINK);
  front->SetRelPos(Vector(1, 2, 3));
  Evaluate(tag, 0.5);
  ExpectNear(front->GetRelPos(), Vector(1, 2, 3));
  EXPECT_EQ(State(tag).isAnimated, 0);
}

TEST_F(TrackAnimTest, ResetTakesTheEditedRestPoseAndMirrorsIt) {
  BaseTag* tag = RiggedTag(2);
  Link(tag, ROTELIX_FRONT_LINK + 1)->SetRelPos(Vector(70, 5, 230));
  Link(tag, ROTELIX_REAR_LINK + 1)->SetRelPos(Vector(70, 0, 180));  // too close to the front pair
  Link(tag, ROTELIX_ROLLER_LINK + 1)->SetRelPos(Vector(70, 20, 140));  // overlaps the rear pair
  Link(tag, ROTELIX_ROLLER_LINK + 3)->SetRelPos(Vector(70, 20, 300));
  Evaluate(tag, 0.0);

  ExpectNear(Bc(tag).GetVector(ROTELIX_FRONT_REST), Vector(80, 5, 230));
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK + 1)->GetRelPos(), Vector(80, 5, 230));
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK)->GetRelPos(), Vector(-80, 5, 230));
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK)->GetRelRot(), Vector(0, 0, 0));
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK + 1)->GetRelRot(), Vector(pi, 0, 0));
  // The rear pair keeps one radius of each pair from the front pair; the
  // stored rest position is what the user set.
  ExpectNear(Bc(tag).GetVector(ROTELIX_REAR_REST), Vector(80, 0, 180));
  ExpectNear(Link(tag, ROTELIX_REAR_LINK)->GetRelPos(), Vector(-80, 0, 170));
  // Rollers follow at least one diameter apart.
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK)->GetRelPos(), Vector(-80, 20, 190));
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK + 3)->GetRelPos(), Vector(80, 20, 300));
  ExpectNear(Link(tag, ROTELIX_TRACK_LINK)->GetRelPos(), Vector(-80, 0, 0));
  ExpectNear(Link(tag, ROTELIX_TRACK_LINK + 1)->GetRelPos(), Vector(80, 0, 0));
}

TEST_F(TrackAnimTest, BackAtTimeZeroTheStoredRestPoseReturns) {
  BaseTag* tag = RiggedTag();
  Evaluate(tag, 1.0 / 30);
  EXPECT_EQ(State(tag).isAnimated, 1);
  Link(tag, ROTELIX_FRONT_LINK + 1)->SetRelPos(Vector(0, 99, 999));
  Evaluate(tag, 0.0);
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK + 1)->GetRelPos(), Vector(80, 0, 210));
  ExpectNear(Bc(tag).GetVector(ROTELIX_FRONT_REST), Vector(80, 0, 210));
  EXPECT_EQ(State(tag).isAnimated, 0);
}

TEST_F(TrackAnimTest, TreadLinksAreSpreadEvenlyFromTheOffset) {
  car = NewCar();
  BaseTag* tag = NewTag(car);
  Bc(tag).SetReal(ROTELIX_TREAD_OFFSET, 0.5);
  BuildRig(tag);
  Evaluate(tag, 0.0);
  const WheelRigState& st = State(tag);
  const LONG n = static_cast<LONG>(st.restLength / 20.0);
  ASSERT_GT(n, 10);
  EXPECT_EQ(st.treadLinkCount, n);
  for (LONG side = 0; side < 2; ++side) {
    std::vector<BaseObject*> chain = Chain(tag, side);
    ASSERT_EQ(static_cast<LONG>(chain.size()), n);
    EXPECT_EQ(chain[0]->GetType(), Onull);
    for (size_t i = 1; i < chain.size(); ++i) {
      EXPECT_EQ(chain[i]->GetType(), Oinstance);
      EXPECT_EQ(chain[i]->GetDataInstance()->GetObjectLink(INSTANCEOBJECT_LINK, doc), chain[0]);
    }
    const Real start = 0.5 * 20.0 / st.restLength;
    EXPECT_NEAR(st.treadOffset[side], start, 1e-15);
    for (LONG i : {LONG(0), LONG(1), n - 1})
      ExpectNear(chain[i]->GetRelPos(), TrackPoint(Track(tag, 0), start + static_cast<Real>(i) / n), 1e-9);
    const Matrix m = chain[3]->GetMl();
    ExpectNear(m.v1, Vector(-1, 0, 0));
    EXPECT_NEAR(m.v3.GetLength(), 1.0, 1e-9);
    EXPECT_NEAR(Dot(m.v2, m.v3), 0.0, 1e-9);
  }
}

TEST_F(TrackAnimTest, ShorterTrackDropsSurplusInstancesUpToAnotherObject) {
  BaseTag* tag = RiggedTag();
  const LONG n = State(tag).treadLinkCount;
  Bc(tag).SetReal(ROTELIX_TREAD_LENGTH, 40.0);
  Evaluate(tag, 0.0);
  const LONG half = State(tag).treadLinkCount;
  EXPECT_EQ(half, static_cast<LONG>(State(tag).restLength / 40.0));
  EXPECT_EQ(static_cast<LONG>(Chain(tag, 0).size()), half);

  // A user's object in the chain stops the removal.
  Bc(tag).SetReal(ROTELIX_TREAD_LENGTH, 20.0);
  Evaluate(tag, 0.0);
  ASSERT_EQ(static_cast<LONG>(Chain(tag, 1).size()), n);
  BaseObject* user = NewNull(nullptr, "user");
  doc->InsertObject(user, Track(tag, 1), Chain(tag, 1)[half + 1]);
  Bc(tag).SetReal(ROTELIX_TREAD_LENGTH, 40.0);
  Evaluate(tag, 0.0);
  std::vector<BaseObject*> chain = Chain(tag, 1);
  ASSERT_EQ(static_cast<LONG>(chain.size()), n + 1 - 2);  // the two instances before it went
  EXPECT_EQ(chain[half], user);
  EXPECT_EQ(chain[half + 1]->GetType(), Oinstance);
}

TEST_F(TrackAnimTest, TreadLinkCount) {
  EXPECT_EQ(TreadLinkCount(1000.0, 20.0), 50);
  EXPECT_EQ(TreadLinkCount(1000.0, 30.0), 33);
  EXPECT_EQ(TreadLinkCount(10.0, 20.0), 0);  // shorter than one link
  EXPECT_EQ(TreadLinkCount(1000.0, 0.0), 0);
  EXPECT_EQ(TreadLinkCount(1000.0, -20.0), 0);
  EXPECT_EQ(TreadLinkCount(1000.0, 1e-12), kMaxTreadLinks);
}

TEST_F(TrackAnimTest, NoTreadLinksForANonPositiveOrTooLongLink) {
  for (Real length : {0.0, -5.0, 1e6}) {
    BaseTag* tag = RiggedTag();
    const size_t before = Chain(tag, 0).size();
    Bc(tag).SetReal(ROTELIX_TREAD_LENGTH, length);
    Evaluate(tag, 0.0);
    EXPECT_EQ(State(tag).treadLinkCount, 0) << length;
    EXPECT_EQ(Chain(tag, 0).size(), before) << length;  // nothing made or removed
    Evaluate(tag, 1.0 / 30);
    EXPECT_TRUE(std::isfinite(Chain(tag, 0)[0]->GetRelPos().z));
  }
}

TEST_F(TrackAnimTest, TreadLinksAdvanceByTheDistanceTheCarMoved) {
  BaseTag* tag = RiggedTag(1);
  const WheelRigState& st = State(tag);
  const Real start = st.treadOffset[0];
  const Real rest = st.restLength;
  car->SetRelPos(Vector(0, 0, 30));
  Evaluate(tag, 1.0 / 30);
  EXPECT_EQ(st.isAnimated, 1);
  EXPECT_NEAR(st.treadOffset[0], start + 30.0 / rest, 1e-12);
  EXPECT_NEAR(st.treadOffset[1], start + 30.0 / rest, 1e-12);
  const LONG n = st.treadLinkCount;
  ExpectNear(Chain(tag, 0)[2]->GetRelPos(), TrackPoint(Track(tag, 0), start + 30.0 / rest + 2.0 / n), 1e-9);
  ExpectNear(Chain(tag, 1)[2]->GetRelPos(), TrackPoint(Track(tag, 1), start + 30.0 / rest + 2.0 / n), 1e-9);

  // Sprocket radius 30: one radian; every wheel turns by its own radius
  // (track radius = radius - inset 5).
  EXPECT_NEAR(st.sprocketAngle[0], 1.0, 1e-12);
  ExpectNear(CarLink(RIG_HUB + 0)->GetRelRot(), Vector(0, -1.2, 0), 1e-12);
  ExpectNear(CarLink(RIG_HUB + 1)->GetRelRot(), Vector(pi, 1.2, 0), 1e-12);
  ExpectNear(CarLink(RIG_HUB + 2)->GetRelRot(), Vector(0, -1.2, 0), 1e-12);
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK)->GetRelRot(), Vector(0, -1.2, 0), 1e-12);
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK + 1)->GetRelRot(), Vector(pi, 6.0, 0), 1e-12);
  // The track keeps its length: the tensioner stays at rest.
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK)->GetRelPos(), Vector(-80, 0, 210), 1e-9);
}

TEST_F(TrackAnimTest, TurningAHubLeavesSpinnerAndSuspensionInPlace) {
  BaseTag* tag = RiggedTag();
  const Matrix spinner = CarLink(RIG_SPINNER + 1)->GetMg();
  const Matrix bottom = CarLink(RIG_SUSPENSION_BOTTOM + 1)->GetMg();
  Evaluate(tag, 1.0 / 30);
  const Matrix s = CarLink(RIG_SPINNER + 1)->GetMg(), b = CarLink(RIG_SUSPENSION_BOTTOM + 1)->GetMg();
  for (const auto& [got, want] : {std::pair{s, spinner}, std::pair{b, bottom}}) {
    ExpectNear(got.off, want.off, 1e-9);
    ExpectNear(got.v2, want.v2, 1e-9);
    ExpectNear(got.v3, want.v3, 1e-9);
  }
  ExpectNear(CarLink(RIG_HUB + 1)->GetRelRot(), Vector(pi, 0, 0), 1e-12);
}

TEST_F(TrackAnimTest, SprocketModes) {
  // 2: the sprocket axle's wheels are left to the car.
  BaseTag* tag = RiggedTag();
  Bc(tag).SetLong(ROTELIX_SPROCKET_MODE, 2);
  CarLink(kSprocketHub)->SetRelRot(Vector(0, 0.5, 0));
  Evaluate(tag, 1.0 / 30);
  ExpectNear(CarLink(kSprocketHub)->GetRelRot(), Vector(0, 0.5, 0));
  EXPECT_NEAR(State(tag).sprocketAngle[0], -0.5, 1e-15);
  ExpectNear(CarLink(RIG_HUB)->GetRelRot(), Vector(0, 0.6, 0), 1e-12);
  const Real travel = 30.0 * -0.5 / State(tag).restLength;
  EXPECT_NEAR(State(tag).treadOffset[0], travel, 1e-12);

  // 0: the angle comes from the sprocket as well. The sprocket wheels are
  // where it is read, so the rig never writes them: frame after frame the
  // angle stays the one the sprocket was given, and the other wheels turn by
  // it times their ratio 30 / (30 - 5).
  Bc(tag).SetLong(ROTELIX_SPROCKET_MODE, 0);
  CarLink(kSprocketHub)->SetRelRot(Vector(0, 0.1, 0));
  for (LONG f = 2; f <= 11; ++f) Evaluate(tag, f / 30.0);
  EXPECT_NEAR(State(tag).sprocketAngle[0], -0.1, 1e-15);
  ExpectNear(CarLink(kSprocketHub)->GetRelRot(), Vector(0, 0.1, 0), 1e-12);
  ExpectNear(CarLink(RIG_HUB)->GetRelRot(), Vector(0, 0.12, 0), 1e-12);
}

TEST_F(TrackAnimTest, TensionerTakesUpALongerTrack) {
  struct Case {
    Bool rearTensioner;
    Real move;   // rear road axle along z
    LONG link;   // the tensioner's objects
    Real restZ;  // and where they stand at rest
    Real lowZ, highZ;
  } cases[] = {
      {false, -200.0, ROTELIX_FRONT_LINK, 210.0, 200.0, 200.0},  // far longer: the end of the range
      {false, -4.0, ROTELIX_FRONT_LINK, 210.0, 200.0, 210.0},
      {true, -200.0, ROTELIX_REAR_LINK, -210.0, -200.0, -200.0},
  };
  for (const Case& c : cases) {
    car = NewCar();
    BaseTag* tag = NewTag(car);
    Bc(tag).SetBool(ROTELIX_REAR_TENSIONER, c.rearTensioner);
    Bc(tag).SetBool(ROTELIX_FRONT_TENSIONER, !c.rearTensioner);
    BuildRig(tag);
    Evaluate(tag, 0.0);
    MoveAxle(1, Vector(0, 0, c.move));
    Evaluate(tag, 1.0 / 30);
    for (LONG s = 0; s < 2; ++s) {
      const Real z = Link(tag, c.link + s)->GetRelPos().z;
      EXPECT_GE(z, std::min(c.lowZ, c.highZ) - 1e-9) << c.move;
      EXPECT_LE(z, std::max(c.lowZ, c.highZ) + 1e-9) << c.move;
      EXPECT_NE(z, c.restZ);
    }
  }
}

// The tensioner's worked value: the front pair rests at z 210 with a travel
// of 10, so its range starts at 200. A track 5 longer than at rest sets it at
// 200 + 10 - 0.4 * 5 = 208.
TEST_F(TrackAnimTest, TensionerWorkedValue) {
  BaseTag* tag = RiggedTag();
  State(tag).restLength -= 5.0;
  Evaluate(tag, 1.0 / 30);
  for (LONG s = 0; s < 2; ++s) EXPECT_NEAR(Link(tag, ROTELIX_FRONT_LINK + s)->GetRelPos().z, 208.0, 1e-9) << s;
}

// The sag's worked value, with no tensioner to take up the difference: the
// one free span runs from the rear pair to the front pair, 420 long, so its
// half s and the sum of halves are both 210. A track 5 short of its rest
// length stretches the half to s2 = 215 and drops the middle by
// 0.7 * sqrt(215^2 - 210^2) = 32.27. Road wheels whose top lies below the
// middle point hold it up: the nearest one along z is the floor.
TEST_F(TrackAnimTest, SagWorkedValueAndTheRoadWheelFloor) {
  struct Case {
    Real wheelY;    // the road wheels' height: their top is wheelY + 30 - 5
    Real shortBy;   // how much shorter than at rest
    Real expectY;   // the middle point afterwards
  } cases[] = {
      {30.0, 5.0, 25.0 - 0.7 * std::sqrt(215.0 * 215.0 - 210.0 * 210.0)},
      {30.0, 200.0, 25.0 - 0.7 * std::sqrt(410.0 * 410.0 - 210.0 * 210.0)},  // tops at 55: above it
      {-10.0, 200.0, 15.0},  // tops at 15, below it: the rear wheel (z -120) is the nearer one
  };
  for (const Case& c : cases) {
    car = NewCar({{c.wheelY, 150.0}, {c.wheelY, -120.0}});
    BaseTag* tag = NewTag(car);
    Bc(tag).SetBool(ROTELIX_FRONT_TENSIONER, false);
    Bc(tag).SetBool(ROTELIX_REAR_TENSIONER, false);
    BuildRig(tag);
    Evaluate(tag, 0.0);
    const LONG mid = State(tag).wheels[4].midIndex;
    ASSERT_EQ(State(tag).wheels[4].key, -2);
    ASSERT_NEAR(State(tag).sagHalfLengthSum, 210.0, 1e-9);
    ExpectNear(Track(tag, 0)->GetPointR()[mid], Vector(0, 25, 0), 1e-9);
    State(tag).restLength += c.shortBy;
    Evaluate(tag, 1.0 / 30);
    for (LONG s = 0; s < 2; ++s) {
      const Vector m = Track(tag, s)->GetPointR()[mid];
      EXPECT_NEAR(m.y, c.expectY, 1e-9) << c.wheelY << " " << c.shortBy;
      EXPECT_NEAR(m.z, 0.0, 1e-9);
    }
  }
}

TEST_F(TrackAnimTest, ShorterTrackPushesTheTensionerOutAndSags) {
  BaseTag* tag = RiggedTag();
  const LONG mid = State(tag).wheels[4].midIndex;
  ASSERT_EQ(State(tag).wheels[4].key, -2);
  const Vector restMid = Track(tag, 0)->GetPointR()[mid];
  MoveAxle(1, Vector(0, 0, 100));  // rear road wheels forward: much shorter
  Evaluate(tag, 1.0 / 30);
  for (LONG s = 0; s < 2; ++s) {
    const Real z = Link(tag, ROTELIX_FRONT_LINK + s)->GetRelPos().z;
    EXPECT_GT(z, 210.0);
    EXPECT_LE(z, 220.0);
  }
  const Vector sagged = Track(tag, 0)->GetPointR()[mid];
  EXPECT_LT(sagged.y, restMid.y - 1.0);
  EXPECT_GT(sagged.y, -1000.0);
  EXPECT_EQ(Track(tag, 0)->GetPointCount(), State(tag).pointCount);
}

TEST_F(TrackAnimTest, FrameStepStopsWithoutSplineOrBody) {
  BaseTag* tag = RiggedTag();
  const Real offset = State(tag).treadOffset[0];
  car->GetDataInstance()->SetLink(RIG_BODY, nullptr);
  car->SetRelPos(Vector(0, 0, 30));
  Evaluate(tag, 1.0 / 30);
  EXPECT_EQ(State(tag).treadOffset[0], offset);

  // A track whose point count no longer fits ends the step before any change.
  car->GetDataInstance()->SetLink(RIG_BODY, car->GetDown());
  Track(tag, 0)->ResizeObject(3, 1);
  Evaluate(tag, 2.0 / 30);
  EXPECT_EQ(State(tag).treadOffset[0], offset);
  EXPECT_EQ(State(tag).treadOffset[1], offset);
}

TEST_F(TrackAnimTest, WheelWithoutRollingRadiusIsLeftStanding) {
  BaseTag* tag = RiggedTag(1);
  Bc(tag).SetReal(ROTELIX_TRACK_INSET, 30.0);  // road wheels and end pairs: radius 30
  Evaluate(tag, 0.0);
  car->GetDataInstance()->SetReal(CAR_WHEEL_DIAMETER_REAR, 0.0);  // and no sprocket radius
  car->SetRelPos(Vector(0, 0, 30));
  Evaluate(tag, 1.0 / 30);
  ExpectNear(CarLink(RIG_HUB)->GetRelRot(), Vector(0, 0, 0));
  ExpectNear(Link(tag, ROTELIX_FRONT_LINK)->GetRelRot(), Vector(0, 0, 0));
  EXPECT_EQ(State(tag).sprocketAngle[0], 0.0);
  for (LONG i = 0; i < State(tag).pointCount; ++i) EXPECT_TRUE(std::isfinite(Track(tag, 0)->GetPointR()[i].y));
}

// A roller smaller than the inset has the track running outside it: turned
// by the ratio it would spin backwards, so it is left as it stands.
TEST_F(TrackAnimTest, ARollerBelowTheInsetIsNotTurned) {
  BaseTag* tag = RiggedTag(1);
  Bc(tag).SetReal(ROTELIX_ROLLER_RADIUS, 3.0);
  Evaluate(tag, 0.0);
  car->SetRelPos(Vector(0, 0, 30));
  Evaluate(tag, 1.0 / 30);
  ASSERT_NE(State(tag).sprocketAngle[1], 0.0);
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK)->GetRelRot(), Vector(0, 0, 0));
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK + 1)->GetRelRot(), Vector(pi, 0, 0));
  EXPECT_NE(Link(tag, ROTELIX_FRONT_LINK)->GetRelRot().y, 0.0);  // the others do turn
}

// When the track holds a single link, the surplus behind it goes too.
TEST_F(TrackAnimTest, ASingleLinkLeavesNoSurplus) {
  BaseTag* tag = RiggedTag();
  ASSERT_GT(Chain(tag, 0).size(), 2u);
  Bc(tag).SetReal(ROTELIX_TREAD_LENGTH, 0.75 * State(tag).restLength);
  Evaluate(tag, 0.0);
  EXPECT_EQ(State(tag).treadLinkCount, 1);
  for (LONG side = 0; side < 2; ++side) {
    ASSERT_EQ(Chain(tag, side).size(), 1u) << side;
    EXPECT_EQ(Chain(tag, side)[0]->GetType(), Onull);
  }
}

TEST_F(TrackAnimTest, CountsBeyondTheLimitsAreReadAsTheLimits) {
  BaseTag* tag = RiggedTag(1);
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 50);
  Bc(tag).SetLong(ROTELIX_ROLLER_COUNT, 50);
  Evaluate(tag, 0.0);
  EXPECT_LE(State(tag).groupCount, kMaxWheelGroups);
  Evaluate(tag, 1.0 / 30);
  BaseDraw bd;
  BaseDrawHelp bh(&bd, doc, car);
  EXPECT_TRUE(Data(tag)->Draw(tag, car, &bd, &bh));
  Description desc;
  EXPECT_TRUE(hostdesc::GetNodeDescription(tag, &desc));
  EXPECT_EQ(desc.Find(DescID(ROTELIX_AXLE_GROUP + 8)), nullptr);
}

TEST_F(TrackAnimTest, RunsAsAnExpressionOfTheDocument) {
  BaseTag* tag = RiggedTag();
  car->SetRelPos(Vector(0, 0, 30));
  doc->SetTime(BaseTime(1.0, 30.0));
  ASSERT_TRUE(doc->ExecutePasses(nullptr, true, true, false));
  EXPECT_EQ(State(tag).isAnimated, 1);
  EXPECT_NEAR(State(tag).sprocketAngle[0], 1.0, 1e-12);
}

}  // namespace
