// Wheel hubs one at a time: the world position and the frame without spin,
// each worked out as GetWheelFrames does (mode 0), for callers that need
// the positions of all wheels and the frames of few.
#pragma once

#include "engine/car_dynamics.h"

inline void GetWheelHubPosition(const CarDynamics& d, int32 i, Vec3& position) {
  const WheelState& w = d.wheels[i];
  Vec3 hub;
  AddScaledVec3(hub, w.mountPoint, w.compression, w.suspensionDirection);
  TransformToWorld(position, d.body.rotation, hub, d.body.position);
}

inline void GetWheelHubFrame(const CarDynamics& d, int32 i, Mat3& frame) {
  MulMat3(frame, d.body.rotation, d.wheels[i].wheelFrame);
}
