// make_examples: builds the example scenes the way a user builds them in the
// host (a Sim, a car from its "add car" button, the cars' and tags' buttons,
// parameters, keyed direct inputs) and saves them as scene files.
//
//   make_examples --plugins DIR --out DIR [NAME]...
//
// Without names every scene is written. The scenes under examples/ are this
// program's output; run it again after a change to the plug-ins' parameters
// and check the files in.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "example_scenes.h"
#include "host_animation.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_scenefile.h"
#include "host_services.h"

namespace {

using namespace examples;

// Plug-in ids and parameters, as a user finds them in the plug-ins'
// descriptions. The host knows no plug-in, so they are spelled out here.
enum : LONG {
  kSimType = 1011582,
  kCarType = 1019402,
  kRouteTag = 1019403,
  kCommandsTag = 1019404,
  kGroundTag = 1019405,
  kKolvarisTag = 1025778,
  kRotelixTag = 1026470,

  // Sim
  kSimAddCar = 1020,
  kSimAddCube = 1021,
  kSimPropTag = 1030,  // a new car gets a Kolvaris tag
  kSimCubeSize = 1031,

  // Car
  kCarStartMode = 1006,  // 1 route, 2 first command marker, else the start position
  kCarRouteAdd = 1901,   // button: a route piece beside the car
  kCarCommandAdd = 1921,  // button: a command marker beside the car
  kCarCommandGroup = 1920,
  kCarGroundAdd = 1941,  // button: a ground piece beside the car
  kCarGroundGroup = 1940,
  kCarRouteGroup = 1900,
  kCarDirectBits = 9900,  // 1 steering, 2 throttle
  kCarDirectSteer = 9901,
  kCarDirectThrottle = 9902,

  // VantoRoute
  kRouteAppend = 1201,
  kRouteSpeed = 1210,     // + 2i, km/h
  kRoutePosition = 1211,  // + 2i, fraction of the length
  kRouteCount = 2000,

  // VantoCommands
  kCmdPedalOn = 1000,
  kCmdPedalChannel = 1001,  // 1 throttle, 2 brake
  kCmdPedalLeadIn = 1020,
  kCmdPedalDuration = 1021,
  kCmdPedalCurve = 1030,
  kCmdSteerOn = 1100,
  kCmdSteerLeadIn = 1120,
  kCmdSteerDuration = 1121,
  kCmdSteerCurve = 1130,
  kNullRadius = 1001,  // the marker's radius is its Null's display radius

  // VantoGround
  kGroundGrip = 1000,

