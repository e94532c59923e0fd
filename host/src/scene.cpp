#include <algorithm>
#include <unordered_map>

#include "host_animation.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_plugin.h"
#include "host_scene.h"
#include "host_services.h"
#include "node_factory.h"

// ---------------------------------------------------------------- DescID

bool DescID::operator==(const DescID& o) const {
  if (depth_ != o.depth_) return false;
  for (LONG i = 0; i < depth_; ++i)
    if (levels_[i].id != o.levels_[i].id) return false;
  return true;
}

bool DescID::operator<(const DescID& o) const {
  for (LONG i = 0; i < std::min(depth_, o.depth_); ++i)
    if (levels_[i].id != o.levels_[i].id) return levels_[i].id < o.levels_[i].id;
  return depth_ < o.depth_;
}

// ---------------------------------------------------------------- C4DAtom

C4DAtom::~C4DAtom() = default;
Bool C4DAtom::Message(LONG, void*) { return true; }
Bool C4DAtom::GetParameter(const DescID&, GeData&, LONG) { return false; }
Bool C4DAtom::SetParameter(const DescID&, const GeData&, LONG) { return false; }

// ---------------------------------------------------------------- GeListNode

GeListNode::GeListNode(LONG type) : C4DAtom(type) {}

GeListNode::~GeListNode() {
  // Normally empty here: HostNodeFactory::Destroy tears nodes down from the
  // outside in, while every part of the node still exists.
  Remove();
  FreeList(children_);
}

GeListNode* GeListNode::GetUp() const {
  if (!head_ || head_->tags) return nullptr;
  return head_->owner;
}

GeListNode* GeListNode::GetDownLast() const {
  GeListNode* n = children_.first;
  while (n && n->next_) n = n->next_;
  return n;
}

BaseDocument* GeListNode::GetDocument() const {
  if (!head_) return nullptr;
  if (head_->doc) return head_->doc;
  return head_->owner ? head_->owner->GetDocument() : nullptr;
}

void GeListNode::Remove() {
  if (!head_) return;
  if (pred_)
    pred_->next_ = next_;
  else
    head_->first = next_;
  if (next_) next_->pred_ = pred_;
  head_ = nullptr;
  pred_ = next_ = nullptr;
}

void GeListNode::InsertIntoAfter(GeListHead* head, GeListNode* pred) {
  Remove();
  head_ = head;
  pred_ = pred;
  if (pred) {
    next_ = pred->next_;
    pred->next_ = this;
  } else {
    next_ = head->first;
    head->first = this;
  }
  if (next_) next_->pred_ = this;
}

void GeListNode::InsertFirstInto(GeListHead* head) { InsertIntoAfter(head, nullptr); }

void GeListNode::InsertLastInto(GeListHead* head) {
  GeListNode* last = head->first;
  while (last && last->next_) last = last->next_;
  if (last == this) return;
  InsertIntoAfter(head, last);
}

static bool IsInside(const GeListNode* node, const GeListNode* maybe_ancestor) {
  for (const GeListNode* n = node; n; n = n->GetUp())
    if (n == maybe_ancestor) return true;
  return false;
}

void GeListNode::InsertUnder(GeListNode* parent) {
  if (!parent || IsInside(parent, this)) return;  // never under itself
  InsertFirstInto(&parent->children_);
}

void GeListNode::InsertUnderLast(GeListNode* parent) {
  if (!parent || IsInside(parent, this)) return;
  Remove();
  InsertLastInto(&parent->children_);
}

void GeListNode::InsertBefore(GeListNode* node) {
  if (!node || node == this || !node->head_) return;
  if (node->head_->owner && IsInside(node->head_->owner, this)) return;
  GeListHead* head = node->head_;
  GeListNode* pred = node->pred_;
  if (pred == this) return;
  Remove();
  InsertIntoAfter(head, node->pred_);
  (void)pred;
}

void GeListNode::InsertAfter(GeListNode* node) {
  if (!node || node == this || !node->head_) return;
  if (node->head_->owner && IsInside(node->head_->owner, this)) return;
  GeListHead* head = node->head_;
  Remove();
  InsertIntoAfter(head, node);
}

void GeListNode::FreeList(GeListHead& head) {
  while (head.first) HostNodeFactory::Destroy(head.first);
}

Bool GeListNode::Message(LONG type, void* data) {
  if (data_) return data_->Message(this, type, data);
  return true;
}

