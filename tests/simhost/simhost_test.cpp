// simhost from the command line: inputs that must fail with a message and
// leave nothing half-written, and the scripted sessions of examples/.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "csv_checks.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

struct Result {
  int rc = -1;
  std::string out, err;
};

std::string Read(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A fresh folder for one case.
fs::path CaseFolder(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / "simhost_e2e" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Runs simhost in dir with the given arguments (already quoted where need
// be); setup is shell text run first (limits, signals).
Result Simhost(const fs::path& dir, const std::string& args, const std::string& plugins = CARSIM_PLUGIN_ROOT,
           const std::string& setup = "") {
  const std::string out = (dir / ".stdout").string(), err = (dir / ".stderr").string();
  const std::string cmd = "cd " + Quote(dir.string()) + " && " + setup + " exec " + std::string(SIMHOST_EMULATOR) + " " + Quote(SIMHOST_PROGRAM) +
                          " --plugins " + Quote(plugins) + " " + args + " >" + Quote(out) + " 2>" + Quote(err);
  Result r;
  const int status = std::system(("sh -c " + Quote(cmd)).c_str());
  r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = Read(out);
  r.err = Read(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

json StandingCar() {
  return json::parse(Read(CARSIM_SOURCE_DIR "/tests/vanto/sim/data/standing_car.json"));
}

// ---------------------------------------------------------------- bad scenes

TEST(SimhostInput, BadScenesFailEveryCommandWithTheirPlace) {
  struct Case {
    const char* name;
    std::string scene;  // text of scene.json
    std::string error;
  };
  const std::string standing = StandingCar().dump(1);
  auto edit = [&](auto change) {
    json j = StandingCar();
    change(j);
    return j.dump(1);
  };
  std::string deep_data = std::string(100000, '[') + std::string(100000, ']');
  const Case cases[] = {
      {"number beyond a double", "{\"format\": \"simhost scene\",\n\"version\": 1e400}",
       "line 2, column 12: the number 1e400 is outside the range of a double"},
      {"deep node data",
       [&] {
         std::string text = standing;
         const std::string at = "\"tracks\": [],";
         text.insert(text.find(at), "\"data\": " + deep_data + ",");
         return text;
       }(),
       "values nested deeper than 4000 levels"},
      {"gravity as text",
       edit([](json& j) { j["objects"][0]["container"]["1002"] = {{"type", "string"}, {"value", "9.81"}}; }),
       "objects[0].container[\"1002\"]: parameter 1002 (Gravity) takes a real, not a string"},
      {"a key holding a link",
       edit([](json& j) {
         j["objects"][0]["children"][0]["tracks"] = json::parse(R"([{"id": [[2036, 19, 0]], "keys": [
             {"time": {"num": 0, "den": 1}, "value": 0, "data": {"type": "link", "value": {"object": [0]}}}]}])");
       }),
       "objects[0].children[0].tracks[0].keys[0].data: parameter 2036 (Throttle Needle Angle) takes a real, not a link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = CaseFolder("bad_scene");
    Write(dir / "scene.json", c.scene);
    for (const char* command :
         {"save scene.json out.json", "play scene.json --csv out.csv", "bake scene.json --out out.json",
          "render scene.json --frame 1 --out out.png", "run script.txt"}) {
      SCOPED_TRACE(command);
      Write(dir / "script.txt", "load scene.json\nsave out.json\n");
      const Result r = Simhost(dir, command);
      EXPECT_EQ(r.rc, 1);
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err.substr(0, 300);
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err.substr(0, 300);
      EXPECT_EQ(Listing(dir), (std::set<std::string>{"scene.json", "script.txt"}));
    }
  }
}

TEST(SimhostInput, UnreadableScenesReportTheReadError) {
  const fs::path dir = CaseFolder("unreadable");
  fs::create_directory(dir / "folder.json");
  Result r = Simhost(dir, "play folder.json");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "simhost: cannot read scene file 'folder.json': it is a folder\n");
  r = Simhost(dir, "save missing.json out.json");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "simhost: cannot read scene file 'missing.json': No such file or directory\n");
}

// ---------------------------------------------------------------- frames

TEST(SimhostInput, FrameRangesThatCannotBePlayedAreRefused) {
  const fs::path dir = CaseFolder("frames");
  json scene = StandingCar();
  Write(dir / "scene.json", scene.dump(1));
  // The last frame number ends the loop: one row, no overflow.
  Result r = Simhost(dir, "play scene.json --from 2147483647 --to 2147483647 --csv last.csv --object Body");
  EXPECT_EQ(r.rc, 0) << r.err;
  std::vector<csvcheck::Row> rows;
  ASSERT_TRUE(csvcheck::ReadCsv((dir / "last.csv").c_str(), rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["frame"], 2147483647.0);

  struct Case {
    const char* name;
    std::string args;
    std::function<void(json&)> change;
    std::string error;
  };
  const std::string beyond = "the scene's time range";
  const Case cases[] = {
      {"huge frame rate", "play scene.json --csv out.csv", [](json& j) { j["fps"] = 2147483647; }, beyond},
      {"endless scene", "play scene.json --csv out.csv", [](json& j) { j["max_time"] = {{"num", "inf"}, {"den", 1}}; },
       beyond},
      {"scene from -1e300 s", "play scene.json --csv out.csv",
       [](json& j) { j["min_time"] = {{"num", -1e300}, {"den", 1}}; }, beyond},
      {"first after last", "play scene.json --from 10 --to 9 --csv out.csv", nullptr,
       "play: the first frame 10 lies after the last 9"},
      {"frame beyond the integers", "play scene.json --from 2147483648", nullptr, "play: bad number in '--from 2147483648'"},
      {"render far past the scene", "render scene.json --frame 2000000000 --out out.png", nullptr,
       "render: frame 2000000000 lies outside the scene's frames 0 to 150"},
      {"render an endless scene", "render scene.json --frame 3 --out out.png",
       [](json& j) { j["max_time"] = {{"num", "inf"}, {"den", 1}}; }, beyond},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    json j = StandingCar();
    if (c.change) c.change(j);
    Write(dir / "scene.json", j.dump(1));
    fs::remove(dir / "last.csv");
    r = Simhost(dir, c.args);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"scene.json"}));
  }
}

