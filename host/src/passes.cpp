#include "host_scene.h"

// The animation and cache passes of the evaluation. Tracks and generated
// geometry plug in here.
namespace hostpass {
void Animate(BaseDocument*) {}
void BuildCaches(BaseDocument*) {}
}  // namespace hostpass
