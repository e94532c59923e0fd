// The example scenes under examples/: the numbers that make_examples builds
// them from and that check_example measures the played scenes against.
// Scene units: 100 a metre; the cars drive along +z.
#pragma once

#include <cmath>
#include <vector>

namespace examples {

inline constexpr int kFps = 30;

struct Point2 {
  double x, z;
};

// drive.json: full throttle for 2 s; from 2 s to 3 s the driver eases off
// to half throttle and turns the wheel, and holds both.
inline constexpr double kDriveSeconds = 6.0;
inline constexpr double kDriveThrottle = 1.0;
inline constexpr double kDriveTurnThrottle = 0.3;
inline constexpr double kDriveSteer = 0.15;
inline constexpr double kDriveTurnFrom = 2.0, kDriveTurnTo = 3.0;

// route.json: an S-bend, a straight, a bend of kRouteAngle to +x and one
// back, a straight, as a linear spline sampled every 5 degrees.
inline constexpr double kRouteSeconds = 8.0;
inline constexpr double kRouteStraight = 500.0;
inline constexpr double kRouteRadius = 2000.0;
inline constexpr int kRouteSteps = 9;  // of 5 degrees a bend
inline constexpr double kRouteSpeeds[][2] = {{30.0, 0.3}, {25.0, 0.6}, {20.0, 1.0}};  // km/h at a fraction

inline std::vector<Point2> RoutePoints() {
  const double pi = 3.14159265358979323846;
  const double step = 5.0 * pi / 180.0, R = kRouteRadius;
  std::vector<Point2> pts = {{0.0, 0.0}, {0.0, kRouteStraight}};
  // Bend to +x about the centre (R, straight).
  for (int k = 1; k <= kRouteSteps; ++k) {
    const double a = k * step;
    pts.push_back({R - R * std::cos(a), kRouteStraight + R * std::sin(a)});
  }
  // Back to +z about the centre mirrored through the bend's end.
  const double a = kRouteSteps * step;
  const Point2 end = pts.back();
  const Point2 c = {end.x - R * std::cos(a), end.z + R * std::sin(a)};
  for (int k = 1; k <= kRouteSteps; ++k) {
    const double b = a - k * step;
    pts.push_back({c.x + R * std::cos(b), c.z - R * std::sin(b)});
  }
  const Point2 last = pts.back();
  pts.push_back({last.x, last.z + kRouteStraight});
  return pts;
}

// crash.json: full throttle at a wall across the road.
inline constexpr double kCrashSeconds = 6.0;
inline constexpr double kWallZ = 2000.0;  // centre of the wall
inline constexpr double kWallSize[3] = {800.0, 150.0, 50.0};  // thinner than the car's front crumple zone

// markers.json: "Go" at the start sets the throttle; "Brake and turn"
// further on brakes and steers.
inline constexpr double kMarkersSeconds = 7.0;
inline constexpr double kMarkerRadius = 300.0;
inline constexpr double kGoThrottle = 80.0;  // percent
inline constexpr double kTurnMarkerZ = 2500.0;
inline constexpr double kTurnBrake = 60.0;   // percent
inline constexpr double kTurnSteer = -60.0;  // percent of the steering curve

// tracks.json: a tracked car driving straight at half throttle.
inline constexpr double kTracksSeconds = 5.0;
inline constexpr double kTracksThrottle = 0.5;

// ground.json: a ramp rising along +z, its lower edge on the ground at
// kRampStartZ, kRampLength long and kRampWidth wide, tilted by kRampDegrees.
inline constexpr double kGroundSeconds = 7.0;
inline constexpr double kGroundThrottle = 0.6;
inline constexpr double kRampStartZ = 600.0;
inline constexpr double kRampLength = 3000.0;
inline constexpr double kRampWidth = 600.0;
inline constexpr double kRampDegrees = 8.0;

}  // namespace examples
