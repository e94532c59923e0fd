// The host's node classes as far as a module needs them. Nodes are made and
// destroyed by the host only; a module needs these classes' type information
// (for dynamic_cast), which comes with their virtual tables. The bodies here
// are never reached through a host node, whose virtual table is the host's.
#include <cstdio>

#include "host_iface.h"

namespace {
template <class R>
R NotInModule(const char* what) {
  std::fprintf(stderr, "host interface: %s is the host's and cannot run in a module\n", what);
  return hostiface::Nothing<R>();
}
}  // namespace

C4DAtom::~C4DAtom() = default;
Bool C4DAtom::Message(LONG, void*) { return NotInModule<Bool>("C4DAtom::Message"); }
Bool C4DAtom::GetParameter(const DescID&, GeData&, LONG) { return NotInModule<Bool>("C4DAtom::GetParameter"); }
Bool C4DAtom::SetParameter(const DescID&, const GeData&, LONG) { return NotInModule<Bool>("C4DAtom::SetParameter"); }

GeListNode::~GeListNode() = default;
Bool GeListNode::Message(LONG, void*) { return NotInModule<Bool>("GeListNode::Message"); }

BaseList2D::~BaseList2D() = default;
Bool BaseList2D::GetParameter(const DescID&, GeData&, LONG) { return NotInModule<Bool>("BaseList2D::GetParameter"); }
Bool BaseList2D::SetParameter(const DescID&, const GeData&, LONG) {
  return NotInModule<Bool>("BaseList2D::SetParameter");
}
DynamicDescription* BaseList2D::GetDynamicDescription() {
  return NotInModule<DynamicDescription*>("BaseList2D::GetDynamicDescription");
}
void BaseList2D::CopyOwnTo(BaseList2D*) const { NotInModule<void>("BaseList2D::CopyOwnTo"); }

BaseObject::~BaseObject() = default;
Vector BaseObject::GetMp() const { return NotInModule<Vector>("BaseObject::GetMp"); }
Vector BaseObject::GetRad() const { return NotInModule<Vector>("BaseObject::GetRad"); }
Bool BaseObject::GetParameter(const DescID&, GeData&, LONG) { return NotInModule<Bool>("BaseObject::GetParameter"); }
Bool BaseObject::SetParameter(const DescID&, const GeData&, LONG) {
  return NotInModule<Bool>("BaseObject::SetParameter");
}
Bool BaseObject::Message(LONG, void*) { return NotInModule<Bool>("BaseObject::Message"); }
BaseList2D* BaseObject::AllocSameType() const { return NotInModule<BaseList2D*>("BaseObject::AllocSameType"); }
void BaseObject::CopyOwnTo(BaseList2D*) const { NotInModule<void>("BaseObject::CopyOwnTo"); }

Vector PointObject::GetMp() const { return NotInModule<Vector>("PointObject::GetMp"); }
Vector PointObject::GetRad() const { return NotInModule<Vector>("PointObject::GetRad"); }
Vector SplineObject::GetMp() const { return NotInModule<Vector>("SplineObject::GetMp"); }
Vector SplineObject::GetRad() const { return NotInModule<Vector>("SplineObject::GetRad"); }

BaseList2D* BaseTag::AllocSameType() const { return NotInModule<BaseList2D*>("BaseTag::AllocSameType"); }

BaseDocument::~BaseDocument() = default;
BaseList2D* BaseDocument::AllocSameType() const { return NotInModule<BaseList2D*>("BaseDocument::AllocSameType"); }

CTrack::~CTrack() = default;
