// The per-car run-time record: geometry, the car's copy of the run
// settings, the physical model, ground records, inputs, results, collision
// data, autopilot and command state. It lives by value inside every Car
// object; the Sim borrows it during a run. (The dashboard captions are the
// Car's own, in car/car_status.h.)
//
// Copying: a copy never shares the collision outline's buffers (the copy
// starts without them and the next outline build makes its own), and the
// wheel ground references of the model are re-aimed at the copy's own
// ground records.
#pragma once

#include "engine/car_dynamics.h"
#include "engine/collision_outline.h"
#include "engine/control_ramps.h"
#include "host_math.h"
#include "host_types.h"
#include "scene/marker_links.h"
#include "scene/route_links.h"
#include "scene/scene_ground_hit.h"
#include "engine/sim_settings.h"

class BaseObject;
class BaseContainer;
class BaseTag;

// ---------------------------------------------------------------- collisions

// An attached part: what follows the outline, and the part's object.
struct AttachedPart : OutlinePart {
  BaseObject* object = nullptr;
};

// Crash response per side group (0 front, 1 sides, 2 rear).
struct CrashReaction {
  int32 mode[3] = {};            // 1 hold the throttle at 0, 2 hold the brake
  double brakeStrength[3] = {};  // 0..1
  double holdTime[3] = {};       // s
};

// ---------------------------------------------------------------- the record

inline constexpr int32 kGroundRecords = kMaxWheels + 1;

// What a run's set-up fixes: the car's place on the dashboard, its add-on
// flags, its geometry and masses, and what the outline build reads of the
// crash settings. Written when the Sim collects the car, when the Car is
// edited or evaluated outside a run, and at a run start; no step writes it.
struct CarSetup {
  int32 carIndex = 0;  // the car's dashboard slot; below 0 no panel
  int32 flags = 0;     // bit 0 crumple-zone tag present (collisions on), bit 1 wheel-rig tag

  Vector bodySize;                 // scene units: width, height, length
  double reservedGeometry = 0.0;   // unused
  Vector roofCorners[4];           // car coordinates, scene units: front two, then rear two
  double boundingRadius = 0.0;     // scene units, half the body's diagonal
  double totalMass = 0.0;          // kg, body, engine and wheels
  double totalWeight = 0.0;        // N
  double startDelay = 0.0;         // s
  int32 wheelCount = 0;            // wheels of the rig: 4, or 4 + 2 per added axle
  CrashReaction crashReaction;
  Vector trackedPoints[kMaxWheels];  // car coordinates, scene units: the outer wheel corners
};

// What the steps of a run write: the results published after each advance,
// the advance's collision record, the ground records the wheels stand on,
// and the inputs read afresh at every advance. A run start or a reset gives
// it its first values; the steps write it from there.
struct CarStepData {
  // results
  Matrix bodyMatrix;                          // world, scene units
  Matrix wheelMatrices[kMaxWheels];           // world, scene units
  Matrix wheelHubMatrices[kMaxWheels];        // without the spin angle
  Matrix wheelSteerFreeMatrices[kMaxWheels];  // steering straight
  Vec3 velocity;                              // host axes, m/s
  Vec3 angularVelocity;                       // car (model) axes in host order, rad/s
  double speed = 0.0;                         // m/s
  double reservedResult = 0.0;                // unused
  double advanceStartTime = 0.0;              // s
  double advanceStartSpeed = 0.0;             // m/s
  double wheelAngles[kMaxWheels] = {};        // rad, spin angle
  double wheelSpinRates[kMaxWheels] = {};     // rad/s
  double wheelCompressions[kMaxWheels] = {};  // scene units
  int32 wheelContactAtAdvance[kMaxWheels] = {};
  double wheelSlipAtAdvance[kMaxWheels] = {};
  int32 engagedGear = 0;       // below 0 reverse, 0 neutral
  int32 engineRpm = 0;         // 1/min
  int32 tractionCutFlag = 0;
  int32 brakeReleaseFlag = 0;
  double commandOutput = 0.0;  // the last marker command's output value
  int32 leadingWord = 0;       // change marker of the speed-target queue (0x12345678 after a new entry)

  // collision record of the current advance
  int32 collisionPointCount = 0;
  Vector sideContactPoints[4];  // world, scene units: front, +x, rear, -x
  Vector sideImpulse[4];        // world, N
  double impactValue = 0.0;     // strength of the last hit
  double impactTimeMs = 0.0;    // ms in contact so far

  // ground: the default ground, then one record per wheel, back to back
  SceneGroundHit defaultGround;
  SceneGroundHit wheelGroundRecords[kMaxWheels];

  // direct inputs and the body-contact switch, read from the Car at every
  // advance; the direction is kept from step to step
  int32 directInputBits = 0;
  int32 directInputDirection = 0;  // below 0 sends direct throttle to reverse
  int32 bodyGroundContactOn = 0;   // 1 resolves body-to-ground contact after each step
};

// Every field of the record; CarState adds the copy rules. The input
// channels (ramps, their levels and the steering rate) come first, as the
// engine's own record. The set-up and step records are bases rather than
// members so that every reader keeps writing car.bodySize, car.speed.
struct CarStateFields : InputRamps, CarSetup, CarStepData {
  // Records with a set-up part and a part the steps advance: the run
  // settings with their clock, the physical model with its state, route
  // following, marker commands and the collision outline.
  SimSettings settings;
  CarDynamics dynamics;
  AutopilotState autopilot;
  CommandState commands;
  CollisionOutline collisionOutline;
};

struct CarState : CarStateFields {
  CarState() = default;
  CarState(const CarState& o) : CarStateFields(o) { AimGroundAtOwnRecords(o); }
  CarState& operator=(const CarState& o) {
    if (this != &o) {
      CarStateFields::operator=(o);
      AimGroundAtOwnRecords(o);
    }
    return *this;
  }

 private:
  // The model's ground references point into the source's records after a
  // member-wise copy; aim them at this record's own.
  void AimGroundAtOwnRecords(const CarState& o) {
    for (int32 w = 0; w < kMaxWheels; ++w) {
      const GroundHit* g = o.dynamics.wheelGround[w];
      if (g == &o.defaultGround) dynamics.wheelGround[w] = &defaultGround;
      for (int32 k = 0; k < kMaxWheels; ++k)
        if (g == &o.wheelGroundRecords[k]) dynamics.wheelGround[w] = &wheelGroundRecords[k];
    }
  }
};

// One car of a run: its object and its state, as the Sim collects them.
struct CarEntry {
  BaseObject* object = nullptr;
  CarState* state = nullptr;
  // 1 once a run start has set the car up; a car that joined the Sim later
  // (or was skipped at the start) is left alone until the next run start.
  int32 ready = 0;
};
