// simhost: the headless stand-in host. Loads the plug-in modules of a plug-in
// folder through c4d_main, lists what they registered, and plays and saves
// scene files.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host_animation.h"
#include "host_description.h"
#include "host_draw.h"
#include "host_file.h"
#include "host_loader.h"
#include "host_output.h"
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
    "  run SCRIPT              run a scripted session: one step a line, stopping at the\n"
    "                          first that fails (relative paths from the script's folder):\n"
    "                            load SCENE            load a scene\n"
    "                            frame N               jump to frame N and evaluate it\n"
    "                            play FIRST LAST       evaluate the frames in order\n"
    "                            set OBJECT ID VALUE   set a parameter (a number, three for\n"
    "                                                  a vector, a text, an object's name\n"
    "                                                  or none for a link)\n"
    "                            press OBJECT ID       press a button\n"
    "                            answer file PATH | answer cancel | answer yes | answer no\n"
    "                                                  the next file selector's or question's\n"
    "                                                  answer\n"
    "                            save OUT              save the scene\n"
    "                            csv OUT COLUMN...     record on every later frame: NAME (its\n"
    "                                                  position) or NAME:ID (a parameter)\n"
    "                          \"quotes\" keep blanks in a word; # starts a comment\n"
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
  hostlog::FlushOutput();  // a pending "repeated" count belongs before this line
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

// The name the object manager shows: the object's own, or for an object
// without one its type's name (without the plug-in's sorting prefix "#$N ").
std::string ShownName(const BaseObject* op) {
  std::string name = op->GetName();
  if (!name.empty()) return name;
  name = hostregistry::TypeName(op->GetType());
  if (name.size() > 2 && name[0] == '#' && name[1] == '$') {
    const size_t blank = name.find(' ');
    name = blank == std::string::npos ? std::string() : name.substr(blank + 1);
  }
  return name;
}

// The first object in tree order that shows that name.
BaseObject* FindObject(const BaseDocument* doc, const std::string& name) {
  BaseObject* found = nullptr;
  doc->ForEachObject([&](BaseObject* op) {
    if (!found && ShownName(op) == name) found = op;
  });
  return found;
}

// ---------------------------------------------------------------- frames

// The scene's first and last frame, refused when its time range or frame
// rate puts them beyond the frame numbers the host counts with.
bool SceneFrames(const BaseDocument* doc, LONG* from, LONG* to, std::string* error) {
  const Real fps = static_cast<Real>(doc->GetFps());
  const Real first = std::floor(doc->GetMinTime().Get() * fps + 1e-6);
  const Real last = std::floor(doc->GetMaxTime().Get() * fps + 1e-6);
  const auto fits = [](Real f) { return f >= -2147483647.0 && f <= 2147483647.0; };
  if (!fits(first) || !fits(last)) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "the scene's time range (%g s to %g s at %d fps) lies beyond the frames that can be played",
                  doc->GetMinTime().Get(), doc->GetMaxTime().Get(), doc->GetFps());
    *error = buf;
    return false;
  }
  *from = static_cast<LONG>(first);
  *to = static_cast<LONG>(last);
  return true;
}

// One evaluation of the document at a frame, as the host's timeline does.
void Evaluate(BaseDocument* doc, BaseThread* thread, LONG frame) {
  doc->SetTime(BaseTime(static_cast<Real>(frame), static_cast<Real>(doc->GetFps())));
  doc->ExecutePasses(thread, true, true, true);
}

// Why an evaluation or a button failed: the message box it showed (an
// engine failure is reported in one). Empty when none came up since count.
std::string NewBox(size_t count) {
  return hostlog::Dialogs().size() > count ? std::string(hostlog::Dialogs().back()) : std::string();
}

// Frames from..to in order (64-bit, so that the last frame number ends the
// loop). Stops at a break (130) or at the first message box (1, its text in
// error); after is called for every frame evaluated.
int PlayFrames(BaseDocument* doc, LONG from, LONG to, const std::function<void(LONG)>& after, std::string* error) {
  BaseThread thread;
  for (long long f = from; f <= to; ++f) {
    const LONG frame = static_cast<LONG>(f);
    if (thread.TestBreak()) {
      *error = "interrupted at frame " + std::to_string(frame);
      return 130;
    }
    const size_t boxes = hostlog::Dialogs().size();
    Evaluate(doc, &thread, frame);
    if (after) after(frame);
    if (std::string box = NewBox(boxes); !box.empty()) {
      *error = "frame " + std::to_string(frame) + ": " + box;
      return 1;
    }
  }
  return 0;
}

