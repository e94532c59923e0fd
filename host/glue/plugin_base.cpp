// What the plug-in base classes do by default, and the custom value types'
// own code. Plain code without host state: the host and every module each
// compile it in.
#include "host_animation.h"
#include "host_draw.h"
#include "host_file.h"
#include "host_geometry.h"
#include "host_plugin.h"
#include "host_services.h"

NodeData::~NodeData() = default;
Bool NodeData::Init(GeListNode*) { return true; }
void NodeData::Free(GeListNode*) {}
Bool NodeData::Message(GeListNode*, LONG, void*) { return true; }
Bool NodeData::CopyTo(NodeData*, GeListNode*, GeListNode*, LONG, AliasTrans*) { return true; }
Bool NodeData::GetDEnabling(GeListNode*, const DescID&, const GeData&, LONG, const BaseContainer*) { return true; }

Bool ObjectData::AddToExecution(BaseObject*, PriorityList*) { return false; }
EXECUTIONRESULT ObjectData::Execute(BaseObject*, BaseDocument*, BaseThread*, LONG, LONG) {
  return EXECUTIONRESULT_OK;
}
DRAWRESULT ObjectData::Draw(BaseObject*, LONG, BaseDraw*, BaseDrawHelp*) { return DRAWRESULT_SKIP; }
LONG ObjectData::GetHandleCount(BaseObject*) { return 0; }
void ObjectData::GetHandle(BaseObject*, LONG, HandleInfo&) {}
void ObjectData::SetHandle(BaseObject*, LONG, Vector, const HandleInfo&) {}
LONG ObjectData::DetectHandle(BaseObject*, BaseDraw*, LONG, LONG, LONG) { return -1; }
Bool ObjectData::MoveHandle(BaseObject*, BaseObject*, const Vector&, LONG, LONG, BaseDraw*) { return false; }

Bool TagData::AddToExecution(BaseTag*, PriorityList*) { return false; }
EXECUTIONRESULT TagData::Execute(BaseTag*, BaseDocument*, BaseObject*, BaseThread*, LONG, LONG) {
  return EXECUTIONRESULT_OK;
}
Bool TagData::Draw(BaseTag*, BaseObject*, BaseDraw*, BaseDrawHelp*) { return true; }

CommandData::~CommandData() = default;
Bool CommandData::Execute(BaseDocument*) { return true; }
Bool CommandData::RestoreLayout(void*) { return false; }

Bool GeDialog::CreateLayout() { return true; }
GeSortAndSearch::~GeSortAndSearch() = default;
CustomDataType::~CustomDataType() = default;

bool SplineKnot::operator==(const SplineKnot& o) const {
  return pos == o.pos && tangent_left == o.tangent_left && tangent_right == o.tangent_right && flags == o.flags &&
         interpolation == o.interpolation;
}

std::unique_ptr<CustomDataType> SplineData::Clone() const { return std::make_unique<SplineData>(*this); }

bool SplineData::Equals(const CustomDataType& other) const {
  auto* o = dynamic_cast<const SplineData*>(&other);
  return o && xmin_ == o->xmin_ && xmax_ == o->xmax_ && xstep_ == o->xstep_ && ymin_ == o->ymin_ &&
         ymax_ == o->ymax_ && ystep_ == o->ystep_ && knots_ == o->knots_;
}

bool PointLevelData::Equals(const CustomDataType& other) const {
  auto* o = dynamic_cast<const PointLevelData*>(&other);
  return o && o->points_ == points_;
}

Matrix BaseDrawHelp::GetMg() const { return op_ ? op_->GetMg() : Matrix(); }
