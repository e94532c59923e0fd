// Reads the path file of `simhost demo` and checks what a driven car must
// show. Modes:
//   straight FILE  full throttle, no steering: the car runs along +z, gets
//                  faster, shifts up, and its front wheels roll at v / r
//   turn FILE      with steering: the heading turns and the car leaves the z axis
// Exit 0 when every check holds; each failed check is printed.
#include <cmath>

#include "csv_checks.h"
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using csvcheck::Expect;
using csvcheck::ReadCsv;
using csvcheck::Row;
using csvcheck::failures;



void CheckStraight(const std::vector<Row>& rows) {
  const Row& last = rows.back();
  const Row& third = rows[rows.size() / 3];
  Expect(last.at("z") > 5000.0, "the car moves along +z (scene units)", last.at("z"));
  Expect(std::fabs(last.at("x")) < 0.01 * last.at("z"), "the car keeps to the z axis", last.at("x"));
  Expect(std::fabs(last.at("heading_deg")) < 1.0, "the heading stays straight", last.at("heading_deg"));
  Expect(last.at("speed_ms") > third.at("speed_ms") + 1.0, "the car still gets faster", last.at("speed_ms"));
  Expect(third.at("speed_ms") > 3.0, "the car is under way after a third of the run", third.at("speed_ms"));
  double top_gear = 0.0, prev_speed = -1.0;
  int slower = 0, rolling = 0;
  for (const Row& r : rows) {
    top_gear = std::fmax(top_gear, r.at("gear"));
    if (r.at("speed_ms") < prev_speed - 0.5) ++slower;
    prev_speed = r.at("speed_ms");
    const double v = r.at("speed_ms"), radius = r.at("wheel_radius_m");
    if (v > 5.0 && radius > 0.0) {
      ++rolling;
      const double expected = v / radius;
      Expect(std::fabs(r.at("spin_fl") - expected) < 0.03 * expected, "front left wheel spins at v / r", r.at("spin_fl"));
      Expect(std::fabs(r.at("spin_fr") - expected) < 0.03 * expected, "front right wheel spins at v / r", r.at("spin_fr"));
    }
  }
  Expect(top_gear >= 3.0, "the gearbox shifts up through the gears", top_gear);
  Expect(slower == 0, "full throttle never loses speed by more than 0.5 m/s a frame", slower);
  Expect(rolling > 0, "some frames faster than 5 m/s", rolling);
  Expect(std::fabs(last.at("speed_kmh") - 3.6 * last.at("speed_ms")) < 0.2, "km/h reads 3.6 x m/s", last.at("speed_kmh"));
}

void CheckTurn(const std::vector<Row>& rows) {
  const Row& last = rows.back();
  Expect(std::fabs(last.at("heading_deg")) > 20.0, "the heading turns", last.at("heading_deg"));
  Expect(std::fabs(last.at("x")) > 100.0, "the car leaves the z axis", last.at("x"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo_check straight|turn FILE\n");
    return 2;
  }
  std::vector<Row> rows;
  if (!ReadCsv(argv[2], rows)) {
    std::printf("FAILED: cannot read %s\n", argv[2]);
    return 1;
  }
  const std::string mode = argv[1];
  if (mode == "straight")
    CheckStraight(rows);
  else if (mode == "turn")
    CheckTurn(rows);
  else
    return 2;
  std::printf("%s: %zu frames, %d failed checks\n", mode.c_str(), rows.size(), failures);
  return failures ? 1 : 0;
}