  // Rotelix
  kRotelixOn = 1090,
  kRotelixBuildFront = 1505,
  kRotelixBuildRear = 1515,
  kRotelixAddRoller = 1530,
  kRotelixBuildTracks = 1552,
  kRotelixBuildTreads = 1605,
  kRotelixTreadLink = 1600,  // + side
};

struct Failure {
  std::string what;
};

void Need(bool ok, const std::string& what) {
  if (!ok) throw Failure{what};
}

void Press(BaseList2D* node, LONG button) {
  DescID id(button);
  node->Message(MSG_DESCRIPTION_COMMAND, &id);
}

// The document's title and length (at 30 fps).
void Describe(BaseDocument* doc, const char* title, double seconds) {
  doc->SetName(String(title));
  doc->SetFps(kFps);
  const BaseTime end(std::round(seconds * kFps), kFps);
  doc->SetMaxTime(end);
  doc->SetLoopMaxTime(end);
}

BaseObject* AddSim(BaseDocument* doc) {
  BaseObject* sim = BaseObject::Alloc(kSimType);
  Need(sim != nullptr, "the Sim is not registered (is vanto loaded?)");
  doc->InsertObject(sim, nullptr, nullptr);
  return sim;
}

// The Sim's "add car" button; the car builds its default rig.
BaseObject* AddCar(BaseObject* sim) {
  Press(sim, kSimAddCar);
  BaseObject* car = sim->GetDown();
  while (car && car->GetType() != kCarType) car = car->GetNext();
  Need(car != nullptr, "the Sim's add-car button made no car");
  car->GetDataInstance()->SetLong(kCarStartMode, 0);  // start where the car stands
  return car;
}

// Keys a parameter with (seconds, value) pairs; the value holds between keys
// linearly and after the last key.
void Key(BaseList2D* node, LONG id, std::initializer_list<std::pair<double, GeData>> keys) {
  CTrack* track = CTrack::Alloc(node, DescID(id));
  if (!track || !node->InsertTrackSorted(track)) {
    CTrack::Free(track);
    Need(false, "cannot key parameter " + std::to_string(id));
  }
  for (const auto& [t, value] : keys) track->GetCurve()->AddKey(BaseTime(t))->SetGeData(value);
}

// Direct throttle and steering, keyed as a user would: the run clears the
// direct inputs when it starts and the animation pass sets them again.
using Keys = std::initializer_list<std::pair<double, GeData>>;
void KeyDriver(BaseObject* car, Keys throttle, Keys steer = {{0.0, 0.0}}) {
  Key(car, kCarDirectBits, {{0.0, GeData(LONG(1 | 2))}});
  Key(car, kCarDirectThrottle, throttle);
  Key(car, kCarDirectSteer, steer);
}

BaseObject* Linked(BaseDocument* doc, BaseList2D* node, LONG id) {
  return node->GetDataInstance()->GetObjectLink(id, doc);
}

// A curve of the commands tag made flat at y over its whole duration, the
// way a user drags both knots of the default curve.
void FlatCurve(BaseContainer* bc, LONG curve, double y) {
  const auto* s = static_cast<const SplineData*>(bc->GetCustomDataType(curve, CUSTOMDATATYPE_SPLINE));
  Need(s != nullptr, "the commands tag has no curve " + std::to_string(curve));
  SplineData copy = *s;
  for (LONG i = 0; i < copy.GetKnotCount(); ++i) {
    SplineKnot k = *copy.GetKnot(i);
    k.pos.y = y;
    copy.SetKnot(i, k);
  }
  bc->SetData(curve, GeData(copy));
}

// ---------------------------------------------------------------- scenes

void DriveScene(BaseDocument* doc) {
  Describe(doc, "A car accelerating at full throttle, then turning", kDriveSeconds);
  BaseObject* car = AddCar(AddSim(doc));
  KeyDriver(car, {{kDriveTurnFrom, kDriveThrottle}, {kDriveTurnTo, kDriveTurnThrottle}},
            {{kDriveTurnFrom, 0.0}, {kDriveTurnTo, kDriveSteer}});
}

void RouteScene(BaseDocument* doc) {
  Describe(doc, "A car following an S-bend route with a speed table", kRouteSeconds);
  BaseObject* car = AddCar(AddSim(doc));
  car->GetDataInstance()->SetLong(kCarStartMode, 1);  // start on the route
  Press(car, kCarRouteAdd);
  BaseObject* group = Linked(doc, car, kCarRouteGroup);
  Need(group && group->GetDown() && group->GetDown()->GetType() == Ospline, "the car's route button made no route");
  auto* road = static_cast<SplineObject*>(group->GetDown());
  // The straight piece the button makes, bent into the S.
  const std::vector<Point2> pts = RoutePoints();
  Need(road->ResizeObject(static_cast<LONG>(pts.size()), 1), "cannot resize the route");
  road->GetSegmentW()[0] = Segment{static_cast<LONG>(pts.size()), false};
  for (size_t i = 0; i < pts.size(); ++i) road->GetPointW()[i] = Vector(pts[i].x, 0.0, pts[i].z);
  road->Message(MSG_UPDATE);
  road->SetName(String("S-bend"));

  BaseTag* tag = road->GetTag(kRouteTag);
  Need(tag != nullptr, "the route has no route tag");
  for (const auto& row : kRouteSpeeds) {
    (void)row;
    Press(tag, kRouteAppend);
  }
  BaseContainer* bc = tag->GetDataInstance();
  Need(bc->GetLong(kRouteCount) == static_cast<LONG>(std::size(kRouteSpeeds)), "the route tag appends no rows");
  LONG i = 0;
  for (const auto& [speed, position] : kRouteSpeeds) {
    bc->SetReal(kRouteSpeed + 2 * i, speed);
    bc->SetReal(kRoutePosition + 2 * i, position);
    ++i;
  }
}

void CrashScene(BaseDocument* doc) {
  Describe(doc, "A car with a crumple zone driven into a wall", kCrashSeconds);
  BaseObject* sim = AddSim(doc);
  Need(sim->GetDataInstance()->GetBool(kSimPropTag), "the Sim does not see kolvaris");
  BaseObject* car = AddCar(sim);
  Need(car->GetTag(kKolvarisTag) != nullptr, "the new car has no Kolvaris tag");
  // The Sim's cube button makes an obstacle with its Kolvaris tag.
  const Vector size(kWallSize[0], kWallSize[1], kWallSize[2]);
  sim->GetDataInstance()->SetVector(kSimCubeSize, size);
  Press(sim, kSimAddCube);
  BaseObject* wall = nullptr;
  for (BaseObject* op = sim->GetDown(); op; op = op->GetNext())
    if (op->GetType() == Ocube) wall = op;
  Need(wall && wall->GetTag(kKolvarisTag), "the Sim's cube button made no obstacle");
  wall->SetName(String("Wall"));
  wall->SetRelPos(Vector(0.0, size.y * 0.5, kWallZ));
  KeyDriver(car, {{0.0, 1.0}});
}

void MarkersScene(BaseDocument* doc) {
  Describe(doc, "A car driven by command markers: throttle, then brake and steer", kMarkersSeconds);
  BaseObject* car = AddCar(AddSim(doc));
  car->GetDataInstance()->SetLong(kCarStartMode, 2);  // start at the first marker
  Press(car, kCarCommandAdd);
  Press(car, kCarCommandAdd);
  BaseObject* group = Linked(doc, car, kCarCommandGroup);
  BaseObject* go = group ? group->GetDown() : nullptr;
  BaseObject* turn = go ? go->GetNext() : nullptr;
  Need(turn && go->GetTag(kCommandsTag) && turn->GetTag(kCommandsTag), "the car's marker button made no markers");

  go->SetName(String("Go"));
  go->GetDataInstance()->SetReal(kNullRadius, kMarkerRadius);
  BaseContainer* g = go->GetTag(kCommandsTag)->GetDataInstance();
  g->SetBool(kCmdPedalOn, true);
  g->SetLong(kCmdPedalChannel, 1);
  g->SetReal(kCmdPedalLeadIn, 0.5);
  g->SetReal(kCmdPedalDuration, 20.0);
  FlatCurve(g, kCmdPedalCurve, kGoThrottle);
  go->GetTag(kCommandsTag)->Message(MSG_DESCRIPTION_VALIDATE);

  turn->SetName(String("Brake and turn"));
  turn->SetRelPos(Vector(0.0, 0.0, kTurnMarkerZ));
  turn->GetDataInstance()->SetReal(kNullRadius, kMarkerRadius);
  BaseContainer* t = turn->GetTag(kCommandsTag)->GetDataInstance();
  t->SetBool(kCmdPedalOn, true);
  t->SetLong(kCmdPedalChannel, 2);
  t->SetReal(kCmdPedalLeadIn, 0.3);
  t->SetReal(kCmdPedalDuration, 20.0);
  FlatCurve(t, kCmdPedalCurve, kTurnBrake);
  t->SetBool(kCmdSteerOn, true);
  t->SetReal(kCmdSteerLeadIn, 0.5);
  t->SetReal(kCmdSteerDuration, 20.0);
  FlatCurve(t, kCmdSteerCurve, kTurnSteer);
  turn->GetTag(kCommandsTag)->Message(MSG_DESCRIPTION_VALIDATE);
}

void TracksScene(BaseDocument* doc) {
  Describe(doc, "A tracked car driving straight", kTracksSeconds);
  BaseObject* car = AddCar(AddSim(doc));
  BaseTag* tag = car->MakeTag(kRotelixTag);
  Need(tag != nullptr, "the Rotelix tag is not registered (is rotelix loaded?)");
  tag->GetDataInstance()->SetBool(kRotelixOn, true);
  for (LONG button : {kRotelixBuildFront, kRotelixBuildRear, kRotelixAddRoller, kRotelixBuildTracks,
                      kRotelixBuildTreads})
    Press(tag, button);
  BaseObject* left = Linked(doc, tag, kRotelixTreadLink);
  BaseObject* right = Linked(doc, tag, kRotelixTreadLink + 1);
  Need(left && right, "the Rotelix buttons made no tread links");
  // Names the checks can find.
  left->SetName(String("TreadLeft"));
  right->SetName(String("TreadRight"));
  KeyDriver(car, {{0.0, kTracksThrottle}});
}

void GroundScene(BaseDocument* doc) {
  Describe(doc, "A car driving up a tilted polygon ground", kGroundSeconds);
  BaseObject* car = AddCar(AddSim(doc));
  Press(car, kCarGroundAdd);
  BaseObject* group = Linked(doc, car, kCarGroundGroup);
  BaseObject* piece = group ? group->GetDown() : nullptr;
  Need(piece && piece->GetType() == Opolygon && piece->GetTag(kGroundTag), "the car's ground button made no ground");
  // The 4 x 4 point square the button makes, flattened and stretched into a
  // ramp, then tilted about its middle so that it rises along +z.
  auto* ramp = static_cast<PolygonObject*>(piece);
  Vector* p = ramp->GetPointW();
  double half_x = 0.0, half_z = 0.0;
  for (LONG i = 0; i < ramp->GetPointCount(); ++i) {
    half_x = std::max(half_x, std::fabs(p[i].x));
    half_z = std::max(half_z, std::fabs(p[i].z));
  }
  Need(half_x > 0.0 && half_z > 0.0, "the ground piece is empty");
  for (LONG i = 0; i < ramp->GetPointCount(); ++i)
    p[i] = Vector(p[i].x * 0.5 * kRampWidth / half_x, 0.0, p[i].z * 0.5 * kRampLength / half_z);
  ramp->Message(MSG_UPDATE);
  ramp->SetName(String("Ramp"));
  const double a = kRampDegrees * 3.14159265358979323846 / 180.0;
  ramp->SetRelRot(Vector(0.0, a, 0.0));
  ramp->SetRelPos(Vector(0.0, 0.5 * kRampLength * std::sin(a), kRampStartZ + 0.5 * kRampLength * std::cos(a)));
  ramp->GetTag(kGroundTag)->GetDataInstance()->SetReal(kGroundGrip, 1.0);
  KeyDriver(car, {{0.0, kGroundThrottle}});
}

const std::map<std::string, std::function<void(BaseDocument*)>> kScenes = {
    {"drive", DriveScene},   {"route", RouteScene},   {"crash", CrashScene},
    {"markers", MarkersScene}, {"tracks", TracksScene}, {"ground", GroundScene},
};

int Fail(const std::string& msg) {
  std::fprintf(stderr, "make_examples: %s\n", msg.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugins, out;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--plugins" || a == "--out") && i + 1 < argc) {
      (a == "--plugins" ? plugins : out) = argv[++i];
    } else if (a.rfind("--", 0) == 0) {
      return Fail("usage: make_examples --plugins DIR --out DIR [NAME]...");
    } else {
      if (!kScenes.count(a)) return Fail("no example named '" + a + "'");
      names.push_back(a);
    }
  }
  if (plugins.empty() || out.empty()) return Fail("usage: make_examples --plugins DIR --out DIR [NAME]...");
  if (names.empty())
    for (const auto& [name, make] : kScenes) names.push_back(name);
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) return Fail("cannot make " + out + ": " + ec.message());

  hostlog::SetQuiet(true);
  std::vector<String> errors;
  const LONG loaded = PluginHost::Get().LoadFolder(Filename(String(plugins)), &errors);
  for (const auto& e : errors) std::fprintf(stderr, "make_examples: %s\n", e.c_str());
  if (loaded == 0) return Fail("no plug-in could be loaded from " + plugins);

  int status = 0;
  for (const std::string& name : names) {
    BaseDocument* doc = BaseDocument::Alloc();
    if (!doc) return Fail("no document");
    try {
      kScenes.at(name)(doc);
      const std::string path = (std::filesystem::path(out) / (name + ".json")).string();
      String error;
      Need(scenefile::Save(doc, Filename(String(path)), &error), std::string(error));
      std::printf("make_examples: wrote %s\n", path.c_str());
    } catch (const Failure& f) {
      status = Fail(name + ": " + f.what);
    }
    BaseDocument::Free(doc);
  }
  PluginHost::Get().UnloadAll();
  return status;
}
