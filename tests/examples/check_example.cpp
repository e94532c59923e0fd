// check_example NAME CSV: reads what `simhost play` wrote for an example
// scene (see run_example.cmake for the columns) and checks what the scene is
// for. Exit 0 when every check holds; each failed check is printed.
#include <algorithm>

#include "csv_checks.h"
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "example_scenes.h"

namespace {

using namespace examples;
using csvcheck::Expect;
using csvcheck::ReadCsv;
using csvcheck::Row;
using csvcheck::failures;

const double kPi = 3.14159265358979323846;
// Half the length of the car the Sim's button makes (its body is 4.5 m).
const double kHalfCar = 225.0;



double Get(const Row& r, const std::string& column) {
  auto it = r.find(column);
  if (it == r.end()) {
    std::printf("FAILED: no column %s\n", column.c_str());
    ++failures;
    return 0.0;
  }
  return it->second;
}

// The body's place, heading (degrees, 0 along +z) and pitch (degrees, nose
// up positive) from its matrix columns; speed from the car's output.
double X(const Row& r) { return Get(r, "Body.off.x"); }
double Y(const Row& r) { return Get(r, "Body.off.y"); }
double Z(const Row& r) { return Get(r, "Body.off.z"); }
double Heading(const Row& r) { return std::atan2(Get(r, "Body.v3.x"), Get(r, "Body.v3.z")) * 180.0 / kPi; }
double Pitch(const Row& r) { return std::asin(std::clamp(Get(r, "Body.v3.y"), -1.0, 1.0)) * 180.0 / kPi; }
double Speed(const Row& r) { return Get(r, "Car:2501"); }

const Row& At(const std::vector<Row>& rows, double seconds) {
  const size_t i = static_cast<size_t>(std::lround(seconds * kFps));
  return rows[std::min(i, rows.size() - 1)];
}

// Full throttle along +z, then a steady turn.
void CheckDrive(const std::vector<Row>& rows) {
  const Row& start = rows.front();
  const Row& turn = At(rows, kDriveTurnFrom);
  const Row& last = rows.back();
  Expect(std::fabs(X(turn)) < 1.0 && std::fabs(Heading(turn)) < 0.5, "straight along +z before the turn", X(turn));
  Expect(Z(turn) > 1000.0, "more than 10 m driven in the first 2 s", Z(turn));
  Expect(Speed(turn) > 10.0, "faster than 10 m/s after 2 s at full throttle", Speed(turn));
  Expect(std::fabs(Y(last) - Y(start)) < 10.0, "the body keeps its ride height", Y(last));
  const double h = Heading(last);
  Expect(std::fabs(h) > 45.0 && std::fabs(h) < 135.0, "the car turns by a quarter circle or so", h);
  Expect(std::fabs(X(last)) > 1000.0, "the car leaves the z axis", X(last));
  // The wheel stays turned one way, so the heading only ever moves that way.
  int wrong = 0;
  double prev = Heading(At(rows, kDriveTurnTo));
  for (size_t i = static_cast<size_t>(kDriveTurnTo * kFps) + 1; i < rows.size(); ++i) {
    const double now = Heading(rows[i]);
    if ((now - prev) * h < 0.0) ++wrong;
    prev = now;
  }
  Expect(wrong == 0, "the heading turns steadily one way", wrong);
  Expect(Speed(last) > 5.0, "the car is still under way", Speed(last));
  // A gearbox that hunts shifts back within moments of a shift.
  int flips = 0;
  double lastShift = -1.0, lastSense = 0.0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const double sense = Get(rows[i], "Car:2503") - Get(rows[i - 1], "Car:2503");
    if (sense == 0.0) continue;
    const double t = static_cast<double>(i) / kFps;
    if (sense * lastSense < 0.0 && t - lastShift < 1.0) ++flips;
    lastShift = t;
    lastSense = sense;
  }
  Expect(flips == 0, "no gear flips back within a second of a shift", flips);
  Expect(Get(At(rows, kDriveTurnFrom + 1.0), "Car:2503") >= 2, "second gear reached", 0);
}

double DistanceToPolyline(double x, double z, const std::vector<Point2>& pts) {
  double best = 1e30;
  for (size_t i = 1; i < pts.size(); ++i) {
    const double ax = pts[i - 1].x, az = pts[i - 1].z, vx = pts[i].x - ax, vz = pts[i].z - az;
    const double t = std::clamp(((x - ax) * vx + (z - az) * vz) / (vx * vx + vz * vz), 0.0, 1.0);
    best = std::min(best, std::hypot(x - ax - t * vx, z - az - t * vz));
  }
  return best;
}