// ---------------------------------------------------------------- BaseList2D

namespace {

// The live nodes by serial: open addressing with linear probing, at most half
// full. Serials are handed out in order, and a car and its rig are made
// together, so runs of 8 consecutive serials keep neighbouring slots: the
// links of one car resolve within a few cache lines. The runs themselves are
// scattered by a hash, so no pattern of live serials piles up in one place.
class SerialTable {
 public:
  BaseList2D* Find(std::uint64_t serial) const {
    if (serial == 0 || slots_.empty()) return nullptr;
    for (size_t i = Home(serial);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.serial == serial) return s.node;
      if (s.serial == 0) return nullptr;
    }
  }
  void Insert(std::uint64_t serial, BaseList2D* node) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    size_t i = Home(serial);
    while (slots_[i].serial != 0 && slots_[i].serial != serial) i = (i + 1) & mask_;
    if (slots_[i].serial == 0) ++count_;
    slots_[i] = {serial, node};
  }
  void Erase(std::uint64_t serial) {
    if (serial == 0 || slots_.empty()) return;
    size_t i = Home(serial);
    while (slots_[i].serial != serial) {
      if (slots_[i].serial == 0) return;
      i = (i + 1) & mask_;
    }
    // Later members of the probe run move back into the hole when their home
    // lies at or before it (cyclically), so no run is ever broken.
    for (size_t j = (i + 1) & mask_;; j = (j + 1) & mask_) {
      if (slots_[j].serial == 0) break;
      const size_t home = Home(slots_[j].serial);
      if (((j - home) & mask_) >= ((j - i) & mask_)) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = Slot{};
    --count_;
  }

 private:
  struct Slot {
    std::uint64_t serial = 0;  // 0: empty
    BaseList2D* node = nullptr;
  };
  static constexpr int kRunBits = 3;
  size_t Home(std::uint64_t serial) const {
    const std::uint64_t run = (serial >> kRunBits) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(((run >> 29) << kRunBits) | (serial & ((1u << kRunBits) - 1))) & mask_;
  }
  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (const Slot& s : old)
      if (s.serial != 0) Insert(s.serial, s.node);
  }

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

SerialTable& Serials() {
  static SerialTable table;
  return table;
}
std::uint64_t g_next_serial = 1;

}  // namespace

BaseList2D::BaseList2D(LONG type) : GeListNode(type), serial_(g_next_serial++) { Serials().Insert(serial_, this); }

BaseList2D::~BaseList2D() {
  Serials().Erase(serial_);
  delete dynamic_;
  for (CTrack* t : tracks_) delete t;
  tracks_.clear();
}

BaseList2D* BaseList2D::FromSerial(std::uint64_t serial) { return Serials().Find(serial); }

void BaseList2D::SetData(const BaseContainer& bc, Bool add) {
  if (add)
    data_container_.MergeContainer(bc);
  else
    data_container_ = bc;
}

static Bool GetVectorComponent(const Vector& v, const DescID& id, GeData& out) {
  if (id.GetDepth() < 2) {
    out = GeData(v);
    return true;
  }
  switch (id[1].id) {
    case VECTOR_X: out = GeData(v.x); return true;
    case VECTOR_Y: out = GeData(v.y); return true;
    case VECTOR_Z: out = GeData(v.z); return true;
    default: return false;
  }
}

static Bool SetVectorComponent(Vector& v, const DescID& id, const GeData& value) {
  if (id.GetDepth() < 2) {
    if (value.GetType() != DA_VECTOR) return false;
    v = value.GetVector();
    return true;
  }
  Real r = value.GetReal();
  switch (id[1].id) {
    case VECTOR_X: v.x = r; return true;
    case VECTOR_Y: v.y = r; return true;
    case VECTOR_Z: v.z = r; return true;
    default: return false;
  }
}

Bool BaseList2D::GetParameter(const DescID& id, GeData& out, LONG) {
  if (id.GetDepth() < 1) return false;
  if (id[0].id == ID_BASELIST_NAME) {
    out = GeData(name_);
    return true;
  }
  if (id[0].id == ID_USERDATA) return hostdesc::GetUserData(this, id, out);
  const GeData* d = data_container_.GetDataPointer(id[0].id);
  if (!d) return false;
  if (d->GetType() == DA_VECTOR) return GetVectorComponent(d->GetVector(), id, out);
  out = *d;
  return true;
}

