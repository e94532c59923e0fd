// simhost: the headless stand-in host. Loads the plug-in modules of a plug-in
// folder through c4d_main, lists what they registered, and plays and saves
// scene files.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host_animation.h"
#include "host_draw.h"
#include "host_file.h"
#include "host_loader.h"
#include "host_scenefile.h"
#include "host_services.h"

namespace {

const char* kUsage =
    "usage: simhost [options] <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  plugins                 list the loaded modules and their registrations in order\n"
    "  play SCENE [--from F] [--to F] [--csv OUT] [--object NAME]... [--param NAME:ID]...\n"
    "       [--matrix NAME]...\n"
    "                          evaluate the scene frame by frame (from its minimum to its\n"
    "                          maximum time unless given) and write a CSV of the named\n"
    "                          objects' global positions and the chosen container values\n"
    "                          (--param NAME:ID reads parameter ID of object NAME;\n"
    "                          --matrix NAME writes the object's whole global matrix)\n"
    "  save SCENE OUT          load a scene and save it again (normalised)\n"
    "  bake SCENE --out BAKED [--from F] [--to F]\n"
    "                          bake every simulation object of the scene over its bake\n"
    "                          range (or frames F to T) into keys and write the baked\n"
    "                          scene: played, its cars follow their keys without the\n"
    "                          simulation\n"
    "  demo [--out DIR] [--seconds N] [--throttle T] [--steer S]\n"
    "                          build the default scene (a simulation and one car added\n"
    "                          with its button), drive the car with direct throttle T\n"
    "                          (0..1, default 1) and steering S (-1..1, default 0) for N\n"
    "                          seconds (default 10), and write DIR/demo_path.csv (the\n"
    "                          car's path and outputs, one row a frame) and\n"
    "                          DIR/demo_scene.json (default DIR: demo_out)\n"
    "  render SCENE --frame N --out PICTURE.png [--size WxH]\n"
    "                          evaluate the scene up to frame N and draw the view to a PNG\n"
    "\n"
    "options:\n"
    "  --plugins DIR           plug-in folder (default: the 'plugins' folder beside bin/)\n"
    "  --lang us|de            interface language of the plug-ins (default us)\n"
    "  --host-version N        host version number handed to the modules (default 13000)\n"
    "  --answers FILE          answers for file selectors and questions, one a line:\n"
    "                          'file PATH', 'cancel', 'yes' or 'no'\n"
    "  --help                  this text\n";

void OnInterrupt(int) { BaseThread::RequestBreak(true); }

int Fail(const std::string& msg) {
  std::fprintf(stderr, "simhost: %s\n", msg.c_str());
  return 1;
}

std::string DefaultPluginFolder(const char* argv0) {
  std::error_code ec;
  auto exe = std::filesystem::canonical("/proc/self/exe", ec);
  if (ec) exe = std::filesystem::absolute(argv0);
  return (exe.parent_path().parent_path() / "plugins").string();
}

const char* KindName(LONG type) {
  switch (type) {
    case PLUGINTYPE_OBJECT: return "object";
    case PLUGINTYPE_TAG: return "tag";
    case PLUGINTYPE_COMMAND: return "command";
    default: return "other";
  }
}

int ListPlugins() {
  for (const auto& m : PluginHost::Get().Modules()) {
    std::printf("module %s (%s)\n", m.name.c_str(), m.file.GetString().c_str());
    for (const BasePlugin* p : hostregistry::All()) {
      if (p->module != m.name) continue;
      std::printf("  %-8s %8d  %s\n", KindName(p->type), p->id, p->name.c_str());
    }
  }
  return 0;
}

struct ParamColumn {
  std::string object;
  LONG id;
};

std::string CsvEscape(const std::string& s) {
  if (s.find_first_of(",\"\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string FormatValue(const GeData& d) {
  char buf[128];
  switch (d.GetType()) {
    case DA_LONG: return std::to_string(d.GetLong());
    case DA_REAL: std::snprintf(buf, sizeof buf, "%.9g", d.GetReal()); return buf;
    case DA_VECTOR: {
      Vector v = d.GetVector();
      std::snprintf(buf, sizeof buf, "%.9g %.9g %.9g", v.x, v.y, v.z);
      return buf;
    }
    case DA_STRING: return CsvEscape(d.GetString());
    case DA_NIL: return "";
    default: return "?";
  }
}

int Play(BaseDocument* doc, const std::vector<std::string>& args) {
  LONG fps = doc->GetFps();
  LONG from = doc->GetMinTime().GetFrame(fps), to = doc->GetMaxTime().GetFrame(fps);
  std::string csv_path;
  std::vector<std::string> objects;
  std::vector<std::string> matrices;
  std::vector<ParamColumn> params;
  for (size_t i = 0; i < args.size(); ++i) {
    auto need = [&](const char* opt) -> std::string {
      if (i + 1 >= args.size()) throw std::runtime_error(std::string(opt) + " needs a value");
      return args[++i];
    };
    try {
      if (args[i] == "--from") from = std::stoi(need("--from"));
      else if (args[i] == "--to") to = std::stoi(need("--to"));
      else if (args[i] == "--csv") csv_path = need("--csv");
      else if (args[i] == "--object") objects.push_back(need("--object"));
      else if (args[i] == "--matrix") matrices.push_back(need("--matrix"));
      else if (args[i] == "--param") {
        std::string v = need("--param");
        size_t colon = v.rfind(':');
        if (colon == std::string::npos || colon == 0) throw std::runtime_error("--param wants NAME:ID, got '" + v + "'");
        params.push_back({v.substr(0, colon), std::stoi(v.substr(colon + 1))});
      } else {
        throw std::runtime_error("unknown play option '" + args[i] + "'");
      }
    } catch (const std::logic_error&) {
      return Fail("play: bad number in '" + args[i] + "'");
    } catch (const std::runtime_error& e) {
      return Fail(std::string("play: ") + e.what());
    }
  }
  for (const auto& name : objects)
    if (!doc->SearchObject(String(name))) return Fail("play: no object named '" + name + "' in the scene");
  for (const auto& name : matrices)
    if (!doc->SearchObject(String(name))) return Fail("play: no object named '" + name + "' in the scene");
  for (const auto& p : params)
    if (!doc->SearchObject(String(p.object))) return Fail("play: no object named '" + p.object + "' in the scene");

  std::FILE* out = stdout;
  if (!csv_path.empty()) {
    out = std::fopen(csv_path.c_str(), "w");
    if (!out) return Fail("play: cannot write " + csv_path);
  }
  std::fprintf(out, "frame,time");
  for (const auto& name : objects) std::fprintf(out, ",%s.x,%s.y,%s.z", CsvEscape(name).c_str(), CsvEscape(name).c_str(), CsvEscape(name).c_str());
  for (const auto& name : matrices)
    for (const char* part : {"off", "v1", "v2", "v3"})
      for (const char* axis : {"x", "y", "z"})
        std::fprintf(out, ",%s", CsvEscape(name + "." + part + "." + axis).c_str());
  for (const auto& p : params) std::fprintf(out, ",%s", CsvEscape(p.object + ":" + std::to_string(p.id)).c_str());
  std::fprintf(out, "\n");

  BaseThread thread;
  int status = 0;
  for (LONG frame = from; frame <= to; ++frame) {
    if (thread.TestBreak()) {
      std::fprintf(stderr, "simhost: interrupted at frame %d\n", frame);
      status = 130;
      break;
    }
    doc->SetTime(BaseTime(static_cast<Real>(frame), static_cast<Real>(fps)));
    doc->ExecutePasses(&thread, true, true, true);
    std::fprintf(out, "%d,%.9g", frame, doc->GetTime().Get());
    for (const auto& name : objects) {
      BaseObject* op = doc->SearchObject(String(name));
      Vector p = op ? op->GetMg().off : Vector();
      std::fprintf(out, ",%.9g,%.9g,%.9g", p.x, p.y, p.z);
    }
    for (const auto& name : matrices) {
      BaseObject* op = doc->SearchObject(String(name));
      const Matrix m = op ? op->GetMg() : Matrix();
      for (const Vector& v : {m.off, m.v1, m.v2, m.v3}) std::fprintf(out, ",%.9g,%.9g,%.9g", v.x, v.y, v.z);
    }
    for (const auto& p : params) {
      BaseObject* op = doc->SearchObject(String(p.object));
      GeData d;
      if (op) d = op->GetDataInstance()->GetData(p.id);
      std::fprintf(out, ",%s", FormatValue(d).c_str());
    }
    std::fprintf(out, "\n");
  }
  if (out != stdout) std::fclose(out);
  return status;
}

int Render(BaseDocument* doc, const std::vector<std::string>& args) {
  LONG frame = -1;
  std::string out;
  hostdraw::RenderOptions opts;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return Fail("render: " + args[i] + " needs a value");
    const std::string& v = args[i + 1];
    try {
      if (args[i] == "--frame") {
        frame = std::stoi(v);
      } else if (args[i] == "--out") {
        out = v;
      } else if (args[i] == "--size") {
        size_t x = v.find('x');
        if (x == std::string::npos) return Fail("render: --size wants WxH, got '" + v + "'");
        opts.width = std::stoi(v.substr(0, x));
        opts.height = std::stoi(v.substr(x + 1));
      } else {
        return Fail("render: unknown option '" + args[i] + "'");
      }
    } catch (const std::logic_error&) {
      return Fail("render: bad number '" + v + "'");
    }
  }
  if (frame < 0 || out.empty()) return Fail("render needs --frame N and --out PICTURE.png");
  // Frames before the wanted one are evaluated in order, as playing would.
  BaseThread thread;
  LONG fps = doc->GetFps();
  for (LONG f = doc->GetMinTime().GetFrame(fps); f < frame && !thread.TestBreak(); ++f) {
    doc->SetTime(BaseTime(static_cast<Real>(f), static_cast<Real>(fps)));
    doc->ExecutePasses(&thread, true, true, true);
  }
  String error;
  if (!hostdraw::RenderFrame(doc, frame, Filename(String(out)), opts, &error)) return Fail("render: " + error);
  return 0;
}

// ---------------------------------------------------------------- demo

// The plug-in ids and parameters the demo drives. The host knows no plug-in,
// so they are spelled out here as a user would find them.
enum : LONG {
  kSimType = 1011582,
  kCarType = 1019402,
  kSimAddCar = 1020,     // the Sim's "add car" button
  kCarDirectBits = 9900, // direct input: 1 steering, 2 throttle
  kCarDirectSteer = 9901,
  kCarDirectThrottle = 9902,
  kCarWheelDiameterFront = 1020,
  kCarBodyLink = 5600,
  kCarHubLink = 5602,    // + wheel
  // The car's buttons that add parts to its rig.
  kCarSteeringWheel = 2032,
  kCarThrottlePedal = 2037,
  kCarBrakePedal = 2042,
  kCarHandBrake = 2047,
  kCarBrakeLight = 2052,
  kCarSprings = 2064,
  kCarSkidMarks = 2089,
  kCarOutputObject = 2001,
};

struct DemoOptions {
  std::string out = "demo_out";
  double seconds = 10.0;
  double throttle = 1.0;
  double steer = 0.0;
};

int Demo(const std::vector<std::string>& args) {
  DemoOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return Fail("demo: " + args[i] + " needs a value");
    const std::string& v = args[++i];
    try {
      if (args[i - 1] == "--out") o.out = v;
      else if (args[i - 1] == "--seconds") o.seconds = std::stod(v);
      else if (args[i - 1] == "--throttle") o.throttle = std::stod(v);
      else if (args[i - 1] == "--steer") o.steer = std::stod(v);
      else return Fail("demo: unknown option '" + args[i - 1] + "'");
    } catch (const std::logic_error&) {
      return Fail("demo: bad number '" + v + "'");
    }
  }
  if (!(o.seconds > 0.0 && o.seconds <= 3600.0)) return Fail("demo: --seconds wants a time in (0, 3600]");
  if (!(o.throttle >= 0.0 && o.throttle <= 1.0)) return Fail("demo: --throttle wants a value in [0, 1]");
  if (!(o.steer >= -1.0 && o.steer <= 1.0)) return Fail("demo: --steer wants a value in [-1, 1]");
  std::error_code ec;
  std::filesystem::create_directories(o.out, ec);
  if (ec) return Fail("demo: cannot make " + o.out + ": " + ec.message());

  BaseDocument* doc = BaseDocument::Alloc();
  if (!doc) return Fail("demo: no document");
  struct Closer {
    BaseDocument*& d;
    ~Closer() { BaseDocument::Free(d); }
  } closer{doc};
  const LONG fps = doc->GetFps();
  const LONG frames = static_cast<LONG>(std::lround(o.seconds * fps));
  doc->SetMaxTime(BaseTime(static_cast<Real>(frames), static_cast<Real>(fps)));
  doc->SetLoopMaxTime(doc->GetMaxTime());

  BaseObject* sim = BaseObject::Alloc(kSimType);
  if (!sim) return Fail("demo: the simulation object is not registered (is vanto loaded?)");
  doc->InsertObject(sim, nullptr, nullptr);
  DescID add_car(kSimAddCar);
  sim->Message(MSG_DESCRIPTION_COMMAND, &add_car);
  BaseObject* car = sim->GetDown();
  while (car && car->GetType() != kCarType) car = car->GetNext();
  if (!car) return Fail("demo: the simulation's add-car button made no car");
  // The car's own buttons: instruments, springs, skid marks and the output
  // object, so that the scene shows them moving.
  for (LONG button : {kCarSteeringWheel, kCarThrottlePedal, kCarBrakePedal, kCarHandBrake, kCarBrakeLight,
                      kCarSprings, kCarSkidMarks, kCarOutputObject}) {
    DescID press(button);
    car->Message(MSG_DESCRIPTION_COMMAND, &press);
  }
  doc->SetActiveObject(car);

  // The driver, keyed as a user would: the run clears the direct inputs when
  // it starts, and the animation pass sets them again on every later frame,
  // so the saved scene drives the same way when it is played.
  const std::pair<LONG, GeData> inputs[] = {
      {kCarDirectBits, GeData(1 | 2)}, {kCarDirectSteer, GeData(o.steer)}, {kCarDirectThrottle, GeData(o.throttle)}};
  for (const auto& [id, value] : inputs) {
    CTrack* track = CTrack::Alloc(car, DescID(id));
    if (!track || !car->InsertTrackSorted(track)) {
      CTrack::Free(track);
      return Fail("demo: cannot key the car's inputs");
    }
    track->GetCurve()->AddKey(BaseTime(0.0))->SetGeData(value);
  }

  const std::string csv_path = (std::filesystem::path(o.out) / "demo_path.csv").string();
  std::FILE* csv = std::fopen(csv_path.c_str(), "w");
  if (!csv) return Fail("demo: cannot write " + csv_path);
  std::fprintf(csv,
               "frame,time,x,y,z,heading_deg,speed_kmh,speed_ms,rpm,gear,throttle,steer,"
               "spin_fl,spin_fr,spin_rl,spin_rr,wheel_radius_m,wheel_fl_x,wheel_fl_y,wheel_fl_z\n");

  BaseThread thread;
  int status = 0;
  for (LONG frame = 0; frame <= frames; ++frame) {
    if (thread.TestBreak()) {
      std::fprintf(stderr, "simhost: interrupted at frame %d\n", frame);
      status = 130;
      break;
    }
    BaseContainer* bc = car->GetDataInstance();
    doc->SetTime(BaseTime(static_cast<Real>(frame), static_cast<Real>(fps)));
    doc->ExecutePasses(&thread, true, true, true);

    BaseObject* body = bc->GetObjectLink(kCarBodyLink, doc);
    BaseObject* hub = bc->GetObjectLink(kCarHubLink, doc);
    const Matrix m = body ? body->GetMg() : Matrix();
    const Vector w = hub ? hub->GetMg().off : Vector();
    const double heading = std::atan2(m.v3.x, m.v3.z) * 180.0 / pi;
    const double radius = bc->GetReal(kCarWheelDiameterFront) / 2.0 / 100.0;
    std::fprintf(csv, "%d,%.9g,%.9g,%.9g,%.9g,%.9g", frame, doc->GetTime().Get(), m.off.x, m.off.y, m.off.z, heading);
    for (LONG id : {2500, 2501, 2502, 2503, 2504, 2507, 2510, 2511, 2512, 2513})
      std::fprintf(csv, ",%s", FormatValue(bc->GetData(id)).c_str());
    std::fprintf(csv, ",%.9g,%.9g,%.9g,%.9g\n", radius, w.x, w.y, w.z);
  }
  std::fclose(csv);

  const std::string scene_path = (std::filesystem::path(o.out) / "demo_scene.json").string();
  String error;
  if (!scenefile::Save(doc, Filename(String(scene_path)), &error)) return Fail("demo: " + std::string(error));

  const BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = bc->GetObjectLink(kCarBodyLink, doc);
  const Vector p = body ? body->GetMg().off : Vector();
  std::printf("demo: %.2f s, car at (%.1f, %.1f, %.1f), %.1f km/h in gear %d, %d rpm\n", o.seconds, p.x, p.y, p.z,
              bc->GetReal(2500), bc->GetLong(2503), bc->GetLong(2502));
  std::printf("demo: wrote %s and %s\n", csv_path.c_str(), scene_path.c_str());
  return status;
}

// ---------------------------------------------------------------- bake

// The Sim's parameters the bake command sets and reads.
enum : LONG {
  kSimBakeButton = 1200,
  kSimBakeStart = 1201,  // Time
  kSimBakeEnd = 1202,    // Time
  kSimRunState = 5002,   // 2: baked, the cars play their keys
  kSimStateBaked = 2,
};

std::string SimLabel(const BaseObject* sim) {
  const std::string name = sim->GetName();
  return name.empty() ? std::string("the simulation") : "'" + name + "'";
}

int Bake(BaseDocument* doc, const std::vector<std::string>& args) {
  std::string out;
  LONG from = -1, to = -1;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return Fail("bake: " + args[i] + " needs a value");
    const std::string& v = args[i + 1];
    try {
      if (args[i] == "--out") out = v;
      else if (args[i] == "--from") from = std::stoi(v);
      else if (args[i] == "--to") to = std::stoi(v);
      else return Fail("bake: unknown option '" + args[i] + "'");
    } catch (const std::logic_error&) {
      return Fail("bake: bad number '" + v + "'");
    }
  }
  if (out.empty()) return Fail("bake needs --out BAKED");
  if ((from >= 0) != (to >= 0) || (from >= 0 && (from < 1 || to < from)))
    return Fail("bake: --from F and --to T go together, with 1 <= F <= T");