// ---------------------------------------------------------------- CSV

// Columns of a CSV of a run: objects' global positions and matrices, and
// container values, one row for every frame evaluated.
class CsvTable {
 public:
  void AddObject(const std::string& name) { objects_.push_back(name); }
  void AddMatrix(const std::string& name) { matrices_.push_back(name); }
  void AddParam(const std::string& name, LONG id) { params_.push_back({name, id}); }
  // "NAME" is an object's position, "NAME:ID" a parameter of it.
  bool AddColumn(const std::string& column, std::string* error) {
    const size_t colon = column.rfind(':');
    if (colon == std::string::npos) {
      AddObject(column);
      return true;
    }
    const std::string id = column.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(id.c_str(), &end, 10);
    if (colon == 0 || id.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX) {
      *error = "a column is NAME or NAME:ID, not '" + column + "'";
      return false;
    }
    AddParam(column.substr(0, colon), static_cast<LONG>(v));
    return true;
  }

  // Every named object must be in the scene.
  bool Check(BaseDocument* doc, std::string* error) const {
    std::vector<std::string> names = objects_;
    names.insert(names.end(), matrices_.begin(), matrices_.end());
    for (const auto& p : params_) names.push_back(p.object);
    for (const auto& name : names)
      if (!FindObject(doc, name)) {
        *error = "no object named '" + name + "' in the scene";
        return false;
      }
    return true;
  }

  // An empty path is standard output.
  bool Open(const std::string& path, std::string* error) {
    if (path.empty()) {
      out_ = stdout;
    } else {
      if (!file_.Open(path, true, error)) return false;
      out_ = file_.Stream();
    }
    std::fprintf(out_, "frame,time");
    for (const auto& name : objects_)
      std::fprintf(out_, ",%s,%s,%s", CsvEscape(name + ".x").c_str(), CsvEscape(name + ".y").c_str(),
                   CsvEscape(name + ".z").c_str());
    for (const auto& name : matrices_)
      for (const char* part : {"off", "v1", "v2", "v3"})
        for (const char* axis : {"x", "y", "z"}) std::fprintf(out_, ",%s", CsvEscape(name + "." + part + "." + axis).c_str());
    for (const auto& p : params_) std::fprintf(out_, ",%s", CsvEscape(p.object + ":" + std::to_string(p.id)).c_str());
    std::fprintf(out_, "\n");
    return true;
  }
  bool IsOpen() const { return out_ != nullptr; }

  void Row(BaseDocument* doc, LONG frame) {
    std::fprintf(out_, "%d,%.9g", frame, doc->GetTime().Get());
    for (const auto& name : objects_) {
      BaseObject* op = FindObject(doc, name);
      Vector p = op ? op->GetMg().off : Vector();
      std::fprintf(out_, ",%.9g,%.9g,%.9g", p.x, p.y, p.z);
    }
    for (const auto& name : matrices_) {
      BaseObject* op = FindObject(doc, name);
      const Matrix m = op ? op->GetMg() : Matrix();
      for (const Vector& v : {m.off, m.v1, m.v2, m.v3}) std::fprintf(out_, ",%.9g,%.9g,%.9g", v.x, v.y, v.z);
    }
    for (const auto& p : params_) {
      BaseObject* op = FindObject(doc, p.object);
      GeData d;
      if (op) d = op->GetDataInstance()->GetData(p.id);
      std::fprintf(out_, ",%s", FormatValue(d).c_str());
    }
    std::fprintf(out_, "\n");
  }

  // Checks every write and puts the file in place.
  bool Close(std::string* error) {
    std::FILE* out = out_;
    out_ = nullptr;
    if (out == stdout) {
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        *error = std::string("cannot write the table to standard output: ") + std::strerror(errno);
        return false;
      }
      return true;
    }
    return !out || file_.Commit(error);
  }

 private:
  struct ParamColumn {
    std::string object;
    LONG id;
  };
  std::vector<std::string> objects_, matrices_;
  std::vector<ParamColumn> params_;
  hostoutput::OutputFile file_;
  std::FILE* out_ = nullptr;
};

// A whole number for a frame option or a script argument.
bool ParseLong(const std::string& text, LONG* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end || errno || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<LONG>(v);
  return true;
}

// ---------------------------------------------------------------- play

