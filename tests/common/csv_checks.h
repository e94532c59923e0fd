// Reading the CSV files simhost writes (one row a frame, named columns) and
// counting failed checks, for the end-to-end checkers.
#pragma once

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace csvcheck {

using Row = std::map<std::string, double>;

// False when the file cannot be read or holds no rows; empty cells read 0.
inline bool ReadCsv(const char* path, std::vector<Row>& rows) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  std::vector<std::string> names;
  std::stringstream head(line);
  for (std::string name; std::getline(head, name, ',');) names.push_back(name);
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    Row row;
    std::size_t k = 0;
    for (std::string cell; std::getline(cells, cell, ',') && k < names.size(); ++k)
      row[names[k]] = cell.empty() ? 0.0 : std::stod(cell);
    rows.push_back(row);
  }
  return !rows.empty();
}

inline int failures = 0;

// Prints a failed check with the value it saw.
inline void Expect(bool ok, const std::string& what, double value) {
  if (ok) return;
  ++failures;
  std::printf("FAILED: %s (%g)\n", what.c_str(), value);
}

}  // namespace csvcheck