Bool BaseList2D::SetParameter(const DescID& id, const GeData& value, LONG) {
  if (id.GetDepth() < 1) return false;
  if (id[0].id == ID_BASELIST_NAME) {
    name_ = value.GetString();
    return true;
  }
  if (id[0].id == ID_USERDATA) return hostdesc::SetUserData(this, id, value);
  if (id.GetDepth() >= 2 && data_container_.GetType(id[0].id) == DA_VECTOR) {
    Vector v = data_container_.GetVector(id[0].id);
    if (!SetVectorComponent(v, id, value)) return false;
    data_container_.SetVector(id[0].id, v);
    return true;
  }
  data_container_.SetData(id[0].id, value);
  return true;
}

void BaseList2D::CopyOwnTo(BaseList2D* dst) const {
  dst->name_ = name_;
  dst->data_container_ = data_container_;
  for (CTrack* t : tracks_) {
    auto* c = new CTrack(dst, t->GetDescriptionID());
    *c->GetCurve() = *t->GetCurve();
    dst->tracks_.push_back(c);
  }
}

BaseList2D* BaseList2D::GetClone(LONG flags, AliasTrans* trn) const {
  BaseList2D* dst = HostNodeFactory::Create(GetType(), dynamic_cast<const BaseTag*>(this) != nullptr);
  if (!dst) return nullptr;
  CopyOwnTo(dst);
  for (GeListNode* c = children_.first; c; c = c->GetNext()) {
    auto* cc = static_cast<const BaseList2D*>(c)->GetClone(flags, trn);
    if (cc) cc->InsertLastInto(&dst->children_);
  }
  if (data_ && dst->data_ && !data_->CopyTo(dst->data_, const_cast<BaseList2D*>(this), dst, flags, trn)) {
    HostNodeFactory::Destroy(dst);
    return nullptr;
  }
  return dst;
}

// ---------------------------------------------------------------- BaseTag

BaseTag* BaseTag::Alloc(LONG type) { return static_cast<BaseTag*>(HostNodeFactory::Create(type, true)); }

void BaseTag::Free(BaseTag*& tag) {
  if (tag) HostNodeFactory::Destroy(tag);
  tag = nullptr;
}

BaseObject* BaseTag::GetObject() const {
  if (!head_ || !head_->tags) return nullptr;
  return static_cast<BaseObject*>(head_->owner);
}

BaseList2D* BaseTag::AllocSameType() const { return HostNodeFactory::Create(GetType(), true); }

// ---------------------------------------------------------------- BaseObject

BaseObject::BaseObject(LONG type) : BaseList2D(type) {
  tags_.owner = this;
  tags_.tags = true;
  children_.owner = this;
  is_object_ = true;
}

BaseObject::~BaseObject() {
  while (tags_.first) HostNodeFactory::Destroy(tags_.first);
  // What is left of the node is no longer an object (as a dynamic_cast would say).
  is_object_ = false;
}

BaseObject* BaseObject::Alloc(LONG type) { return static_cast<BaseObject*>(HostNodeFactory::Create(type, false)); }

void BaseObject::Free(BaseObject*& op) {
  if (op) HostNodeFactory::Destroy(op);
  op = nullptr;
}

BaseList2D* BaseObject::AllocSameType() const { return HostNodeFactory::Create(GetType(), false); }

void BaseObject::SetMl(const Matrix& m) {
  ml_ = m;
  LocalChanged();
  scale_ = Vector(m.v1.GetLength(), m.v2.GetLength(), m.v3.GetLength());
  rot_ = MatrixToHPB(m);
  psr_pending_ = false;
}

void BaseObject::RestorePSR(const Matrix& ml, const Vector& hpb, const Vector& scale) {
  SetMl(ml);
  Matrix r = HPBToMatrix(hpb);
  Matrix made(ml.off, r.v1 * scale.x, r.v2 * scale.y, r.v3 * scale.z);
  auto close = [](const Vector& a, const Vector& b) {
    return (a - b).GetLength() <= 1e-9 * (1.0 + a.GetLength());
  };
  if (close(made.v1, ml.v1) && close(made.v2, ml.v2) && close(made.v3, ml.v3)) {
    rot_ = hpb;
    scale_ = scale;
  }
}

namespace {
// The last stamp given to a global matrix; stamps are never given twice.
std::uint64_t g_last_mg_stamp = 0;
}  // namespace

