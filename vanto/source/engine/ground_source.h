// Where the engine asks for the ground: an interface it owns, so that it
// never needs to know what the ground is made of. The scene answers from its
// ground objects; FlatGround is the plain plane every car falls back to.
// Engine axes (z up), metres.
#pragma once

#include "engine/ground_hit.h"
#include "engine/vmath.h"

class GroundSource {
 public:
  virtual ~GroundSource() = default;
  // The plane under `point` into `hit` (normal, offset, grip and contact
  // mode); the profile rays are left alone.
  virtual void GroundAt(const Vec3& point, GroundHit& hit) const = 0;
};

// A horizontal plane at `heightMetres` above the engine origin with the
// given grip, touched at a single point.
class FlatGround final : public GroundSource {
 public:
  explicit FlatGround(double heightMetres = 0.0, double grip = 1.0) : height_(heightMetres), grip_(grip) {}

  void GroundAt(const Vec3&, GroundHit& hit) const override {
    hit.normal = Vec3(0.0, 0.0, 1.0);
    hit.planeOffset = -height_;
    hit.frictionWeight = 1.0;
    hit.gripFactor = grip_;
    hit.friction = grip_;
    hit.contactMode = 1;
  }

  double Height() const { return height_; }
  double Grip() const { return grip_; }

 private:
  double height_;
  double grip_;
};
