#include "host_animation.h"

// The animation pass of the evaluation: every track of the document, of its
// objects and of their tags is set to its value at the document time.
namespace hostpass {
void Animate(BaseDocument* doc) {
  if (!doc) return;
  const BaseTime t = doc->GetTime();
  for (CTrack* tr : std::vector<CTrack*>(doc->Tracks())) tr->Animate(doc, t);
  doc->ForEachObject([&](BaseObject* op) { hostanim::AnimateNode(op, t); });
}
}  // namespace hostpass
