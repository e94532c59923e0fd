// Whole runs through the stand-in host, as `simhost play` does them: the
// plug-ins loaded from the build's plug-in folder, a scene built the way a
// user builds it (the Sim's and the car's buttons), every frame evaluated.
//
// - Cars/N: N cars with crumple-zone tags (so the run tests collisions) on
//   the flat default ground, in rows, at full throttle, the rows steering
//   towards each other so that neighbours touch.
// - Mesh/on, Mesh/off: one car driving along a 100 000-polygon ground mesh,
//   or along a gap in the middle of it: inside the mesh's bounding box but
//   over no polygon, where every ground query is a miss.
//
// The "realtime" counter is simulated seconds per wall-clock second, settling
// at the run's start included; scene building is not timed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_animation.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_scene.h"
#include "host_services.h"

namespace {

enum : LONG {
  kSimType = 1011582,
  kCarType = 1019402,
  kSimAddCar = 1020,
  kSimPropTag = 1030,
  kCarStartMode = 1006,  // 0: start at the start position
  kCarStartPosition = 1007,
  kCarGroundAdd = 1941,
  kCarGroundGroup = 1940,
  kCarDirectBits = 9900,
  kCarDirectSteer = 9901,
  kCarDirectThrottle = 9902,
};

constexpr int kFps = 30;

void Press(BaseList2D* node, LONG button) {
  DescID id(button);
  node->Message(MSG_DESCRIPTION_COMMAND, &id);
}

void KeyConstant(BaseList2D* node, LONG id, const GeData& value) {
  CTrack* track = CTrack::Alloc(node, DescID(id));
  if (!track || !node->InsertTrackSorted(track)) {
    CTrack::Free(track);
    return;
  }
  track->GetCurve()->AddKey(BaseTime(0.0))->SetGeData(value);
}

// The car the button just added: the Sim puts a new car in front of its
// other children, so it is the one child that was not there before.
BaseObject* NewCar(BaseObject* sim, BaseObject* firstBefore) {
  BaseObject* first = sim->GetDown();
  return first && first != firstBefore && first->GetType() == kCarType ? first : nullptr;
}

BaseObject* AddCar(BaseObject* sim, const Vector& start, double throttle, double steer) {
  BaseObject* before = sim->GetDown();
  Press(sim, kSimAddCar);
  BaseObject* car = NewCar(sim, before);
  if (!car) return nullptr;
  car->GetDataInstance()->SetLong(kCarStartMode, 0);
  car->GetDataInstance()->SetVector(kCarStartPosition, start);
  KeyConstant(car, kCarDirectBits, GeData(LONG(1 | 2)));
  KeyConstant(car, kCarDirectThrottle, GeData(throttle));
  KeyConstant(car, kCarDirectSteer, GeData(steer));
  return car;
}

BaseDocument* NewDocument(double seconds) {
  BaseDocument* doc = BaseDocument::Alloc();
  if (!doc) return nullptr;
  doc->SetFps(kFps);
  const BaseTime end(std::round(seconds * kFps), kFps);
  doc->SetMaxTime(end);
  doc->SetLoopMaxTime(end);
  return doc;
}

BaseObject* AddSim(BaseDocument* doc) {
  BaseObject* sim = BaseObject::Alloc(kSimType);
  if (sim) doc->InsertObject(sim, nullptr, nullptr);
  return sim;
}

// Rows of cars 4 m apart across and 9 m along, neighbouring columns steering
// towards each other.
BaseDocument* CarsScene(int count, double seconds) {
  BaseDocument* doc = NewDocument(seconds);
  BaseObject* sim = doc ? AddSim(doc) : nullptr;
  if (!sim || !sim->GetDataInstance()->GetBool(kSimPropTag)) return doc;
  const int columns = static_cast<int>(std::ceil(std::sqrt(count)));
  for (int i = 0; i < count; ++i) {
    const int column = i % columns, row = i / columns;
    const Vector start(column * 400.0, 0.0, row * 900.0);
    if (!AddCar(sim, start, 1.0, column % 2 ? -0.05 : 0.05)) break;
  }
  return doc;
}

// A flat grid of `quads` quadrangles, 500 along z, over x in
// [-width/2, width/2] and z in [-10 m, 490 m]; with `gap` the two halves
// stand 10 m apart across (the same count of quadrangles).
void MakeGroundMesh(PolygonObject* op, int quads, bool gap) {
  const int along = 500, across = quads / along;
  const double width = 20000.0, cell = width / across, lane = gap ? 1000.0 : 0.0;
  // The middle column of points is doubled: one for each half.
  const int pointsAcross = across + 2, pointsAlong = along + 1;
  op->ResizeObject(pointsAcross * pointsAlong, across * along);
  Vector* p = op->GetPointW();
  for (int i = 0; i < pointsAcross; ++i) {
    const bool right = i > across / 2;
    const double x = -0.5 * width + (right ? i - 1 : i) * cell + (right ? 0.5 : -0.5) * lane;
    for (int k = 0; k < pointsAlong; ++k) p[i * pointsAlong + k] = Vector(x, 0.0, -1000.0 + k * 100.0);
  }
  CPolygon* q = op->GetPolygonW();
  int n = 0;
  for (int i = 0; i + 1 < pointsAcross; ++i) {
    if (i == across / 2) continue;  // the two copies of the middle column
    for (int k = 0; k < along; ++k) {
      const LONG a = i * pointsAlong + k, b = a + pointsAlong;
      q[n++] = CPolygon(a, a + 1, b + 1, b);
    }
  }
  op->Message(MSG_UPDATE);
}

BaseDocument* MeshScene(bool offMesh, double seconds) {
  BaseDocument* doc = NewDocument(seconds);
  BaseObject* sim = doc ? AddSim(doc) : nullptr;
  BaseObject* car = sim ? AddCar(sim, Vector(), 0.6, 0.0) : nullptr;
  if (!car) return doc;
  Press(car, kCarGroundAdd);
  BaseObject* group = car->GetDataInstance()->GetObjectLink(kCarGroundGroup, doc);
  BaseObject* piece = group ? group->GetDown() : nullptr;
  if (!piece || piece->GetType() != Opolygon) return doc;
  piece->SetRelPos(Vector());
  piece->SetRelRot(Vector());
  MakeGroundMesh(static_cast<PolygonObject*>(piece), 100000, offMesh);
  return doc;
}

// Plays every frame of the scene; false when a message box came up.
bool Play(BaseDocument* doc) {
  BaseThread thread;
  const LONG last = doc->GetMaxTime().GetFrame(kFps);
  const size_t boxes = hostlog::Dialogs().size();
  for (LONG f = 0; f <= last; ++f) {
    doc->SetTime(BaseTime(static_cast<Real>(f), static_cast<Real>(kFps)));
    doc->ExecutePasses(&thread, true, true, true);
  }
  return hostlog::Dialogs().size() == boxes;
}

// With CARSIM_PLAY_DIGEST set, every played scene prints a digest of the
// world matrices of all its objects: two builds can then be checked to play
// the same scene to the same bits.
bool gDigest = false;

void Mix(std::uint64_t& h, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int k = 0; k < 8; ++k) h = (h ^ ((bits >> (8 * k)) & 0xff)) * 1099511628211ull;
}

