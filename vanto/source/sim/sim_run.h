// The simulation run: the start of a run (every car's model built, settled,
// placed on the ground and settled again) and the fixed-step advance of all
// cars of a Sim to a target time, with inputs, ground, dynamics and
// collisions in a fixed order.
//
// Both entry points work on records that others own: the Sim's settings,
// the cars' CarStates (inside the Car objects) and the obstacles'
// CollisionShapes (inside their tags). Nothing here allocates.
#pragma once

#include "scene/carstate.h"
#include "carsim/collision_shape.h"
#include "scene/run_state.h"
#include "sim/model_build.h"

class BaseContainer;
class BaseDocument;
class BaseObject;
class BaseThread;

// One car of a Sim: both pointers are borrowed until the next collection.

// Settling time before a run, s.
inline constexpr double kSettleTime = 4.0;
// Limits of the fixed step, s. The Sim keeps its steps per second inside
// [1, 100000]; the run refuses anything outside.
inline constexpr double kMinStep = 1.0e-5;
inline constexpr double kMaxStep = 1.0;

// Moves a start position P back against `heading` (a unit vector) by 1.1 x
// radius at a time until it keeps clear of the ready cars before it (bounding
// radii summed); a car without a radius moves by the other car's.
void KeepClearOfEarlierCars(Vector& P, const Vector& heading, double radius, const CarEntry* earlier, int32 count);

// The model build the run start calls. Tests put in one that fails where the
// real build cannot; null restores BuildCarModel.
using CarModelBuildFn = int32 (*)(BaseDocument* doc, BaseObject* car, CarState& state, double u);
void SetCarModelBuild(CarModelBuildFn fn);

// Steps of one settling phase: round(4 s / dt), at least 1.
int32 SettleStepCount(double dt);
// Steps between two input refreshes: floor(period / dt + 0.5).
int32 InputRefreshSteps(double inputPeriod, double dt);
// Steps between two break tests for a look-ahead time x (s):
// floor((2x + 0.5) * period / dt + 0.5).
int32 BreakTestSteps(double lookAhead, double breakPeriod, double dt);

// Starts a run: simTime and lastDocTime := startTime, then every entry
// with an object and a state and 4 to 20 wheels is set up and marked ready
// (the others are skipped, the later cars still set up). 0 on success; the
// first failing car's status ends the call. `sim` is not read.
int32 InitSimulationRun(BaseDocument* doc, BaseObject* sim, SimSettings& settings, CarEntry* cars, int32 count);

// Steps the ready cars from settings.simTime while it is below target.
// 0 also when the host's thread asks for a break (the cars stay where the
// break found them); kStatusNotFinite when a car's closing results are not
// finite; kStatusBadAdvance for a step or target that cannot be used.
int32 AdvanceSimulation(BaseDocument* doc, BaseObject* sim, double target, BaseThread* bt, SimSettings& settings,
                        CarEntry* cars, int32 count, CollisionShape* const* obstacles, int32 obstacleCount);

// The crash reaction after an advance with an impact: per hit side the
// throttle is held at 0 or the brake at the side group's strength.
void ReactToCollision(CarState& car);
// Start of every advance call: what the advance compares against.
void ResetAdvanceOutputs(CarState& car);
// The 16 external force slots, their points and the one-off force := 0.
void ClearForceSlots(CarState& car);
// Direct input off (LONG 9900 := 0), forward direction.
void ClearDirectInputs(BaseContainer& bc, CarState& car);

// The Sim as its bake drives it: the cars its last collection gathered
// (read afresh every frame, an evaluation may collect again) and the bake
// phase it hands on to them. The Sim object implements it.
class SimRunView {
 public:
  virtual const CarEntry* Cars() const = 0;
  virtual LONG CarCount() const = 0;
  virtual LONG GetBakePhase() const = 0;
  virtual void SetBakePhase(LONG phase) = 0;

 protected:
  ~SimRunView() = default;
};
