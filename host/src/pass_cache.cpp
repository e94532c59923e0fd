#include "geometry_internal.h"
#include "host_geometry.h"

// The cache pass of the evaluation: generated geometry is rebuilt here.
// Primitives build their geometry when it is asked for; what needs keeping in
// step is the point grid of FFDs whose grid counts changed.
namespace hostpass {
void BuildCaches(BaseDocument* doc) {
  if (!doc || geo::LiveFfds() <= 0) return;
  doc->ForEachObject([](BaseObject* op) {
    // Only the FFD type makes an FfdObject: other objects skip the type walk.
    if (op->GetType() != Offd) return;
    if (auto* ffd = dynamic_cast<FfdObject*>(op)) ffd->UpdateGrid();
  });
}
}  // namespace hostpass