int Play(BaseDocument* doc, const std::vector<std::string>& args) {
  LONG from = 0, to = 0;
  std::string error;
  if (!SceneFrames(doc, &from, &to, &error)) return Fail("play: " + error);
  std::string csv_path;
  CsvTable table;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt != "--from" && opt != "--to" && opt != "--csv" && opt != "--object" && opt != "--matrix" && opt != "--param")
      return Fail("play: unknown option '" + opt + "'");
    if (i + 1 >= args.size()) return Fail("play: " + opt + " needs a value");
    const std::string& v = args[++i];
    if (opt == "--from" || opt == "--to") {
      if (!ParseLong(v, opt == "--from" ? &from : &to)) return Fail("play: bad number in '" + opt + " " + v + "'");
    } else if (opt == "--csv") {
      csv_path = v;
    } else if (opt == "--object") {
      table.AddObject(v);
    } else if (opt == "--matrix") {
      table.AddMatrix(v);
    } else if (v.find(':') == std::string::npos || !table.AddColumn(v, &error)) {
      return Fail("play: --param wants NAME:ID, got '" + v + "'");
    }
  }
  if (from > to) return Fail("play: the first frame " + std::to_string(from) + " lies after the last " + std::to_string(to));
  if (!table.Check(doc, &error) || !table.Open(csv_path, &error)) return Fail("play: " + error);

  std::string why;
  const int status = PlayFrames(doc, from, to, [&](LONG frame) { table.Row(doc, frame); }, &why);
  // The rows played so far are kept, also after a break or a failure.
  if (!table.Close(&error)) return Fail("play: " + error);
  if (status != 0) {
    Fail("play: " + why);
    return status;
  }
  return 0;
}

int Render(BaseDocument* doc, const std::vector<std::string>& args) {
  LONG frame = -1;
  std::string out;
  hostdraw::RenderOptions opts;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return Fail("render: " + args[i] + " needs a value");
    const std::string& v = args[i + 1];
    if (args[i] == "--frame") {
      if (!ParseLong(v, &frame)) return Fail("render: bad number '" + v + "'");
    } else if (args[i] == "--out") {
      out = v;
    } else if (args[i] == "--size") {
      size_t x = v.find('x');
      if (x == std::string::npos || !ParseLong(v.substr(0, x), &opts.width) || !ParseLong(v.substr(x + 1), &opts.height))
        return Fail("render: --size wants WxH, got '" + v + "'");
    } else {
      return Fail("render: unknown option '" + args[i] + "'");
    }
  }
  if (frame < 0 || out.empty()) return Fail("render needs --frame N and --out PICTURE.png");
  LONG first = 0, last = 0;
  std::string error;
  if (!SceneFrames(doc, &first, &last, &error)) return Fail("render: " + error);
  if (frame < first || frame > last)
    return Fail("render: frame " + std::to_string(frame) + " lies outside the scene's frames " + std::to_string(first) +
                " to " + std::to_string(last));
  // Frames before the wanted one are evaluated in order, as playing would.
  if (frame > first) {
    const int status = PlayFrames(doc, first, frame - 1, nullptr, &error);
    if (status != 0) {
      Fail("render: " + error);
      return status;
    }
  }
  String why;
  if (!hostdraw::RenderFrame(doc, frame, Filename(String(out)), opts, &why)) return Fail("render: " + why);
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
  SetActiveDocument(doc);
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
  hostoutput::OutputFile csv_file;
  std::string error;
  if (!csv_file.Open(csv_path, false, &error)) return Fail("demo: " + error);
  std::FILE* csv = csv_file.Stream();
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
  if (!csv_file.Commit(&error)) return Fail("demo: " + error);

  const std::string scene_path = (std::filesystem::path(o.out) / "demo_scene.json").string();
  String why;
  if (!scenefile::Save(doc, Filename(String(scene_path)), &why)) return Fail("demo: " + std::string(why));

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
    if (args[i] == "--out") out = v;
    else if (args[i] != "--from" && args[i] != "--to") return Fail("bake: unknown option '" + args[i] + "'");
    else if (!ParseLong(v, args[i] == "--from" ? &from : &to)) return Fail("bake: bad number '" + v + "'");
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

// ---------------------------------------------------------------- scripted session

// Splits a script line into words: blanks separate them, "double quotes" keep
// blanks inside one (\" and \\ stand for themselves), and # outside quotes
// starts a comment.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) word += line[i++];
        else word += c;
      }
      if (!closed) {
        *error = "a quote is not closed";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words->push_back(word);
  }
  return true;
}