const Matrix& BaseObject::WorldMatrix() const {
  const BaseObject* up = GetUp();
  const Matrix* upMg = up ? &up->WorldMatrix() : nullptr;
  const std::uint64_t upStamp = up ? up->mg_stamp_ : 0;
  if (mg_stamp_ == 0 || mg_parent_stamp_ != upStamp) {
    mg_ = (upMg ? *upMg : Matrix()) * ml_;
    mg_stamp_ = ++g_last_mg_stamp;
    mg_parent_stamp_ = upStamp;
  }
  return mg_;
}

const Matrix& BaseObject::InverseWorldMatrix() const {
  const Matrix& mg = WorldMatrix();
  if (mg_inverse_stamp_ != mg_stamp_) {
    mg_inverse_ = Invert(mg);
    mg_inverse_stamp_ = mg_stamp_;
  }
  return mg_inverse_;
}

Matrix BaseObject::GetUpMg() const {
  BaseObject* up = GetUp();
  return up ? up->WorldMatrix() : Matrix();
}

Matrix BaseObject::GetMg() const { return WorldMatrix(); }

// The angles and scale depend on the axes alone, so a later position change
// (SetRelPos) does not alter what ResolvePSR gives. The children of one
// parent placed one after another share the parent's inverse.
void BaseObject::SetMg(const Matrix& m) {
  BaseObject* up = GetUp();
  ml_ = (up ? up->InverseWorldMatrix() : Invert(Matrix())) * m;
  LocalChanged();
  psr_pending_ = true;
}

void BaseObject::UpdateMatrixFromPSR() {
  Matrix r = HPBToMatrix(rot_);
  ml_ = Matrix(ml_.off, r.v1 * scale_.x, r.v2 * scale_.y, r.v3 * scale_.z);
  LocalChanged();
}

void BaseObject::SetRelPos(const Vector& v) {
  ml_.off = v;
  LocalChanged();
}
void BaseObject::SetRelRot(const Vector& hpb) {
  ResolvePSR();
  rot_ = hpb;
  UpdateMatrixFromPSR();
}
void BaseObject::SetRelScale(const Vector& s) {
  ResolvePSR();
  scale_ = s;
  UpdateMatrixFromPSR();
}

Vector BaseObject::GetMp() const { return Vector(); }
Vector BaseObject::GetRad() const { return Vector(); }

BaseTag* BaseObject::GetTag(LONG type, LONG nr) const {
  for (BaseTag* t = GetFirstTag(); t; t = t->GetNext())
    if (t->GetType() == type && nr-- == 0) return t;
  return nullptr;
}

void BaseObject::InsertTag(BaseTag* tag, BaseTag* pred) {
  if (!tag) return;
  if (pred && pred->GetObject() != this) pred = nullptr;
  if (pred == tag) return;
  tag->Remove();
  tag->InsertIntoAfter(&tags_, pred);
}

BaseTag* BaseObject::MakeTag(LONG type, BaseTag* pred) {
  BaseTag* tag = BaseTag::Alloc(type);
  if (!tag) return nullptr;
  if (!pred) {
    // Appended after the last tag.
    for (BaseTag* t = GetFirstTag(); t; t = t->GetNext()) pred = t;
  }
  tag->InsertIntoAfter(&tags_, pred);
  return tag;
}

void BaseObject::KillTag(LONG type, LONG nr) {
  BaseTag* t = GetTag(type, nr);
  if (t) BaseTag::Free(t);
}

Bool BaseObject::GetParameter(const DescID& id, GeData& out, LONG flags) {
  if (id.GetDepth() < 1) return false;
  ResolvePSR();
  switch (id[0].id) {
    case ID_BASEOBJECT_VISIBILITY_EDITOR: out = GeData(editor_mode_); return true;
    case ID_BASEOBJECT_VISIBILITY_RENDER: out = GeData(render_mode_); return true;
    case ID_BASEOBJECT_REL_POSITION: return GetVectorComponent(ml_.off, id, out);
    case ID_BASEOBJECT_REL_ROTATION: return GetVectorComponent(rot_, id, out);
    case ID_BASEOBJECT_REL_SCALE: return GetVectorComponent(scale_, id, out);
    case ID_BASEOBJECT_GENERATOR_FLAG: out = GeData(static_cast<Bool>(deform_mode_)); return true;
    default: return BaseList2D::GetParameter(id, out, flags);
  }
}