  std::vector<BaseObject*> sims;
  doc->ForEachObject([&](BaseObject* op) {
    if (op->GetType() == kSimType) sims.push_back(op);
  });
  if (sims.empty()) return Fail("bake: the scene has no simulation object");
  const LONG fps = doc->GetFps();
  for (BaseObject* sim : sims) {
    BaseContainer* bc = sim->GetDataInstance();
    if (bc->GetLong(kSimRunState) == kSimStateBaked)
      return Fail("bake: " + SimLabel(sim) + " is already baked (rebuild its cars first)");
    if (from >= 0) {
      bc->SetTime(kSimBakeStart, BaseTime(static_cast<Real>(from), static_cast<Real>(fps)));
      bc->SetTime(kSimBakeEnd, BaseTime(static_cast<Real>(to), static_cast<Real>(fps)));
    }
  }

  BaseThread thread;
  for (BaseObject* sim : sims) {
    // As in the editor: the bake button works at time 0, with the scene
    // evaluated there.
    doc->SetTime(BaseTime(0.0, static_cast<Real>(fps)));
    doc->ExecutePasses(&thread, true, true, true);
    const size_t boxes = hostlog::Dialogs().size();
    DescID bake(kSimBakeButton);
    sim->Message(MSG_DESCRIPTION_COMMAND, &bake);
    const std::string name = SimLabel(sim);
    if (hostlog::Dialogs().size() > boxes) return Fail("bake: " + name + ": " + std::string(hostlog::Dialogs().back()));
    if (sim->GetDataInstance()->GetLong(kSimRunState) != kSimStateBaked)
      return Fail("bake: " + name + " has nothing to bake");
    std::printf("bake: %s baked\n", name.c_str());
  }
  String error;
  if (!scenefile::Save(doc, Filename(String(out)), &error)) return Fail("bake: " + std::string(error));
  std::printf("bake: wrote %s\n", out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string plugin_dir = DefaultPluginFolder(argv[0]);
  std::string command;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!command.empty()) {
      rest.push_back(a);
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--plugins" || a == "--lang" || a == "--host-version" || a == "--answers") {
      if (i + 1 >= args.size()) return Fail(a + " needs a value\n" + kUsage);
      std::string v = args[++i];
      if (a == "--plugins") {
        plugin_dir = v;
      } else if (a == "--answers") {
        String error;
        if (!hostdialog::LoadScript(Filename(String(v)), &error)) return Fail(error);
      } else if (a == "--lang") {
        if (v != "us" && v != "de") return Fail("--lang takes 'us' or 'de', not '" + v + "'");
        HostSetLanguageFolder(String("strings_" + v));
      } else {
        try {
          PluginHost::Get().SetHostVersion(std::stoi(v));
        } catch (const std::logic_error&) {
          return Fail("--host-version takes a number, not '" + v + "'");
        }
      }
    } else if (a.rfind("--", 0) == 0) {
      return Fail("unknown option '" + a + "'\n" + kUsage);
    } else {
      command = a;
    }
  }
  if (command.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (command != "plugins" && command != "play" && command != "save" && command != "render" && command != "demo" &&
      command != "bake")
    return Fail("unknown command '" + command + "'\n" + kUsage);

  std::signal(SIGINT, OnInterrupt);

  std::vector<String> errors;
  LONG loaded = PluginHost::Get().LoadFolder(Filename(String(plugin_dir)), &errors);
  for (const auto& e : errors) std::fprintf(stderr, "simhost: %s\n", e.c_str());
  if (loaded == 0) return Fail("no plug-in could be loaded from " + plugin_dir);

  int status = 0;
  if (command == "plugins") {
    status = ListPlugins();
  } else if (command == "demo") {
    status = Demo(rest);
  } else {
    if (rest.empty()) return Fail(command + " needs a scene file\n" + kUsage);
    String error;
    BaseDocument* doc = scenefile::Load(Filename(String(rest[0])), &error);
    if (!doc) {
      status = Fail(error);
    } else if (command == "play") {
      status = Play(doc, std::vector<std::string>(rest.begin() + 1, rest.end()));
    } else if (command == "render") {
      status = Render(doc, std::vector<std::string>(rest.begin() + 1, rest.end()));
    } else if (command == "bake") {
      status = Bake(doc, std::vector<std::string>(rest.begin() + 1, rest.end()));
    } else {
      if (rest.size() != 2) {
        status = Fail("save needs SCENE and OUT\n" + std::string(kUsage));
      } else if (!scenefile::Save(doc, Filename(String(rest[1])), &error)) {
        status = Fail(error);
      }
    }
    BaseDocument::Free(doc);
  }
  PluginHost::Get().UnloadAll();
  return status;
}