// What the host hands over with message 19: the set parameter's ID first.
struct PostSetParameter {
  const DescID* descid;
};

// One scene driven step by step as a user would in the editor. Relative
// paths are taken from the script's folder.
class Session {
 public:
  explicit Session(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~Session() { Unload(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Step(const std::vector<std::string>& w, std::string* error) {
    const std::string& verb = w[0];
    const size_t n = w.size() - 1;
    auto usage = [&](const char* form) {
      *error = std::string("usage: ") + form;
      return false;
    };
    if (verb == "load") return n == 1 ? Load(w[1], error) : usage("load SCENE");
    if (verb == "answer") {
      if (n == 2 && w[1] == "file") hostdialog::PushFileAnswer(Filename(String(Path(w[2]))));
      else if (n == 1 && w[1] == "cancel") hostdialog::PushCancel();
      else if (n == 1 && (w[1] == "yes" || w[1] == "no")) hostdialog::PushQuestionAnswer(w[1] == "yes");
      else return usage("answer file PATH | answer cancel | answer yes | answer no");
      return true;
    }
    if (!doc_) {
      *error = "no scene loaded (start with 'load SCENE')";
      return false;
    }
    if (verb == "frame") return n == 1 ? Frame(w[1], error) : usage("frame N");
    if (verb == "play") return n == 2 ? PlayRange(w[1], w[2], error) : usage("play FIRST LAST");
    if (verb == "set") return n >= 3 ? Set(w, error) : usage("set OBJECT ID VALUE");
    if (verb == "press") return n == 2 ? Press(w[1], w[2], error) : usage("press OBJECT ID");
    if (verb == "save") return n == 1 ? Save(w[1], error) : usage("save OUT");
    if (verb == "csv") return n >= 2 ? Csv(w, error) : usage("csv OUT COLUMN...");
    *error = "unknown step '" + verb + "' (load, frame, play, set, press, answer, save or csv)";
    return false;
  }

  // The end of the script: the table is put in place, and answers nobody
  // asked for are a mistake in the script.
  bool Finish(std::string* error) {
    if (!CloseCsv(error)) return false;
    if (const LONG left = hostdialog::PendingAnswers(); left > 0) {
      hostdialog::ClearScript();
      *error = std::to_string(left) + (left == 1 ? " answer was" : " answers were") + " never asked for";
      return false;
    }
    return true;
  }

 private:
  std::string Path(const std::string& p) const {
    const std::filesystem::path path(p);
    return path.is_absolute() ? p : (folder_ / path).lexically_normal().string();
  }

  void Unload() {
    std::string ignored;
    CloseCsv(&ignored);
    BaseDocument::Free(doc_);
    doc_ = nullptr;
  }

  bool CloseCsv(std::string* error) {
    if (!csv_) return true;
    const bool ok = csv_->Close(error);
    csv_.reset();
    return ok;
  }

  bool Load(const std::string& scene, std::string* error) {
    Unload();
    String why;
    doc_ = scenefile::Load(Filename(String(Path(scene))), &why);
    if (!doc_) *error = why;
    return doc_ != nullptr;
  }

  BaseObject* Find(const std::string& name, std::string* error) const {
    BaseObject* op = FindObject(doc_, name);
    if (!op) *error = "no object named '" + name + "' in the scene";
    return op;
  }

  bool FrameInScene(const std::string& text, LONG* frame, std::string* error) const {
    LONG first = 0, last = 0;
    if (!ParseLong(text, frame)) {
      *error = "'" + text + "' is not a frame number";
      return false;
    }
    if (!SceneFrames(doc_, &first, &last, error)) return false;
    if (*frame < first || *frame > last) {
      *error = "frame " + text + " lies outside the scene's frames " + std::to_string(first) + " to " + std::to_string(last);
      return false;
    }
    return true;
  }

  // A jump of the timeline to one frame.
  bool Frame(const std::string& text, std::string* error) {
    LONG frame = 0;
    if (!FrameInScene(text, &frame, error)) return false;
    if (PlayFrom(frame, frame, error)) return true;
    // The step names the frame already.
    const std::string prefix = "frame " + std::to_string(frame) + ": ";
    if (error->rfind(prefix, 0) == 0) error->erase(0, prefix.size());
    return false;
  }

  bool PlayRange(const std::string& a, const std::string& b, std::string* error) {
    LONG from = 0, to = 0;
    if (!FrameInScene(a, &from, error) || !FrameInScene(b, &to, error)) return false;
    if (from > to) {
      *error = "the first frame " + a + " lies after the last " + b;
      return false;
    }
    return PlayFrom(from, to, error);
  }

  bool PlayFrom(LONG from, LONG to, std::string* error) {
    return PlayFrames(doc_, from, to, [&](LONG frame) { if (csv_) csv_->Row(doc_, frame); }, error) == 0;
  }

  // The editor draws the scene again after a change: one evaluation at the
  // current time, recorded nowhere.
  bool Redraw(size_t boxes, std::string* error) {
    BaseThread thread;
    doc_->ExecutePasses(&thread, true, true, true);
    *error = NewBox(boxes);
    return error->empty();
  }

  // The type of a parameter: as described, else as the host's own or as the
  // value it holds.
  LONG ParamType(BaseObject* op, LONG id) const {
    Description desc;
    if (hostdesc::GetNodeDescription(op, &desc))
      if (const BaseContainer* bc = desc.GetParameter(DescID(id))) return bc->GetLong(DESC_DATATYPE);
    switch (id) {
      case ID_BASELIST_NAME: return DA_STRING;
      case ID_BASEOBJECT_VISIBILITY_EDITOR:
      case ID_BASEOBJECT_VISIBILITY_RENDER: return DA_LONG;
      case ID_BASEOBJECT_REL_POSITION:
      case ID_BASEOBJECT_REL_ROTATION:
      case ID_BASEOBJECT_REL_SCALE: return DA_VECTOR;
      case ID_BASEOBJECT_GENERATOR_FLAG: return DTYPE_BOOL;
      default: break;
    }
    GeData current;
    return op->GetParameter(DescID(id), current) ? current.GetType() : DA_NIL;
  }

  bool ParseReal(const std::string& text, Real* out, std::string* error) const {
    char* end = nullptr;
    errno = 0;
    *out = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || errno || !std::isfinite(*out)) {
      *error = "'" + text + "' is not a number";
      return false;
    }
    return true;
  }

  // The words of a value for a parameter of type dtype.
  bool ParseValue(LONG dtype, const std::vector<std::string>& words, GeData* out, std::string* error) const {
    const auto one = [&]() {
      if (words.size() == 1) return true;
      *error = "expected one value, got " + std::to_string(words.size());
      return false;
    };
    switch (dtype) {
      case DA_LONG:
      case DTYPE_BOOL: {
        LONG v = 0;
        if (!one()) return false;
        if (dtype == DTYPE_BOOL && (words[0] == "true" || words[0] == "false")) v = words[0] == "true";
        else if (!ParseLong(words[0], &v)) return *error = "'" + words[0] + "' is not a whole number", false;
        *out = GeData(static_cast<int>(dtype == DTYPE_BOOL ? v != 0 : v));
        return true;
      }
      case DA_REAL:
      case DA_TIME: {
        Real v = 0.0;
        if (!one() || !ParseReal(words[0], &v, error)) return false;
        *out = dtype == DA_TIME ? GeData(BaseTime(v)) : GeData(v);
        return true;
      }
      case DA_VECTOR: {
        Vector v;
        if (words.size() != 3) return *error = "a vector takes three numbers", false;
        if (!ParseReal(words[0], &v.x, error) || !ParseReal(words[1], &v.y, error) || !ParseReal(words[2], &v.z, error))
          return false;
        *out = GeData(v);
        return true;
      }
      case DA_STRING:
        if (!one()) return false;
        *out = GeData(String(words[0]));
        return true;
      case DA_FILENAME:
        if (!one()) return false;
        *out = GeData(Filename(String(Path(words[0]))));
        return true;
      case DA_ALIASLINK: {
        if (!one()) return false;
        if (words[0] == "none") {
          *out = GeData(BaseLink{});
          return true;
        }
        BaseObject* target = Find(words[0], error);
        if (!target) return false;
        *out = GeData(static_cast<const BaseList2D*>(target));
        return true;
      }
      default:
        *error = "parameters of this type cannot be set from a script";
        return false;
    }
  }

  // As the attribute manager does: the value, then messages 19, 17 and 20,
  // then the scene is drawn again.
  bool Set(const std::vector<std::string>& w, std::string* error) {
    BaseObject* op = Find(w[1], error);
    LONG id = 0;
    if (!op) return false;
    if (!ParseLong(w[2], &id)) return *error = "'" + w[2] + "' is not a parameter ID", false;
    const LONG dtype = ParamType(op, id);
    if (dtype == DA_NIL) return *error = "'" + w[1] + "' has no parameter " + w[2], false;
    if (dtype == DTYPE_BUTTON) return *error = "parameter " + w[2] + " of '" + w[1] + "' is a button: press it", false;
    GeData value;
    if (!ParseValue(dtype, std::vector<std::string>(w.begin() + 3, w.end()), &value, error)) return false;
    const size_t boxes = hostlog::Dialogs().size();
    const DescID did(DescLevel(id, dtype, 0));
    if (!op->SetParameter(did, value, 0)) return *error = "'" + w[1] + "' refused parameter " + w[2], false;
    PostSetParameter post{&did};
    op->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &post);
    DescriptionCheckUpdate update;
    update.doc = doc_;
    update.descid = &did;
    op->Message(MSG_DESCRIPTION_CHECKUPDATE, &update);
    op->Message(MSG_DESCRIPTION_VALIDATE, nullptr);
    EventAdd();
    return Redraw(boxes, error);
  }

  bool Press(const std::string& name, const std::string& id_text, std::string* error) {
    BaseObject* op = Find(name, error);
    LONG id = 0;
    if (!op) return false;
    if (!ParseLong(id_text, &id)) return *error = "'" + id_text + "' is not a button ID", false;
    if (ParamType(op, id) != DTYPE_BUTTON) return *error = "'" + name + "' has no button " + id_text, false;
    const size_t boxes = hostlog::Dialogs().size();
    const size_t selectors = hostdialog::SelectorCalls().size();
    const LONG answers = hostdialog::PendingAnswers();
    DescID did(DescLevel(id, DTYPE_BUTTON, 0));
    op->Message(MSG_DESCRIPTION_COMMAND, &did);
    // A selector that found no answer queued was cancelled: in a script
    // that is a missing answer, not a choice.
    const size_t asked = hostdialog::SelectorCalls().size() - selectors;
    const size_t given = static_cast<size_t>(answers - hostdialog::PendingAnswers());
    if (asked > given) {
      *error = "a file selector came up with no answer given (an 'answer file PATH' step before this one gives it)";
      return false;
    }
    EventAdd();
    return Redraw(boxes, error);
  }

  bool Save(const std::string& out, std::string* error) {
    String why;
    if (scenefile::Save(doc_, Filename(String(Path(out))), &why)) return true;
    *error = why;
    return false;
  }

  bool Csv(const std::vector<std::string>& w, std::string* error) {
    if (!CloseCsv(error)) return false;
    auto table = std::make_unique<CsvTable>();
    for (size_t i = 2; i < w.size(); ++i)
      if (!table->AddColumn(w[i], error)) return false;
    if (!table->Check(doc_, error) || !table->Open(Path(w[1]), error)) return false;
    csv_ = std::move(table);
    return true;
  }

  std::filesystem::path folder_;
  BaseDocument* doc_ = nullptr;
  std::unique_ptr<CsvTable> csv_;
};

int RunScript(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("run needs one SCRIPT");
  const std::string& path = args[0];
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return Fail("cannot read script '" + path + "': it is a folder");
  std::ifstream in(path);
  if (!in) return Fail("cannot read script '" + path + "': " + std::strerror(errno));
  Session session(std::filesystem::absolute(path).parent_path());
  std::string line, error;
  std::vector<std::string> words;
  int number = 0;
  const auto failed = [&](const std::string& step) {
    return Fail(path + ":" + std::to_string(number) + ": " + (step.empty() ? "" : step + ": ") + error);
  };
  while (std::getline(in, line)) {
    ++number;
    if (!SplitWords(line, &words, &error)) return failed("");
    if (words.empty()) continue;
    if (!session.Step(words, &error)) {
      std::string step;
      for (size_t i = 0; i < words.size() && i < 3; ++i) step += (i ? " " : "") + words[i];
      if (words.size() > 3) step += " ...";
      return failed(step);
    }
  }
  if (in.bad()) return Fail("cannot read script '" + path + "'");
  if (!session.Finish(&error)) return failed("end of script");
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
      command != "bake" && command != "run")
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
  } else if (command == "run") {
    status = RunScript(rest);
  } else {
    if (rest.empty()) return Fail(command + " needs a scene file\n" + kUsage);
    String error;
    BaseDocument* doc = scenefile::Load(Filename(String(rest[0])), &error);
    SetActiveDocument(doc);
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