Bool BaseObject::SetParameter(const DescID& id, const GeData& value, LONG flags) {
  if (id.GetDepth() < 1) return false;
  ResolvePSR();
  switch (id[0].id) {
    case ID_BASEOBJECT_VISIBILITY_EDITOR: editor_mode_ = value.GetLong(); return true;
    case ID_BASEOBJECT_VISIBILITY_RENDER: render_mode_ = value.GetLong(); return true;
    case ID_BASEOBJECT_REL_POSITION: {
      const Bool set = SetVectorComponent(ml_.off, id, value);
      LocalChanged();
      return set;
    }
    case ID_BASEOBJECT_REL_ROTATION: {
      Vector r = rot_;
      if (!SetVectorComponent(r, id, value)) return false;
      SetRelRot(r);
      return true;
    }
    case ID_BASEOBJECT_REL_SCALE: {
      Vector s = scale_;
      if (!SetVectorComponent(s, id, value)) return false;
      SetRelScale(s);
      return true;
    }
    case ID_BASEOBJECT_GENERATOR_FLAG: deform_mode_ = value.GetBool(); return true;
    default: return BaseList2D::SetParameter(id, value, flags);
  }
}

void BaseObject::CopyOwnTo(BaseList2D* dst) const {
  BaseList2D::CopyOwnTo(dst);
  auto* d = static_cast<BaseObject*>(dst);
  ResolvePSR();
  d->ml_ = ml_;
  d->LocalChanged();
  d->rot_ = rot_;
  d->scale_ = scale_;
  d->editor_mode_ = editor_mode_;
  d->render_mode_ = render_mode_;
  d->deform_mode_ = deform_mode_;
  d->psr_pending_ = false;
  // A freshly allocated clone may carry tags its Init made; the copied ones
  // replace them.
  while (d->tags_.first) HostNodeFactory::Destroy(d->tags_.first);
  for (BaseTag* t = GetFirstTag(); t; t = t->GetNext()) {
    auto* tc = static_cast<BaseTag*>(t->GetClone());
    if (tc) tc->InsertLastInto(&d->tags_);
  }
}

Bool BaseObject::Message(LONG type, void* data) {
  if (type == MSG_UPDATE) SetDirty();
  return GeListNode::Message(type, data);
}

// ---------------------------------------------------------------- BaseDocument

BaseDocument::BaseDocument() : BaseList2D(0) { objects_.doc = this; }

BaseDocument* BaseDocument::Alloc() { return new BaseDocument(); }

void BaseDocument::Free(BaseDocument*& doc) {
  delete doc;
  doc = nullptr;
}

namespace {
BaseDocument* g_active_document = nullptr;
}  // namespace

BaseDocument* GetActiveDocument() { return g_active_document; }
void SetActiveDocument(BaseDocument* doc) { g_active_document = doc; }

BaseDocument::~BaseDocument() {
  if (g_active_document == this) g_active_document = nullptr;
  while (objects_.first) HostNodeFactory::Destroy(objects_.first);
}

BaseList2D* BaseDocument::AllocSameType() const { return new BaseDocument(); }

void BaseDocument::InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred, Bool) {
  if (!op) return;
  if (pred && pred->GetUp() == parent && pred->GetDocument() == this) {
    op->InsertAfter(pred);
  } else if (parent) {
    op->InsertUnder(parent);
  } else {
    op->InsertFirstInto(&objects_);
  }
}

BaseObject* BaseDocument::SearchObject(const String& name) const {
  BaseObject* found = nullptr;
  ForEachObject([&](BaseObject* op) {
    if (!found && op->GetName() == name) found = op;
  });
  return found;
}

BaseObject* BaseDocument::GetActiveObject() const {
  auto* n = dynamic_cast<BaseObject*>(FromSerial(active_object_));
  return n && n->GetDocument() == this ? n : nullptr;
}
void BaseDocument::SetActiveObject(BaseObject* op, LONG mode) {
  const std::uint64_t serial = op ? op->GetSerial() : 0;
  auto at = std::find(selection_.begin(), selection_.end(), serial);
  switch (mode) {
    case SELECTION_ADD:
      if (!op) return;
      if (at == selection_.end()) selection_.push_back(serial);
      active_object_ = serial;
      break;
    case SELECTION_SUB:
      if (at != selection_.end()) selection_.erase(at);
      if (active_object_ == serial) active_object_ = selection_.empty() ? 0 : selection_.back();
      break;
    default:
      selection_.clear();
      if (op) selection_.push_back(serial);
      active_object_ = serial;
      break;
  }
}

