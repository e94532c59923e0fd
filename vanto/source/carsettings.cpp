#include "carsettings.h"

CarSettings DefaultCarSettings;

void SetBuiltInCarSettings(CarSettings& s) {
  const int32_t front_axles = s.frontAxleCount;
  const int32_t rear_axles = s.rearAxleCount;
  s = CarSettings();
  s.frontAxleCount = front_axles;
  s.rearAxleCount = rear_axles;

  s.bodySize = Vector(1.8, 0.8, 4.5);
  s.bodyPosition = Vector(0.0, 0.72, 0.0);
  s.engineSize = Vector(1.0, 0.5, 1.2);
  s.enginePosition = Vector(0.0, -0.2, 0.25);
  s.roofSize = Vector(1.44, 0.4, 1.8);
  s.roofZ = -0.5625;
  for (int a = 0; a < 2; ++a) {
    s.wheelRadius[a] = 0.32;
    s.wheelWidth[a] = 0.28;
    s.wheelX[a] = 0.76;
    s.suspensionTopX[a] = 0.07;
    s.suspensionTopY[a] = 0.2;
    s.suspensionBottomX[a] = 0.06;
    s.suspensionBottomY[a] = 0.0;
  }
  s.frontAxleZ[0] = 1.32;
  s.rearAxleZ[0] = -1.25;
  s.rpmCount = 4.0;
  s.torqueCount = 4.0;
  const TorquePoint torque[] = {{1500.0, 420.0}, {3500.0, 530.0}, {4500.0, 540.0}, {6000.0, 400.0}};
  for (int k = 0; k < 4; ++k) s.torqueCurve[k] = torque[k];
  const double constants[kCarModelConstants] = {25.0, 5.0, 3000.0, 50.0, 400000.0, 10.0, 0.0};
  for (int k = 0; k < kCarModelConstants; ++k) s.modelConstants[k] = constants[k];
  s.forceCurvePreset = 2;
  for (int k = 0; k < 3; ++k) s.maxCounterforce[k] = 1000.0;
  s.crumpleLength[0] = 0.65;
  s.crumpleLength[1] = 0.65;
  s.crumpleLength[2] = 0.3;
}

// The settings-file reader and the applier come with the settings-file work;
// until then no file is read and the built-in defaults stand.
Bool ReadCarSettingsFile(const Filename&, BaseObject*, CarSettings&, LONG) { return false; }

void ApplyCarSettings(BaseObject*, CarSettings&, CarState&, LONG) {}
