#include "host_scene.h"

// The animation pass of the evaluation: tracks are applied here.
namespace hostpass {
void Animate(BaseDocument*) {}
}  // namespace hostpass
