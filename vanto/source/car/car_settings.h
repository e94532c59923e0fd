// The car-settings record: a car's set-up as a car-settings text file carries
// it (lengths in metres), and the plug-in-wide default set-up that every new
// car starts from.
#pragma once

#include "host_math.h"
#include "host_types.h"

class BaseObject;
struct CarState;

// Section bits of a car-settings file and of the masks that pick sections.
enum CarSettingsSection : LONG {
  CARSETTINGS_GEOMETRY = 2,
  CARSETTINGS_MASS = 8,
  CARSETTINGS_DRIVE = 32,
  CARSETTINGS_SUSPENSION = 128,
  CARSETTINGS_CRUMPLE = 512,
  CARSETTINGS_ALL = 0x0fffffff,
};

inline constexpr int kCarSettingsAxles = 10;
inline constexpr int kCarSettingsPairs = 20;
inline constexpr int kCarModelConstants = 7;

struct TorquePoint {
  double rpm = 0.0;
  double torque = 0.0;  // N m
};

struct ForcePoint {
  double deformation = 0.0;   // 0..100
  double counterforce = 0.0;  // 0..100
};

// Pairs are front axle, then rear axle.
struct CarSettings {
  Vector bodySize;
  Vector bodyPosition;
  Vector engineSize;
  Vector enginePosition;
  Vector roofSize;
  double roofZ = 0.0;
  double wheelRadius[2] = {};
  double wheelWidth[2] = {};
  double wheelX[2] = {};
  double suspensionTopX[2] = {};
  double suspensionTopY[2] = {};
  double suspensionBottomX[2] = {};
  double suspensionBottomY[2] = {};
  double frontAxleZ[kCarSettingsAxles] = {};
  double rearAxleZ[kCarSettingsAxles] = {};
  int32_t frontAxleCount = 0;
  int32_t rearAxleCount = 0;
  double rpmCount = 0.0;
  double torqueCount = 0.0;
  TorquePoint torqueCurve[kCarSettingsPairs];
  // Tuning constants of the vehicle model; the model build reads them from
  // DefaultCarSettings only.
  double modelConstants[kCarModelConstants] = {};
  int32_t forceCurvePreset = 0;
  double maxCounterforce[3] = {};  // kN: front, rear, side
  double crumpleLength[3] = {};    // front, rear, side
  double deformationCount = 0.0;
  double counterforceCount = 0.0;
  ForcePoint forceCurve[kCarSettingsPairs];
};

// The one default set-up of the plug-in, shared by every car and filled
// again by every Car::Init before the default file is read into it.
extern CarSettings DefaultCarSettings;

// The built-in default set-up. The axle counts are left as they are: only a
// settings file sets them.
void SetBuiltInCarSettings(CarSettings& s);

// The name of the default settings file in the plug-in's folder.
inline constexpr const char* kDefaultSettingsFile = "vanto.ini";

// Reads a car-settings file into the record (ids below 200), the car's
// container (ids 1000 to 1899) and its name, description and author, for the
// sections in mask. False, with nothing changed, when the file cannot be
// opened or read to its end. A line whose values the car cannot take (no
// number, a negative counterforce, a crumple length of 0 or less, a length
// that overflows once scaled by units_per_metre) is reported on the console
// and skipped.
Bool ReadCarSettingsFile(const Filename& file, BaseObject* car, CarSettings& settings, LONG mask,
                         double units_per_metre = 100.0);

// Writes the record's sections in mask into the car's parameters: geometry
// in scene units, torque curve, crumple zone; the gear list is recounted on
// every call. The drive section may lower settings.rpmCount and clear
// negative torques in the record.
void ApplyCarSettings(BaseObject* car, CarSettings& settings, CarState& state, LONG mask);

// The scene units per metre of the car's run settings; the default 100 when
// they hold no usable scale.
double UsableUnitsPerMetre(const CarState& state);

// v rounded toward zero and held within the LONG range (NaN gives 0).
LONG TruncateToLong(double v);