// ---------------------------------------------------------------- output

TEST(SimhostOutput, WritesThatFailAreReportedAndLeaveNothingBehind) {
  const fs::path dir = CaseFolder("writes");
  Write(dir / "scene.json", StandingCar().dump(1));
  Write(dir / "old.csv", "old");

  Result r = Simhost(dir, "play scene.json --csv /dev/full --object Body");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "simhost: play: cannot write '/dev/full': No space left on device\n");

  // A file system that takes no more than 4 KiB per file (the signal that
  // would kill the program is ignored, so every write reports the error).
  const std::string small = "trap '' XFSZ; ulimit -f 8;";
  r = Simhost(dir, "play scene.json --csv old.csv --object Body", CARSIM_PLUGIN_ROOT, small);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "simhost: play: cannot write 'old.csv': File too large\n");
  EXPECT_EQ(Read(dir / "old.csv"), "old");
  r = Simhost(dir, "demo --out demo --seconds 5", CARSIM_PLUGIN_ROOT, small);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("demo: cannot write 'demo/demo_path.csv': File too large"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(dir / "demo"));
  fs::remove(dir / "demo");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"scene.json", "old.csv"}));
}

TEST(SimhostOutput, SaveAndBakeReplaceOnlyRegularFiles) {
  const fs::path dir = CaseFolder("outputs");
  Write(dir / "scene.json", StandingCar().dump(1));
  Write(dir / "out.json.tmp", "mine");
  Write(dir / "target.json", "target");
  fs::create_symlink("target.json", dir / "link.json");
  fs::create_directory(dir / "folder.json");
  const std::set<std::string> before = Listing(dir);
  for (const std::string& out : std::vector<std::string>{"link.json", "/dev/null", "folder.json"}) {
    for (const std::string& command : {"save scene.json " + out, "bake scene.json --out " + out}) {
      SCOPED_TRACE(command);
      const Result r = Simhost(dir, command);
      EXPECT_EQ(r.rc, 1);
      EXPECT_NE(r.err.find("cannot write scene file '" + out + "': it exists and is not a regular file"), std::string::npos)
          << r.err;
      EXPECT_EQ(Listing(dir), before);
    }
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link.json"));
  EXPECT_EQ(Read(dir / "target.json"), "target");

  // A plain save goes beside the user's own OUT.tmp and leaves it alone.
  const Result r = Simhost(dir, "save scene.json out.json");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(Read(dir / "out.json.tmp"), "mine");
  EXPECT_TRUE(fs::is_regular_file(dir / "out.json"));
}

// ---------------------------------------------------------------- engine failures

TEST(SimhostRun, AnEngineFailureFailsPlay) {
  const fs::path dir = CaseFolder("engine_failure");
  // A car without a body cannot be simulated: the run's start fails.
  json scene = StandingCar();
  scene["objects"][0]["children"][0]["container"]["5600"]["value"] = nullptr;
  Write(dir / "scene.json", scene.dump(1));
  const Result r = Simhost(dir, "play scene.json --csv out.csv --param Sim:5002");
  EXPECT_EQ(r.rc, 1);
  // The box as the host shows it, then the failure with its frame.
  EXPECT_NE(r.err.find("[message] "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("simhost: play: frame 1: "), std::string::npos) << r.err;
  // The rows up to the failing frame are kept.
  std::vector<csvcheck::Row> rows;
  ASSERT_TRUE(csvcheck::ReadCsv((dir / "out.csv").c_str(), rows));
  EXPECT_EQ(rows.back()["frame"], 1.0);
  EXPECT_EQ(rows.back()["Sim:5002"], 4096.0);  // 0x1000: stopped on an error
}

// ---------------------------------------------------------------- plug-in resources

TEST(SimhostInput, BrokenPluginResourcesNameModuleAndFile) {
  struct Case {
    const char* name;
    std::string file;  // under the copied vanto folder
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"empty string table", "res/strings_us/c4d_strings.str", "",
       "module vanto: its string table %/vanto/res/strings_us/c4d_strings.str holds no strings"},
      {"broken description", "res/description/Osim.json", "{\"entries\": [",
       "module vanto: description resource %/vanto/res/description/Osim.json: not valid JSON"},
      {"integer limit beyond range", "res/description/Osim.json",
       R"({"entries": [{"id": 1000, "type": "long", "max": 1e300}]})",
       "module vanto: description resource %/vanto/res/description/Osim.json: entry 1000: \"max\" is beyond the integer range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = CaseFolder("resources");
    const fs::path plugins = dir / "plugins";
    fs::create_directories(plugins);
    fs::copy(fs::path(CARSIM_PLUGIN_ROOT) / "vanto", plugins / "vanto", fs::copy_options::recursive);
    Write(plugins / "vanto" / c.file, c.text);
    Write(dir / "scene.json", StandingCar().dump(1));
    const Result r = Simhost(dir, "play scene.json", plugins.string());
    EXPECT_EQ(r.rc, 1);
    std::string expected = c.error;
    expected.replace(expected.find('%'), 1, fs::absolute(plugins).lexically_normal().string());
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
  }
}

// ---------------------------------------------------------------- scripted sessions

// Copies an example script and the scenes it loads into a fresh folder and
// runs it there.
Result RunExample(const std::string& script, const fs::path& dir) {
  fs::copy_file(fs::path(CARSIM_SOURCE_DIR) / "examples" / script, dir / script);
  fs::copy_file(fs::path(CARSIM_SOURCE_DIR) / "examples" / "drive.json", dir / "drive.json");
  return Simhost(dir, "run " + script);
}

TEST(SimhostScript, SavesACarsSettingsAndLoadsThemIntoANewCar) {
  const fs::path dir = CaseFolder("script_settings");
  const Result r = RunExample("save_car_settings.txt", dir);
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // A front wheel diameter of 80 cm is a radius of 0.4 m in the file, for
  // the rear wheel too (front and rear are linked).
  EXPECT_NE(Read(dir / "car_settings.ini").find("Wheel Radius{4}=0.4000,0.4000"), std::string::npos);
  std::vector<csvcheck::Row> rows;
  ASSERT_TRUE(csvcheck::ReadCsv((dir / "car_settings.csv").c_str(), rows));
  ASSERT_EQ(rows.size(), 1u);
  // The new car started at the default 64 cm and took the file's 80 cm.
  for (const char* column : {"Source:1020", "Car:1020", "Source:1021", "Car:1021"})
    EXPECT_EQ(rows[0][column], 80.0) << column;
  // The saved scene holds both cars under the simulation.
  const json saved = json::parse(Read(dir / "two_cars.json"));
  std::vector<std::string> names;
  for (const json& child : saved["objects"][0]["children"]) names.push_back(child["name"].get<std::string>());
  EXPECT_EQ(names, (std::vector<std::string>{"Car", "Source"}));  // a new car goes first
}

TEST(SimhostScript, ScrubbingBackToTheStartResetsTheCar) {
  const fs::path dir = CaseFolder("script_scrub");
  const Result r = RunExample("scrub_back.txt", dir);
  ASSERT_EQ(r.rc, 0) << r.err;
  std::vector<csvcheck::Row> rows;
  ASSERT_TRUE(csvcheck::ReadCsv((dir / "scrub_back.csv").c_str(), rows));
  ASSERT_EQ(rows.size(), 103u);  // frames 0 to 100, then 50 and 0
  csvcheck::Row &start = rows[0], &at100 = rows[100], &at50 = rows[101], &again = rows[102];
  EXPECT_EQ(at100["frame"], 100.0);
  EXPECT_EQ(at50["frame"], 50.0);
  EXPECT_EQ(again["frame"], 0.0);
  // Driven for 100 frames the car has gone well over 20 m.
  EXPECT_GT(at100["Body.z"] - start["Body.z"], 2000.0);
  // The simulation never steps backwards: at 50 the car stays where it was.
  for (const char* axis : {"Body.x", "Body.y", "Body.z"}) EXPECT_EQ(at50[axis], at100[axis]) << axis;
  // Back before the start the car stands where it started.
  for (const char* axis : {"Body.x", "Body.y", "Body.z"}) EXPECT_EQ(again[axis], start[axis]) << axis;
}

TEST(SimhostScript, AFailingStepStopsTheScriptWithItsLine) {
  const fs::path dir = CaseFolder("script_errors");
  fs::copy_file(fs::path(CARSIM_SOURCE_DIR) / "examples" / "drive.json", dir / "drive.json");
  struct Case {
    const char* name;
    std::string script;
    std::string error;
  };
  const Case cases[] = {
      {"no scene", "frame 1\n", "script.txt:1: frame 1: no scene loaded (start with 'load SCENE')"},
      {"unknown step", "load drive.json\n\n# a comment\nfly away\n", "script.txt:4: fly away: unknown step 'fly'"},
      {"missing scene", "load nothing.json\n", "script.txt:1: load nothing.json: cannot read scene file '"},
      {"unknown object", "load drive.json\npress Truck 1030\n", "script.txt:2: press Truck 1030: no object named 'Truck'"},
      {"not a button", "load drive.json\npress Car 1020\n", "script.txt:2: press Car 1020: 'Car' has no button 1020"},
      {"button as parameter", "load drive.json\nset Car 1030 1\n", "parameter 1030 of 'Car' is a button: press it"},
      {"wrong value", "load drive.json\nset Car 1020 big\n", "script.txt:2: set Car 1020 ...: 'big' is not a number"},
      {"vector needs three", "load drive.json\nset Car 903 1 2\n", "a vector takes three numbers"},
      {"unanswered selector", "load drive.json\npress Car 1030\n", "script.txt:2: press Car 1030: a file selector came up with no answer"},
      {"frame outside", "load drive.json\nframe 500\n", "frame 500 lies outside the scene's frames 0 to 180"},
      {"open quote", "load \"drive.json\n", "script.txt:1: a quote is not closed"},
      {"answer never used", "load drive.json\nanswer file x.ini\nframe 1\n",
       "script.txt:4: end of script: 1 answer was never asked for"},
      {"failed load settings", "load drive.json\nset Car 1036 true\nanswer file missing.ini\npress Car 1035\n",
       "script.txt:4: press Car 1035: "},
      {"engine failure", "load drive.json\nset Car 5600 none\nplay 0 5\n", "script.txt:3: play 0 5: frame 1: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(dir / "script.txt", c.script + "save never.json\n");
    const Result r = Simhost(dir, "run script.txt");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    // Nothing after the failing step runs (unused answers show at the end).
    EXPECT_EQ(fs::exists(dir / "never.json"), c.error.find("end of script") != std::string::npos);
    fs::remove(dir / "never.json");
  }
}

}  // namespace
