// Loading scene files: a wide tree whose objects all link to its last one.
#include <benchmark/benchmark.h>

#include <string>

#include "host_scenefile.h"

namespace {

std::string WideScene(int objects) {
  const std::string link = R"({"1": {"type": "link", "value": {"object": [)" + std::to_string(objects - 1) + "]}}}";
  std::string text = R"({"format": "simhost scene", "version": 1, "fps": 30, "time": {"num": 0, "den": 1},
    "min_time": {"num": 0, "den": 1}, "max_time": {"num": 1, "den": 1}, "loop_min_time": {"num": 0, "den": 1},
    "loop_max_time": {"num": 1, "den": 1}, "objects": [)";
  for (int i = 0; i < objects; ++i) {
    if (i) text += ",";
    text += R"({"type": 5140, "name": "n", "matrix": {"off": [0,0,0], "v1": [1,0,0], "v2": [0,1,0], "v3": [0,0,1]},
      "container": )" + link + "}";
  }
  return text + "]}";
}

void BM_LoadWideLinkedScene(benchmark::State& state) {
  const std::string text = WideScene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    String error;
    BaseDocument* doc = scenefile::LoadFromString(text, &error);
    if (!doc) state.SkipWithError(error.c_str());
    BaseDocument::Free(doc);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadWideLinkedScene)->RangeMultiplier(4)->Range(1000, 64000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