void BaseDocument::GetActiveObjects(AtomArray& selection, LONG flags) const {
  selection.Flush();
  // Objects freed or moved to another document since they were selected
  // drop out here.
  std::vector<BaseObject*> chosen;
  for (std::uint64_t serial : selection_) {
    auto* op = dynamic_cast<BaseObject*>(FromSerial(serial));
    if (op && op->GetDocument() == this) chosen.push_back(op);
  }
  auto selected = [&](const BaseObject* op) { return std::find(chosen.begin(), chosen.end(), op) != chosen.end(); };
  auto inside_selected = [&](const BaseObject* op) {
    for (const BaseObject* up = op->GetUp(); up; up = up->GetUp())
      if (selected(up)) return true;
    return false;
  };
  std::vector<BaseObject*> listed;
  if (flags & GETACTIVEOBJECTFLAGS_SELECTIONORDER) {
    listed = chosen;
  } else {
    ForEachObject([&](BaseObject* op) {
      if (selected(op)) listed.push_back(op);
    });
  }
  for (BaseObject* op : listed)
    if ((flags & GETACTIVEOBJECTFLAGS_CHILDREN) || !inside_selected(op)) selection.Append(op);
}
BaseTag* BaseDocument::GetActiveTag() const {
  auto* n = dynamic_cast<BaseTag*>(FromSerial(active_tag_));
  return n && n->GetDocument() == this ? n : nullptr;
}
void BaseDocument::SetActiveTag(BaseTag* tag) { active_tag_ = tag ? tag->GetSerial() : 0; }

Bool BaseDocument::StartUndo() {
  ++undo_depth_;
  return true;
}
Bool BaseDocument::AddUndo(LONG type, void* data) {
  auto* node = static_cast<BaseList2D*>(data);
  undo_log_.push_back({type, node ? node->GetSerial() : 0});
  return true;
}
Bool BaseDocument::EndUndo() {
  if (undo_depth_ <= 0) return false;
  if (--undo_depth_ == 0) ++undo_groups_;
  return true;
}

void PriorityList::Add(GeListNode* node, LONG priority, LONG flags) {
  auto* bl = dynamic_cast<BaseList2D*>(node);
  if (bl) entries.push_back({bl->GetSerial(), priority, flags});
}

Bool BaseDocument::ExecutePasses(BaseThread* bt, Bool animation, Bool expressions, Bool cache, LONG) {
  if (animation) hostpass::Animate(this);
  if (expressions) {
    PriorityList list;
    ForEachObject([&](BaseObject* op) {
      BasePlugin* p = FindPlugin(op->GetType(), PLUGINTYPE_OBJECT);
      if (p && (p->info & OBJECT_CALL_ADDEXECUTION) && op->GetNodeData())
        op->GetNodeData<ObjectData>()->AddToExecution(op, &list);
      for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext()) {
        BasePlugin* tp = FindPlugin(tag->GetType(), PLUGINTYPE_TAG);
        if (!tp || !(tp->info & TAG_EXPRESSION) || !tag->GetNodeData()) continue;
        if (!tag->GetNodeData<TagData>()->AddToExecution(tag, &list))
          list.Add(tag, EXECUTIONPRIORITY_EXPRESSION, 0);
      }
    });
    std::stable_sort(list.entries.begin(), list.entries.end(),
                     [](const PriorityList::Entry& a, const PriorityList::Entry& b) { return a.priority < b.priority; });
    const LONG flags = animation ? EXECUTIONFLAGS_ANIMATION : 0;
    // The list names nodes by serial: a node freed by an earlier expression
    // (or by a nested evaluation) is skipped.
    for (const auto& e : list.entries) {
      BaseList2D* node = FromSerial(e.serial);
      if (!node || node->GetDocument() != this || !node->GetNodeData()) continue;
      if (auto* op = HostNodeFactory::AsObject(node)) {
        op->GetNodeData<ObjectData>()->Execute(op, this, bt, e.priority, flags);
      } else if (auto* tag = dynamic_cast<BaseTag*>(node)) {
        BaseObject* host = tag->GetObject();
        if (host) tag->GetNodeData<TagData>()->Execute(tag, this, host, bt, e.priority, flags);
      }
    }
  }
  if (cache) hostpass::BuildCaches(this);
  return true;
}

CTrack::~CTrack() = default;
