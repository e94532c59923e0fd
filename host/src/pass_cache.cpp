#include "host_scene.h"

// The cache pass of the evaluation: generated geometry is rebuilt here.
namespace hostpass {
void BuildCaches(BaseDocument*) {}
}  // namespace hostpass
