#include "car/car_params.h"

void SetCarDefaults(BaseContainer& bc) {
  // object, display and start
  bc.SetBool(CAR_LINK_PAIRS, true);
  bc.SetBool(CAR_DRAW_SECTOR, false);
  bc.SetBool(CAR_DRAW_RIG, true);
  bc.SetBool(CAR_DRAW_DASHBOARD, true);
  bc.SetBool(CAR_DRAW_OUTLINE, true);
  bc.SetLong(CAR_START_MODE, 1);
  bc.SetVector(CAR_START_POSITION, Vector(0.0, 0.0, 0.0));
  bc.SetReal(CAR_START_HEADING, 0.0);
  bc.SetTime(CAR_START_DELAY, BaseTime(0.0));
  bc.SetBool(CAR_LOAD_GEOMETRY, false);
  bc.SetBool(CAR_LOAD_MASS, true);
  bc.SetBool(CAR_LOAD_DRIVE, true);
  bc.SetBool(CAR_LOAD_SUSPENSION, true);
  bc.SetBool(CAR_LOAD_CRUMPLE, false);

  // masses, aerodynamics, brakes and tyres
  bc.SetReal(CAR_MASS_BODY, 1500.0);
  bc.SetReal(CAR_MASS_ENGINE, 200.0);
  bc.SetReal(CAR_MASS_WHEEL_FRONT, 30.0);
  bc.SetReal(CAR_MASS_WHEEL_REAR, 30.0);
  bc.SetReal(CAR_DRAG, 0.3);
  bc.SetReal(CAR_DOWNFORCE_FRONT, 0.0);
  bc.SetReal(CAR_DOWNFORCE_REAR, 0.0);
  bc.SetReal(CAR_BRAKE_FRONT, 1500.0);
  bc.SetReal(CAR_BRAKE_REAR, 750.0);
  bc.SetReal(CAR_HANDBRAKE, 4000.0);
  bc.SetReal(CAR_CORNERING_FRONT, 75000.0);
  bc.SetReal(CAR_CORNERING_REAR, 75000.0);
  bc.SetReal(CAR_LONGITUDINAL_FRONT, 75000.0);
  bc.SetReal(CAR_LONGITUDINAL_REAR, 75000.0);

  // power train and gears
  bc.SetLong(CAR_DRIVE, 2);
  bc.SetBool(CAR_TRACTION_CONTROL, false);
  bc.SetReal(CAR_TRACTION_THRESHOLD, 0.3);
  bc.SetBool(CAR_ANTILOCK, false);
  bc.SetReal(CAR_ANTILOCK_THRESHOLD, 0.3);
  bc.SetLong(CAR_GEAR_COUNT, 6);
  bc.SetReal(CAR_GEAR_REVERSE, 3.42);
  const double forward[] = {4.38, 2.86, 1.92, 1.37, 1.0, 0.82, 0.0};
  for (LONG i = 0; i < 7; ++i) bc.SetReal(CAR_GEAR_REVERSE + 1 + i, forward[i]);
  bc.SetReal(CAR_GEAR_FINAL, 2.0);
  bc.SetReal(CAR_CLUTCH, 50.0);
  bc.SetLong(CAR_SHIFT_DOWN, 3000);
  bc.SetLong(CAR_SHIFT_UP, 4000);
  bc.SetLong(CAR_OUTPUT_GEAR, 1);

  // suspension and steering
  bc.SetReal(CAR_SPRING_FRONT, 25000.0);
  bc.SetReal(CAR_SPRING_REAR, 25000.0);
  bc.SetReal(CAR_DAMPER_FRONT, 15000.0);
  bc.SetReal(CAR_DAMPER_REAR, 15000.0);
  bc.SetReal(CAR_ANTIROLL_FRONT, 10000.0);
  bc.SetReal(CAR_ANTIROLL_REAR, 10000.0);
  bc.SetReal(CAR_CAMBER_FRONT, 0.0);
  bc.SetReal(CAR_CAMBER_REAR, 0.0);
  bc.SetReal(CAR_STEERING_LOCK, 0.5235987755982988);  // pi / 6
  bc.SetReal(CAR_CASTER, 0.08726646259971647);        // pi / 36
  bc.SetReal(CAR_STEERING_RATE, 1.5707963267948966);  // pi / 2

  // crumple zone
  bc.SetLong(CAR_FORCE_PRESET, 2);
  bc.SetReal(CAR_COUNTERFORCE_FRONT, 1000.0);
  bc.SetReal(CAR_CRUMPLE_FRONT, 65.0);
  bc.SetReal(CAR_COUNTERFORCE_REAR, 1000.0);
  bc.SetReal(CAR_CRUMPLE_REAR, 65.0);
  bc.SetReal(CAR_COUNTERFORCE_SIDE, 1000.0);
  bc.SetReal(CAR_CRUMPLE_SIDE, 30.0);
  // Crash reaction per side group: mode, hold time, brake strength.
  const LONG crash_mode[] = {2, 1, 0};
  const double crash_brake[] = {1.0, 0.0, 0.0};
  const LONG crash_first[] = {CAR_CRASH_FRONT_MODE, CAR_CRASH_SIDE_MODE, CAR_CRASH_REAR_MODE};
  for (int g = 0; g < 3; ++g) {
    bc.SetLong(crash_first[g], crash_mode[g]);
    bc.SetTime(crash_first[g] + 1, BaseTime(2.0));
    bc.SetReal(crash_first[g] + 2, crash_brake[g]);
  }

  // autopilot and ground
  bc.SetBool(CAR_ROUTE_WRAP, false);
  bc.SetReal(CAR_ANTICIPATION, 0.5);
  bc.SetLong(CAR_SPEED_LEARNING, 1);
  bc.SetReal(CAR_GAP_DISTANCE, 1000.0);
  bc.SetReal(CAR_LATERAL_OFFSET, 0.0);
  bc.SetReal(CAR_SPEED_SCALE, 1.0);
  bc.SetReal(CAR_GAP_MARGIN, 0.25);
  bc.SetReal(CAR_GAP_ANGLE, 0.5235987755982988);  // pi / 6
  bc.SetBool(CAR_GAP_SAME_ROUTE, true);
  bc.SetLong(CAR_COMMAND_LEVEL, 6);
  bc.SetReal(CAR_GROUND_HEIGHT, 0.0);
  bc.SetReal(CAR_GROUND_GRIP, 0.98);
  bc.SetBool(CAR_BODY_CONTACT, true);

  // instruments, springs, skid marks and deformation
  bc.SetReal(CAR_NEEDLE_STEER, 2.0943951023931953);  // 2 pi / 3
  for (LONG id : {CAR_NEEDLE_THROTTLE, CAR_NEEDLE_BRAKE, CAR_NEEDLE_HANDBRAKE}) bc.SetReal(id, 0.5235987755982988);
  bc.SetReal(CAR_BRAKE_LIGHT_LEVEL, 0.1);
  bc.SetReal(CAR_SPRING_COIL_RADIUS, 5.0);
  bc.SetLong(CAR_SKID_MAX_POINTS, 1000);
  bc.SetBool(CAR_SKID_SLIP_BAND, true);
  bc.SetReal(CAR_SKID_SLIP_HIGH, 0.5);
  bc.SetReal(CAR_SKID_SLIP_LOW, 0.25);
  bc.SetBool(CAR_SKID_CONTACT_ONLY, true);
  bc.SetBool(CAR_SKID_TWO_RAILS, false);
  bc.SetLong(CAR_OUTLINE_SUBDIVISIONS, 5);
  bc.SetLong(CAR_FFD_GRID, 7);
  bc.SetBool(CAR_DEFORMER_ANIMATED, true);
  bc.SetReal(CAR_DEFORMATION_FACTOR, 1.0);
  bc.SetReal(CAR_FFD_LIFT, 1.0);
  bc.SetReal(CAR_PARTS_FACTOR_A, 1.0);
  bc.SetReal(CAR_PARTS_FACTOR_B, 1.0);
  bc.SetReal(CAR_IMPULSE_SCALE, 0.01);
  bc.SetBool(CAR_SETTINGS_APPLIED, false);
}