// The autopilot keeps the car on the S-bend and stops it after the end.
void CheckRoute(const std::vector<Row>& rows) {
  const std::vector<Point2> pts = RoutePoints();
  const Point2 end = pts.back();
  double worst = 0.0, fastest = 0.0;
  for (const Row& r : rows) {
    if (Z(r) <= end.z) worst = std::max(worst, DistanceToPolyline(X(r), Z(r), pts));
    fastest = std::max(fastest, Speed(r));
  }
  Expect(worst < 100.0, "never more than 1 m off the route", worst);
  const Row& last = rows.back();
  Expect(std::fabs(X(last) - end.x) < 100.0, "ends in line with the route's last straight", X(last) - end.x);
  Expect(Z(last) > end.z - 200.0 && Z(last) < end.z + 1500.0, "ends near the route's end", Z(last) - end.z);
  Expect(std::fabs(Heading(last)) < 5.0, "ends heading along the last straight", Heading(last));
  Expect(Speed(last) < 1.0, "stops after the route", Speed(last));
  // 30 km/h is 8.3 m/s: the autopilot holds about that.
  Expect(fastest > 6.0 && fastest < 11.0, "drives at about the table's speeds", fastest);
}

// Full throttle into a wall: the car stops at it and does not pass it.
void CheckCrash(const std::vector<Row>& rows) {
  const double near_face = kWallZ - 0.5 * kWallSize[2];
  double furthest = -1e30, fastest = 0.0;
  for (const Row& r : rows) {
    furthest = std::max(furthest, Z(r));
    fastest = std::max(fastest, Speed(r));
  }
  const Row& last = rows.back();
  Expect(furthest + kHalfCar > near_face - 20.0, "the car reaches the wall", furthest + kHalfCar - near_face);
  Expect(furthest < near_face, "the body never passes the wall's face", furthest - near_face);
  Expect(fastest > 10.0, "the car hits the wall at speed", fastest);
  Expect(Speed(last) < 0.2, "the car stands at the wall at the end", Speed(last));
  Expect(std::fabs(Get(last, "Wall.z") - kWallZ) < 1e-6, "the wall stays where it is", Get(last, "Wall.z"));
  Expect(Y(last) > 30.0 && Y(last) < 120.0, "the car stays on its wheels", Y(last));
}

// "Go" gives 80 % throttle at the start; "Brake and turn" brakes and steers
// once the car is within its radius; the car stops there, turned.
void CheckMarkers(const std::vector<Row>& rows) {
  const Row& early = At(rows, 2.0);
  Expect(std::fabs(Get(early, "Car:2504") - kGoThrottle / 100.0) < 1e-6, "Go's throttle drives the car", Get(early, "Car:2504"));
  Expect(Get(early, "Car:2505") == 0.0, "no brake before the second marker", Get(early, "Car:2505"));
  Expect(std::fabs(X(early)) < 1.0, "straight before the second marker", X(early));
  // The first frame with the brake on.
  size_t braked = rows.size();
  for (size_t i = 0; i < rows.size() && braked == rows.size(); ++i)
    if (Get(rows[i], "Car:2505") > 0.0) braked = i;
  Expect(braked < rows.size(), "the second marker brakes", 0);
  if (braked >= rows.size()) return;
  // The car is within the radius when the marker takes over (the frame ends
  // up to one frame's travel later).
  const Row& b = rows[braked];
  const double reach = kMarkerRadius + Speed(b) * 100.0 / kFps + 5.0;
  Expect(std::hypot(X(b), Z(b) - kTurnMarkerZ) < reach, "braking starts at the marker", std::hypot(X(b), Z(b) - kTurnMarkerZ));
  Expect(Z(b) < kTurnMarkerZ, "braking starts before the marker's centre", Z(b));
  const Row& last = rows.back();
  Expect(std::fabs(Get(last, "Car:2505") - kTurnBrake / 100.0) < 1e-6, "the brake holds the marker's value", Get(last, "Car:2505"));
  Expect(std::fabs(Get(last, "Car:2507")) > 0.5, "the steering holds the marker's value", Get(last, "Car:2507"));
  Expect(Speed(last) < 0.1, "the car stops", Speed(last));
  Expect(std::fabs(Heading(last)) > 30.0, "the car turned after the marker", Heading(last));
  Expect(Z(last) > Z(b), "the car stops beyond where it braked", Z(last) - Z(b));
}

