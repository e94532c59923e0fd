// Compares two CSV files of `simhost play --matrix` over a range of frames:
// the motion a simulation made and the motion its baked keys play back, for
// one object's columns: its offset within one tolerance, its axes within
// another (the thinning lets keys stray 0.001 from the motion, which a
// parent's turn carries out to its children).
//
// usage: bake_compare SIMULATED.csv PLAYED.csv FIRST LAST OBJECT OFFSET_TOL AXIS_TOL
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Table {
  std::vector<std::string> header;
  std::map<long, std::vector<double>> rows;  // by frame
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  std::string cell;
  while (std::getline(ss, cell, ',')) out.push_back(cell);
  return out;
}

bool Read(const char* path, Table& t) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  t.header = Split(line);
  while (std::getline(in, line)) {
    std::vector<std::string> cells = Split(line);
    if (cells.size() != t.header.size()) return false;
    std::vector<double> values;
    for (const std::string& c : cells) values.push_back(std::stod(c));
    t.rows[std::stol(cells[0])] = values;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: bake_compare SIMULATED.csv PLAYED.csv FIRST LAST OBJECT OFFSET_TOL AXIS_TOL\n");
    return 2;
  }
  Table sim, played;
  if (!Read(argv[1], sim) || !Read(argv[2], played)) {
    std::fprintf(stderr, "bake_compare: cannot read %s or %s\n", argv[1], argv[2]);
    return 1;
  }
  if (sim.header != played.header || sim.header.size() < 3) {
    std::fprintf(stderr, "bake_compare: the two files have other columns\n");
    return 1;
  }
  const long first = std::stol(argv[3]), last = std::stol(argv[4]);
  const std::string object = std::string(argv[5]) + ".";
  const double offset_tol = std::stod(argv[6]), axis_tol = std::stod(argv[7]);
  size_t columns = 0;
  int bad = 0;
  double worst_off = 0.0, worst_axis = 0.0;
  for (long f = first; f <= last; ++f) {
    auto a = sim.rows.find(f), b = played.rows.find(f);
    if (a == sim.rows.end() || b == played.rows.end()) {
      std::fprintf(stderr, "bake_compare: frame %ld missing\n", f);
      return 1;
    }
    for (size_t c = 2; c < sim.header.size(); ++c) {
      if (sim.header[c].rfind(object, 0) != 0) continue;
      if (f == first) ++columns;
      const bool offset = sim.header[c].find(".off.") != std::string::npos;
      const double d = std::fabs(a->second[c] - b->second[c]);
      double& worst = offset ? worst_off : worst_axis;
      if (!(d <= worst)) worst = d;
      if (!(d < (offset ? offset_tol : axis_tol)) && bad++ < 10)
        std::fprintf(stderr, "frame %ld, %s: simulated %.9g, played %.9g\n", f, sim.header[c].c_str(),
                     a->second[c], b->second[c]);
    }
  }
  if (columns != 12) {
    std::fprintf(stderr, "bake_compare: no matrix columns of %s\n", argv[5]);
    return 1;
  }
  std::printf("bake_compare: %s, frames %ld-%ld: largest offset difference %.3g, largest axis difference %.3g\n",
              argv[5], first, last, worst_off, worst_axis);
  return bad ? 1 : 0;
}
