// Whole runs to the last bit: the tyre pass built for four-wide registers and
// the plain one give the same state after every step, and on x86-64 Linux
// the run ends in the state recorded when this test was written, so that a
// change meant only to make the step faster cannot move a result.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine_test_support.h"

namespace {

using WholeRunTest = EngineTest;

// FNV-1a over the bit patterns of the values fed in.
class StateHash {
 public:
  void Add(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    AddBits(bits);
  }
  void Add(std::int64_t v) { AddBits(static_cast<std::uint64_t>(v)); }
  void Add(const Vec3& v) { Add(v.x), Add(v.y), Add(v.z); }
  void Add(const Quat& q) { Add(q.x), Add(q.y), Add(q.z), Add(q.w); }
  std::uint64_t value() const { return h_; }

 private:
  void AddBits(std::uint64_t bits) {
    for (int i = 0; i < 8; ++i) {
      h_ ^= (bits >> (8 * i)) & 0xffu;
      h_ *= 0x100000001b3ull;
    }
  }
  std::uint64_t h_ = 0xcbf29ce484222325ull;
};

// Everything a step carries over to the next one and everything the run
// reads back from the model.
std::uint64_t HashOf(const CarDynamics& d) {
  StateHash h;
  h.Add(d.body.position), h.Add(d.body.velocity), h.Add(d.body.orientation), h.Add(d.body.angularVelocity);
  for (double m : d.body.rotation.m) h.Add(m);
  for (int w = 0; w < d.wheelCount; ++w) {
    double compression, rate;
    GetWheelCompression(d, w, compression, rate);
    h.Add(compression), h.Add(rate), h.Add(GetWheelAngle(d, w)), h.Add(GetWheelSpinRate(d, w));
    h.Add(d.wheels[w].axleDirection);
    h.Add(d.lateralSlip.saved[w]), h.Add(d.wheelSlip.saved[w]);
    const TyreOutput& t = d.tyreOutput[w];
    h.Add(t.frictionLimit), h.Add(t.lateralForce), h.Add(t.longitudinalForce), h.Add(t.skidIntensity);
    h.Add(std::int64_t{t.sliding}), h.Add(std::int64_t{t.contact});
  }
  h.Add(d.engine.engineSpeed), h.Add(d.clutchTorque);
  h.Add(std::int64_t{d.gear}), h.Add(std::int64_t{d.engagedGear});
  return h.value();
}

struct RunCase {
  const char* name;
  CarDynamicsParams params;
  std::uint64_t recorded;  // the run's final hash on x86-64 Linux
};

// The reference car, and one whose front and rear tyres differ in size and
// in the sampling of their profiles, with all four wheels driven.
std::vector<RunCase> MakeCases() {
  // Shifting up at 3000 rpm, so that the gearbox works within the run.
  CarDynamicsParams reference = ReferenceCarParams();
  reference.upShiftSpeed = 3000.0 * vanto::kTwoPi / 60.0;
  reference.downShiftSpeed = 1500.0 * vanto::kTwoPi / 60.0;
  CarDynamicsParams mixed = reference;
  mixed.wheelRadius[0] = 0.28;
  mixed.wheelWidth[0] = 0.18;
  mixed.profilePointCount[0] = 12;
  mixed.profileExponent[0] = 4.0;
  mixed.poweredWheels = 2;
  return {{"reference car", reference, 0xbe00dbbf1e66564eull},
          {"mixed tyres, all driven", mixed, 0xd642de3ee70267d3ull}};
}

// Six seconds: pull away at full throttle through the gears in a weave,
// brake hard into a turn, handbrake, and a short reverse.
void Drive(CarState& car, int step) {
  const double t = step * car.settings.stepDt;
  if (t < 4.0) StepOnGround(car, t < 2.0 ? 0.3 : -0.4, 1.0, 0.0);
  else if (t < 4.7) StepOnGround(car, 0.8, 0.0, 1.0);
  else if (t < 5.1) StepOnGround(car, -0.6, 0.3, 0.0, 1.0);
  else StepOnGround(car, 0.0, 0.0, 0.0, 0.0, 0.8);
}

TEST_F(WholeRunTest, WideAndPlainRunsAgreeEveryStepAndMatchTheRecord) {
  for (const RunCase& c : MakeCases()) {
    SCOPED_TRACE(c.name);
    const bool wide = ProcessorHasWideRegisters();
    std::unique_ptr<CarState> cars[2];
    for (int k = 0; k < 2; ++k) {
      gEngine.wideRegisters = false;
      cars[k] = MakeCarOnGround(c.params);
      ASSERT_TRUE(cars[k]);
    }
    StateHash run;
    int firstDifference = -1, topGear = 0;
    for (int i = 0; i < 6000; ++i) {
      gEngine.wideRegisters = false;
      Drive(*cars[0], i);
      gEngine.wideRegisters = wide;
      Drive(*cars[1], i);
      const std::uint64_t plain = HashOf(cars[0]->dynamics);
      if (firstDifference < 0 && plain != HashOf(cars[1]->dynamics)) firstDifference = i;
      run.Add(static_cast<std::int64_t>(plain));
      topGear = std::max(topGear, cars[0]->dynamics.gear);
    }
    EXPECT_EQ(firstDifference, -1) << "the four-wide run leaves the plain one at this step";
    // The run went somewhere: it drove off, shifted, turned and ended in
    // reverse.
    const CarDynamics& d = cars[0]->dynamics;
    EXPECT_GT(std::abs(d.body.position.x) + std::abs(d.body.position.y), 10.0);
    EXPECT_GE(topGear, 2);
    EXPECT_EQ(d.gear, -1);
    EXPECT_EQ(assertCount, 0);
#if defined(__x86_64__) && defined(__linux__)
    // Other targets may round some library functions differently.
    EXPECT_EQ(run.value(), c.recorded) << std::hex << "0x" << run.value();
#endif
  }
}

// The wheels' straight frames are read by setting the steering straight; the
// next step must turn the wheels again although its input did not change.
TEST_F(WholeRunTest, ReadingStraightFramesDoesNotLoseTheSteering) {
  std::unique_ptr<CarState> cars[2] = {MakeCarOnGround(ReferenceCarParams()), MakeCarOnGround(ReferenceCarParams())};
  for (int i = 0; i < 1500; ++i) {
    for (int k = 0; k < 2; ++k) {
      if (k == 1) {
        Vec3 hubs[kMaxWheels];
        Mat3 frames[kMaxWheels];
        GetWheelFrames(cars[k]->dynamics, hubs, frames, -1);
      }
      StepOnGround(*cars[k], 0.5, 0.8, 0.0);
    }
  }
  const CarDynamics &a = cars[0]->dynamics, &b = cars[1]->dynamics;
  ASSERT_GT(std::abs(a.body.position.y), 0.2);  // it turned
  EXPECT_EQ(HashOf(a), HashOf(b));
  EXPECT_EQ(a.body.position, b.body.position);
}

}  // namespace