// The tread links run round the track with the car: each is under the car,
// goes over the top and back, and a link on the ground stays put.
void CheckTracks(const std::vector<Row>& rows) {
  const Row& last = rows.back();
  Expect(Z(last) > 2000.0, "the tracked car drives more than 20 m", Z(last));
  Expect(std::fabs(X(last)) < 10.0 && std::fabs(Heading(last)) < 1.0, "straight along +z", X(last));
  for (const char* side : {"TreadLeft", "TreadRight"}) {
    const std::string s = side;
    double low = 1e30, high = -1e30, far = 0.0, slid = 0.0;
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& r = rows[i];
      const double y = Get(r, s + ".y"), z = Get(r, s + ".z");
      low = std::min(low, y);
      high = std::max(high, y);
      far = std::max(far, std::fabs(z - Z(r)));
      // On the lower run the link lies on the ground while the car rolls over it.
      if (i > 0 && y < 10.0 && Get(rows[i - 1], s + ".y") < 10.0)
        slid = std::max(slid, std::fabs(z - Get(rows[i - 1], s + ".z")));
    }
    Expect(low < 10.0, s + " touches the ground", low);
    Expect(high > 50.0, s + " goes over the top of the track", high);
    Expect(far < 2.0 * kHalfCar, s + " stays with the car", far);
    Expect(slid < 5.0, s + " does not slide on the ground", slid);
  }
}

// Height of the ramp's surface at z (on the ramp).
double RampHeight(double z) { return (z - kRampStartZ) * std::tan(kRampDegrees * kPi / 180.0); }

// The car drives up the ramp: it rides on its surface at its slope.
void CheckGround(const std::vector<Row>& rows) {
  const Row& start = rows.front();
  const double ride = Y(start);
  const double top = kRampStartZ + kRampLength * std::cos(kRampDegrees * kPi / 180.0);
  int on_ramp = 0;
  double worst_height = 0.0, worst_pitch = 0.0, highest = -1e30;
  for (const Row& r : rows) {
    highest = std::max(highest, Y(r));
    // The whole car on the ramp, clear of both edges.
    if (Z(r) - kHalfCar < kRampStartZ + 200.0 || Z(r) + kHalfCar > top - 50.0) continue;
    ++on_ramp;
    // The body rides its rest height above the surface, measured square to it.
    const double clearance = (Y(r) - RampHeight(Z(r))) * std::cos(kRampDegrees * kPi / 180.0);
    worst_height = std::max(worst_height, std::fabs(clearance - ride));
    worst_pitch = std::max(worst_pitch, std::fabs(Pitch(r) - kRampDegrees));
  }
  Expect(on_ramp > 30, "more than a second on the ramp", on_ramp);
  Expect(worst_height < 15.0, "the body rides on the ramp at its height", worst_height);
  Expect(worst_pitch < 3.0, "the body takes the ramp's slope", worst_pitch);
  Expect(highest > 0.8 * RampHeight(top) + ride, "the car climbs the ramp", highest);
  const Row& before = At(rows, 1.0);
  Expect(Z(before) + kHalfCar < kRampStartZ && std::fabs(Y(before) - ride) < 2.0, "on the flat ground before the ramp",
         Y(before));
  // After the ramp's top edge the car comes down on the ground again.
  const Row& last = rows.back();
  Expect(Z(last) > top, "the car drives off the ramp's top", Z(last));
  Expect(std::fabs(Y(last) - ride) < 20.0, "it lands on the ground again", Y(last));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: check_example NAME CSV\n");
    return 2;
  }
  const std::string name = argv[1];
  std::vector<Row> rows;
  if (!ReadCsv(argv[2], rows)) {
    std::printf("FAILED: cannot read %s\n", argv[2]);
    return 1;
  }
  if (name == "drive") CheckDrive(rows);
  else if (name == "route") CheckRoute(rows);
  else if (name == "crash") CheckCrash(rows);
  else if (name == "markers") CheckMarkers(rows);
  else if (name == "tracks") CheckTracks(rows);
  else if (name == "ground") CheckGround(rows);
  else {
    std::fprintf(stderr, "check_example: no example named '%s'\n", name.c_str());
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
