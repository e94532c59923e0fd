#include "host_draw.h"
#include "rotelix_test_support.h"

namespace {

class TrackDrawTest : public RotelixTest {
 protected:
  BaseTag* Rig(LONG rollers = 1) {
    car = NewCar();
    BaseTag* tag = NewTag(car);
    BuildRig(tag, rollers);
    Evaluate(tag, 0.0);
    return tag;
  }
  void Draw(BaseTag* tag) {
    bd.ClearCalls();
    BaseDrawHelp bh(&bd, doc, car);
    EXPECT_TRUE(Data(tag)->Draw(tag, car, &bd, &bh));
  }
  std::vector<const DrawCall*> Calls(DrawCall::Kind kind) const {
    std::vector<const DrawCall*> out;
    for (const DrawCall& c : bd.Calls())
      if (c.kind == kind) out.push_back(&c);
    return out;
  }
  static Bool SameColour(const Vector& a, const Vector& b) { return (a - b).GetLength() < 1e-9; }
  LONG Circles(const Vector& colour) const {
    LONG n = 0;
    for (const DrawCall* c : Calls(DrawCall::kCircle)) n += SameColour(c->color, colour);
    return n;
  }
  BaseObject* car = nullptr;
  BaseDraw bd;
  const Vector endColour = Vector(228, 45, 45) / 255.0;
  const Vector rollerColour = Vector(239, 129, 129) / 255.0;
};

TEST_F(TrackDrawTest, DrawsEveryGuideInWorldCoordinates) {
  BaseTag* tag = Rig(1);
  car->SetRelPos(Vector(0, 0, 1000));
  Draw(tag);
  EXPECT_EQ(Circles(endColour), 4);
  EXPECT_EQ(Circles(rollerColour), 2);
  for (const DrawCall* m : Calls(DrawCall::kMatrix)) EXPECT_EQ(m->matrix, Matrix());

  // The side-1 front wheel: radius 30 in its YZ plane, at its world place.
  const DrawCall* first = Calls(DrawCall::kCircle)[1];
  ExpectNear(first->matrix.off, Vector(80, 0, 1210), 1e-9);
  ExpectNear(first->matrix.v1, Vector(0, 0, -30), 1e-9);  // its z axis, turned round
  ExpectNear(first->matrix.v2, Vector(0, 30, 0), 1e-9);

  // One box per tread link on both tracks.
  const LONG n = State(tag).treadLinkCount;
  ASSERT_EQ(static_cast<LONG>(Calls(DrawCall::kBox).size()), 2 * n);
  const DrawCall* box = Calls(DrawCall::kBox)[0];
  EXPECT_TRUE(box->flags);
  EXPECT_EQ(box->size, 0.5);
  EXPECT_NEAR(box->matrix.v1.GetLength(), 25.0, 1e-9);  // the car's rear wheel width
  EXPECT_NEAR(box->matrix.v2.GetLength(), 5.0, 1e-9);   // inset
  EXPECT_NEAR(box->matrix.v3.GetLength(), 20.0, 1e-9);  // link length
}

TEST_F(TrackDrawTest, TensionerTravelLine) {
  car = NewCar();
  BaseTag* tag = NewTag(car);
  Bc(tag).SetBool(ROTELIX_REAR_TENSIONER, true);
  Bc(tag).SetBool(ROTELIX_FRONT_TENSIONER, false);
  BuildRig(tag, 0);
  Evaluate(tag, 0.0);
  Draw(tag);
  const Vector cyan = Vector(49, 207, 246) / 255.0;
  std::vector<const DrawCall*> lines, handles;
  for (const DrawCall* c : Calls(DrawCall::kLine))
    if (SameColour(c->color, cyan)) lines.push_back(c);
  for (const DrawCall* c : Calls(DrawCall::kHandle))
    if (SameColour(c->color, cyan)) handles.push_back(c);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(handles.size(), 6u);
  // Rest (0, -210), direction (0, 0, -1), travel 10; x just outside the track.
  ExpectNear(lines[0]->world[0], Vector(-81, 0, -200));
  ExpectNear(lines[0]->world[1], Vector(-81, 0, -220));
  ExpectNear(lines[1]->world[0], Vector(81, 0, -200));
  ExpectNear(handles[0]->world[0], Vector(-81, 0, -210));
  ExpectNear(handles[1]->world[0], Vector(-81, 0, -220));
  ExpectNear(handles[2]->world[0], Vector(-81, 0, -200));
}

TEST_F(TrackDrawTest, NothingWhileTheCarHidesItsRig) {
  BaseTag* tag = Rig();
  car->GetDataInstance()->SetBool(CAR_DRAW_RIG, false);
  Draw(tag);
  EXPECT_TRUE(bd.Calls().empty());
}

TEST_F(TrackDrawTest, PairsStopAtTheFirstMissingLink) {
  BaseTag* tag = Rig(1);
  Bc(tag).SetLink(ROTELIX_FRONT_LINK, nullptr);
  Bc(tag).SetLink(ROTELIX_ROLLER_LINK, nullptr);
  Draw(tag);
  EXPECT_EQ(Circles(endColour), 2);  // the rear pair only
  EXPECT_EQ(Circles(rollerColour), 0);
}

TEST_F(TrackDrawTest, TreadBoxesFollowTheChain) {
  BaseTag* tag = Rig(0);
  const LONG n = State(tag).treadLinkCount;
  Link(tag, ROTELIX_TREAD_LINK + 1)->GetNext()->SetDeformMode(false);
  Draw(tag);
  EXPECT_EQ(static_cast<LONG>(Calls(DrawCall::kBox).size()), 2 * n - 1);
  Bc(tag).SetLink(ROTELIX_TREAD_LINK, nullptr);
  Draw(tag);
  EXPECT_TRUE(Calls(DrawCall::kBox).empty());
}

}  // namespace