void PrintDigest(const char* name, BaseDocument* doc) {
  std::uint64_t h = 14695981039346656037ull;
  long objects = 0;
  doc->ForEachObject([&](BaseObject* op) {
    const Matrix m = op->GetMg();
    for (const Vector& v : {m.off, m.v1, m.v2, m.v3})
      for (double c : {v.x, v.y, v.z}) Mix(h, c);
    ++objects;
  });
  std::fprintf(stderr, "digest %s: %ld objects %016llx\n", name, objects, static_cast<unsigned long long>(h));
}

template <class MakeScene>
void RunScenes(benchmark::State& state, const char* name, double seconds, MakeScene make) {
  double simulated = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    BaseDocument* doc = make();
    state.ResumeTiming();
    const bool ok = doc && Play(doc);
    state.PauseTiming();
    if (ok && gDigest) PrintDigest(name, doc);
    BaseDocument::Free(doc);
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("the scene could not be built or played");
      return;
    }
    simulated += seconds;
  }
  state.counters["realtime"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}

void BM_Cars(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  // Long enough that stepping outweighs the settling at the start.
  const double seconds = count > 100 ? 10.0 : 30.0;
  const std::string name = "Cars/" + std::to_string(count);
  RunScenes(state, name.c_str(), seconds, [&] { return CarsScene(count, seconds); });
}
BENCHMARK(BM_Cars)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_MeshOn(benchmark::State& state) {
  RunScenes(state, "MeshOn", 10.0, [] { return MeshScene(false, 10.0); });
}
BENCHMARK(BM_MeshOn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_MeshOff(benchmark::State& state) {
  RunScenes(state, "MeshOff", 10.0, [] { return MeshScene(true, 10.0); });
}
BENCHMARK(BM_MeshOff)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  hostlog::SetQuiet(true);
  const char* digest = std::getenv("CARSIM_PLAY_DIGEST");
  gDigest = digest && *digest;
  // CARSIM_PLUGIN_ROOT in the environment names another build's plug-in
  // folder, so that two builds can be timed side by side.
  const char* env = std::getenv("CARSIM_PLUGIN_ROOT");
  const char* root = env && *env ? env : CARSIM_PLUGIN_ROOT;
  std::vector<String> errors;
  if (PluginHost::Get().LoadFolder(Filename(String(root)), &errors) == 0) {
    std::fprintf(stderr, "bench_play: no plug-in could be loaded from %s\n", root);
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PluginHost::Get().UnloadAll();
  return 0;
}
