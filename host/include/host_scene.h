// The scene graph: atoms, list nodes, objects, tags and documents.
#pragma once

#include <cstdint>
#include <vector>

#include "host_container.h"

class NodeData;
class BaseObject;
class BaseTag;
class BaseDocument;
class BaseThread;
class GeListNode;
class CTrack;
class BaseDraw;
class DynamicDescription;
class AtomArray;
struct AliasTrans;

// A parameter's description ID: up to three levels of (id, data type, creator).
struct DescLevel {
  LONG id = 0;
  LONG dtype = 0;
  LONG creator = 0;
  DescLevel() = default;
  DescLevel(LONG i, LONG t = 0, LONG c = 0) : id(i), dtype(t), creator(c) {}
  bool operator==(const DescLevel& o) const { return id == o.id; }
};

class DescID {
 public:
  DescID() = default;
  DescID(LONG id) : DescID(DescLevel(id)) {}
  DescID(const DescLevel& a) { levels_[0] = a; depth_ = 1; }
  DescID(const DescLevel& a, const DescLevel& b) : DescID(a) { levels_[1] = b; depth_ = 2; }
  DescID(const DescLevel& a, const DescLevel& b, const DescLevel& c) : DescID(a, b) { levels_[2] = c; depth_ = 3; }

  LONG GetDepth() const { return depth_; }
  const DescLevel& operator[](LONG i) const { return levels_[i < 0 ? 0 : (i > 2 ? 2 : i)]; }
  void PushId(const DescLevel& l) { if (depth_ < 3) levels_[depth_++] = l; }
  // Equal ids at every level (data types and creators do not matter).
  bool operator==(const DescID& o) const;
  bool operator!=(const DescID& o) const { return !(*this == o); }
  bool operator<(const DescID& o) const;

 private:
  DescLevel levels_[3];
  LONG depth_ = 0;
};

// Host parameter IDs the plug-ins address on every object.
enum : LONG {
  ID_BASELIST_NAME = 900,
  ID_BASEOBJECT_VISIBILITY_EDITOR = 901,
  ID_BASEOBJECT_VISIBILITY_RENDER = 902,
  ID_BASEOBJECT_REL_POSITION = 903,
  ID_BASEOBJECT_REL_ROTATION = 904,
  ID_BASEOBJECT_REL_SCALE = 905,
  ID_BASEOBJECT_GENERATOR_FLAG = 906,
  ID_USERDATA = 700,
  VECTOR_X = 1000,
  VECTOR_Y = 1001,
  VECTOR_Z = 1002,
};

// Editor and render visibility modes.
enum : LONG { MODE_ON = 0, MODE_OFF = 1, MODE_UNDEF = 2 };

// Host message numbers the plug-ins use.
enum : LONG {
  MSG_POINTS_CHANGED = 1,
  MSG_UPDATE = 5,
  MSG_MULTI_DOCUMENTIMPORTED = 13,
  MSG_DESCRIPTION_CHECKUPDATE = 17,  // data: DescriptionCheckUpdate
  MSG_DESCRIPTION_VALIDATE = 20,
  MSG_DESCRIPTION_COMMAND = 18,
  MSG_DESCRIPTION_POSTSETPARAMETER = 19,
  MSG_MENUPREPARE = 22,
  MSG_SIMLINK = 23,
};

// Data of MSG_DESCRIPTION_CHECKUPDATE: a parameter was just changed.
struct DescriptionCheckUpdate {
  BaseDocument* doc = nullptr;
  const DescID* descid = nullptr;
  LONG drawflags = 0;
};

// Objects the host itself provides.
enum : LONG {
  Opolygon = 5100,
  Ospline = 5101,
  Offd = 5108,
  Osweep = 5118,
  Oinstance = 5126,
  Onull = 5140,
  Ocube = 5159,
  Olandscape = 5169,
  Ocylinder = 5170,
  Orelief = 5173,
  Ohelix = 5185,
};

// Tags the host itself provides.
enum : LONG {
  Tpoint = 5600,
  Tpolygon = 5604,
  Ttangent = 5617,
  Tsegment = 5672,
  Tvertexmap = 5682,
};

class C4DAtom {
 public:
  virtual ~C4DAtom();
  C4DAtom(const C4DAtom&) = delete;
  C4DAtom& operator=(const C4DAtom&) = delete;

  LONG GetType() const { return type_; }
  Bool IsInstanceOf(LONG type) const { return type_ == type; }
  // Routed to the plug-in's node data where there is one.
  virtual Bool Message(LONG type, void* data = nullptr);
  virtual Bool GetParameter(const DescID& id, GeData& out, LONG flags = 0);
  virtual Bool SetParameter(const DescID& id, const GeData& value, LONG flags = 0);
  // The node's user-data entries; null for atoms that cannot carry any.
  virtual DynamicDescription* GetDynamicDescription() { return nullptr; }

 protected:
  explicit C4DAtom(LONG type) : type_(type) {}
  LONG type_;

 private:
  // Set while the node is a whole BaseObject: the host tells objects from
  // other nodes by it where a dynamic_cast would walk the type info.
  bool is_object_ = false;
  friend class BaseObject;
  friend class HostNodeFactory;
};

// The list a node lies in: the top-level objects of a document, the children
// of a node or the tags of an object.
struct GeListHead {
  GeListNode* first = nullptr;
  GeListNode* owner = nullptr;     // parent node, or the object owning a tag list
  BaseDocument* doc = nullptr;     // set for a document's top-level list
  bool tags = false;
};

class GeListNode : public C4DAtom {
 public:
  ~GeListNode() override;

  GeListNode* GetUp() const;
  GeListNode* GetDown() const { return children_.first; }
  GeListNode* GetDownLast() const;
  GeListNode* GetNext() const { return next_; }
  GeListNode* GetPred() const { return pred_; }
  BaseDocument* GetDocument() const;

  // Inserting a node that lies in a list first takes it out of that list.
  void InsertUnder(GeListNode* parent);
  void InsertUnderLast(GeListNode* parent);
  void InsertBefore(GeListNode* node);
  void InsertAfter(GeListNode* node);
  void Remove();

  NodeData* GetNodeData() const { return data_; }
  template <class T>
  T* GetNodeData() const { return static_cast<T*>(data_); }

  Bool Message(LONG type, void* data = nullptr) override;

 protected:
  explicit GeListNode(LONG type);
  void InsertFirstInto(GeListHead* head);
  void InsertLastInto(GeListHead* head);
  void InsertIntoAfter(GeListHead* head, GeListNode* pred);
  // Deletes every child (the list is left empty).
  static void FreeList(GeListHead& head);

  // What a walk over the tree reads of every node lies in its first two
  // cache lines: the links, the tags and the tracks.
  GeListHead* head_ = nullptr;
  GeListHead children_;
  GeListNode* next_ = nullptr;
  GeListNode* pred_ = nullptr;
  GeListHead tags_;  // an object's tags (empty for other nodes)
  std::vector<CTrack*> tracks_;  // owned; see BaseList2D::Tracks
  NodeData* data_ = nullptr;

  friend class BaseDocument;
  friend class BaseObject;
  friend class HostNodeFactory;
};

class BaseList2D : public GeListNode {
 public:
  ~BaseList2D() override;

  String GetName() const { return name_; }
  void SetName(const String& n) { name_ = n; }
  BaseContainer* GetDataInstance() { return &data_container_; }
  const BaseContainer* GetDataInstance() const { return &data_container_; }
  BaseContainer GetData() const { return data_container_; }
  void SetData(const BaseContainer& bc, Bool add = true);

  // Unique for the life of the process; links refer to it.
  std::uint64_t GetSerial() const { return serial_; }
  static BaseList2D* FromSerial(std::uint64_t serial);

  Bool GetParameter(const DescID& id, GeData& out, LONG flags = 0) override;
  Bool SetParameter(const DescID& id, const GeData& value, LONG flags = 0) override;

  // Animation tracks of this node (owned).
  std::vector<CTrack*>& Tracks() { return tracks_; }
  const std::vector<CTrack*>& Tracks() const { return tracks_; }
  // The track of that parameter (matched by ids alone), or null.
  CTrack* FindCTrack(const DescID& id) const;
  // Attaches a track (taken from any node it lay on) in DescID order; the
  // node owns it. A track for a parameter that already has one is refused
  // (false, the caller keeps it).
  Bool InsertTrackSorted(CTrack* track);
  DynamicDescription* GetDynamicDescription() override;

  // Copies name, container, tracks and the plug-in data (and, for objects,
  // tags and children) into a new node of the same type.
  BaseList2D* GetClone(LONG flags = 0, AliasTrans* trn = nullptr) const;

 protected:
  explicit BaseList2D(LONG type);
  virtual BaseList2D* AllocSameType() const = 0;
  virtual void CopyOwnTo(BaseList2D* dst) const;

  String name_;
  BaseContainer data_container_;

 private:
  std::uint64_t serial_;
  DynamicDescription* dynamic_ = nullptr;  // a view on the container, made on demand
};

class BaseTag : public BaseList2D {
 public:
  // Allocates a tag of a registered type (host or plug-in); null if unknown.
  static BaseTag* Alloc(LONG type);
  static void Free(BaseTag*& tag);

  BaseObject* GetObject() const;
  BaseTag* GetNext() const { return static_cast<BaseTag*>(next_); }
  BaseTag* GetPred() const { return static_cast<BaseTag*>(pred_); }

 protected:
  explicit BaseTag(LONG type) : BaseList2D(type) {}
  BaseList2D* AllocSameType() const override;
  friend class HostNodeFactory;
};

class BaseObject : public BaseList2D {
 public:
  ~BaseObject() override;

  // Allocates an object of a registered type (host or plug-in) and runs its
  // Init; null if the type is unknown or Init fails.
  static BaseObject* Alloc(LONG type);
  // Takes the object out of its list and deletes it with its children and tags.
  static void Free(BaseObject*& op);

  BaseObject* GetUp() const { return static_cast<BaseObject*>(GeListNode::GetUp()); }
  BaseObject* GetDown() const { return static_cast<BaseObject*>(children_.first); }
  BaseObject* GetDownLast() const { return static_cast<BaseObject*>(GeListNode::GetDownLast()); }
  BaseObject* GetNext() const { return static_cast<BaseObject*>(next_); }
  BaseObject* GetPred() const { return static_cast<BaseObject*>(pred_); }

  // Local (relative to the parent) and global matrices. The global one is
  // the parents' globals times the local one, kept until this object's or an
  // ancestor's local matrix or its place in the tree changes.
  Matrix GetMl() const { return ml_; }
  void SetMl(const Matrix& m);
  Matrix GetMg() const;
  // local := inverse(parent global) * m
  void SetMg(const Matrix& m);
  Matrix GetUpMg() const;

  Vector GetRelPos() const { return ml_.off; }
  void SetRelPos(const Vector& v);
  Vector GetRelRot() const {
    ResolvePSR();
    return rot_;
  }
  void SetRelRot(const Vector& hpb);
  Vector GetRelScale() const {
    ResolvePSR();
    return scale_;
  }
  void SetRelScale(const Vector& s);
  Vector GetAbsPos() const { return GetRelPos(); }
  // Sets the local matrix with the angles and scale it was made from, when
  // they describe it (a stored heading keeps its winding, a negative scale
  // its sign); otherwise as SetMl.
  void RestorePSR(const Matrix& ml, const Vector& hpb, const Vector& scale);

  LONG GetEditorMode() const { return editor_mode_; }
  void SetEditorMode(LONG mode) { editor_mode_ = mode; }
  LONG GetRenderMode() const { return render_mode_; }
  void SetRenderMode(LONG mode) { render_mode_ = mode; }
  Bool GetDeformMode() const { return deform_mode_; }
  void SetDeformMode(Bool on) { deform_mode_ = on; }

  // Bounding box centre and half size in local coordinates.
  virtual Vector GetMp() const;
  virtual Vector GetRad() const;

  BaseTag* GetFirstTag() const { return static_cast<BaseTag*>(tags_.first); }
  // The nr-th tag of that type, or null.
  BaseTag* GetTag(LONG type, LONG nr = 0) const;
  // Inserts tag after pred (at the front when pred is null).
  void InsertTag(BaseTag* tag, BaseTag* pred = nullptr);
  // Allocates a tag of that type and appends it; null on failure.
  BaseTag* MakeTag(LONG type, BaseTag* pred = nullptr);
  void KillTag(LONG type, LONG nr = 0);
  // Element count and array of the first data tag of that type (points,
  // polygons, segments, tangents, vertex-map values); 0 and null without one.
  LONG GetTagDataCount(LONG type) const;
  const void* GetTagDataR(LONG type) const;
  void* GetTagDataW(LONG type);

  Bool GetParameter(const DescID& id, GeData& out, LONG flags = 0) override;
  Bool SetParameter(const DescID& id, const GeData& value, LONG flags = 0) override;

  // The handle of op under the mouse in that view, or -1 (headless: what
  // the view was told, see BaseDraw::SetHighlightHandle).
  static LONG GetHighlightHandle(BaseObject* op, BaseDraw* bd);

  // Bumped by MSG_UPDATE and by geometry changes.
  ULONG GetDirty() const { return dirty_; }
  void SetDirty() { ++dirty_; }
  Bool Message(LONG type, void* data = nullptr) override;

 protected:
  explicit BaseObject(LONG type);
  BaseList2D* AllocSameType() const override;
  void CopyOwnTo(BaseList2D* dst) const override;
  void UpdateMatrixFromPSR();
  // SetMg leaves the angles and scale to be worked out from the local matrix
  // when they are first read: a rig placed in world space every frame is
  // rarely read back, and the angles cost more than the placing. The
  // objects are never const themselves, only the view of them.
  void ResolvePSR() const {
    if (psr_pending_) const_cast<BaseObject*>(this)->SetMl(ml_);
  }

 private:
  // Every write of ml_ goes through here or calls it: the kept global
  // matrix is then worked out again.
  void LocalChanged() { mg_stamp_ = 0; }
  // The global matrix, worked out again where it may have changed, and its
  // inverse, which placing the children needs.
  const Matrix& WorldMatrix() const;
  const Matrix& InverseWorldMatrix() const;

  Matrix ml_;

 protected:
  Vector rot_{0, 0, 0};
  Vector scale_{1, 1, 1};
  // rot_ and scale_ are stale: ml_ was set without them.
  bool psr_pending_ = false;
  LONG editor_mode_ = MODE_UNDEF;
  LONG render_mode_ = MODE_UNDEF;
  Bool deform_mode_ = true;
  ULONG dirty_ = 0;

 private:
  // The kept global matrix. Every working-out gives it a stamp no other has
  // had (0: none yet, or ml_ changed since), and records the parent's stamp
  // it was made from (0 at the top): a parent that moved, or another parent,
  // has another stamp, so the comparison sees both without any object
  // telling its descendants.
  mutable Matrix mg_;
  mutable std::uint64_t mg_stamp_ = 0;
  mutable std::uint64_t mg_parent_stamp_ = 0;
  // The inverse of mg_ as it was under that stamp (0: none).
  mutable Matrix mg_inverse_;
  mutable std::uint64_t mg_inverse_stamp_ = 0;

  friend class BaseTag;
  friend class HostNodeFactory;
};

// Execution priorities and flags of the evaluation loop.
enum : LONG {
  EXECUTIONPRIORITY_INITIAL = 1000,
  EXECUTIONPRIORITY_ANIMATION = 2000,
  EXECUTIONPRIORITY_EXPRESSION = 3000,
  EXECUTIONPRIORITY_DYNAMICS = 4000,
  EXECUTIONPRIORITY_GENERATOR = 5000,
};
enum : LONG {
  EXECUTIONFLAGS_ANIMATION = 2,
  EXECUTIONFLAGS_EXPRESSION = 4,
  EXECUTIONFLAGS_CACHEBUILDING = 8,
};
enum EXECUTIONRESULT : LONG { EXECUTIONRESULT_OK = 0, EXECUTIONRESULT_USERBREAK = 1, EXECUTIONRESULT_OUTOFMEMORY = 2 };

class PriorityList {
 public:
  void Add(GeListNode* node, LONG priority, LONG flags);

  struct Entry {
    std::uint64_t serial;
    LONG priority;
    LONG flags;
  };
  std::vector<Entry> entries;
};

// One recorded undo step (the stand-in host records the calls, no more).
struct UndoRecord {
  LONG kind;
  std::uint64_t serial;
};
enum : LONG { UNDOTYPE_CHANGE = 40, UNDOTYPE_DELETE = 43, UNDOTYPE_NEW = 44 };

enum : LONG { SELECTION_NEW = 0, SELECTION_ADD = 1, SELECTION_SUB = 2 };
enum : LONG {
  GETACTIVEOBJECTFLAGS_NONE = 0,
  GETACTIVEOBJECTFLAGS_CHILDREN = 1,
  GETACTIVEOBJECTFLAGS_SELECTIONORDER = 2,
};

class BaseDocument : public BaseList2D {
 public:
  static BaseDocument* Alloc();
  static void Free(BaseDocument*& doc);
  ~BaseDocument() override;

  BaseObject* GetFirstObject() const { return static_cast<BaseObject*>(objects_.first); }
  // parent null: top level; pred null: first in the list.
  void InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred, Bool checknames = false);
  // First object of that name in a pre-order walk, or null.
  BaseObject* SearchObject(const String& name) const;

  BaseTime GetTime() const { return time_; }
  void SetTime(const BaseTime& t) { time_ = t; }
  LONG GetFps() const { return fps_; }
  void SetFps(LONG fps) { fps_ = fps > 0 ? fps : 1; }
  BaseTime GetMinTime() const { return min_time_; }
  void SetMinTime(const BaseTime& t) { min_time_ = t; }
  BaseTime GetMaxTime() const { return max_time_; }
  void SetMaxTime(const BaseTime& t) { max_time_ = t; }
  BaseTime GetLoopMinTime() const { return loop_min_; }
  void SetLoopMinTime(const BaseTime& t) { loop_min_ = t; }
  BaseTime GetLoopMaxTime() const { return loop_max_; }
  void SetLoopMaxTime(const BaseTime& t) { loop_max_ = t; }

  // The object selection. NEW makes op the only selected object (none for
  // null), ADD adds it, SUB takes it out; the active object is the one last
  // added (after SUB, the last one still selected).
  BaseObject* GetActiveObject() const;
  void SetActiveObject(BaseObject* op, LONG mode = SELECTION_NEW);
  // The selected objects of this document: in tree order, or in the order
  // they were selected with GETACTIVEOBJECTFLAGS_SELECTIONORDER; a selected
  // object inside a selected object only with GETACTIVEOBJECTFLAGS_CHILDREN.
  void GetActiveObjects(AtomArray& selection, LONG flags) const;
  BaseTag* GetActiveTag() const;
  void SetActiveTag(BaseTag* tag);

  Bool StartUndo();
  Bool AddUndo(LONG type, void* data);
  Bool EndUndo();
  const std::vector<UndoRecord>& UndoLog() const { return undo_log_; }
  LONG UndoGroupsClosed() const { return undo_groups_; }

  // Evaluates the document at its current time: the animation pass, the
  // expressions sorted by priority, then the caches. Re-entrant.
  Bool ExecutePasses(BaseThread* bt, Bool animation, Bool expressions, Bool cache, LONG build_flags = 0);

  // Calls fn on every object in pre-order (object, its children).
  template <class Fn>
  void ForEachObject(Fn&& fn) const {
    for (BaseObject* op = GetFirstObject(); op; op = op->GetNext()) Walk(op, fn);
  }

 protected:
  BaseDocument();
  BaseList2D* AllocSameType() const override;

 private:
  template <class Fn>
  static void Walk(BaseObject* op, Fn& fn) {
    fn(op);
    for (BaseObject* c = op->GetDown(); c; c = c->GetNext()) Walk(c, fn);
  }

  GeListHead objects_;
  BaseTime time_;
  LONG fps_ = 30;
  BaseTime min_time_{0.0, 1.0};
  BaseTime max_time_{90.0, 30.0};
  BaseTime loop_min_{0.0, 1.0};
  BaseTime loop_max_{90.0, 30.0};
  std::uint64_t active_object_ = 0;
  std::vector<std::uint64_t> selection_;  // in the order selected
  std::uint64_t active_tag_ = 0;
  LONG undo_depth_ = 0;
  LONG undo_groups_ = 0;
  std::vector<UndoRecord> undo_log_;
};

// The document the host's interface shows; null when there is none. A
// document that is freed stops being the active one.
BaseDocument* GetActiveDocument();
void SetActiveDocument(BaseDocument* doc);

// Passes the evaluation runs besides the expressions; the geometry and
// animation parts of the host fill them in.
namespace hostpass {
void Animate(BaseDocument* doc);
void BuildCaches(BaseDocument* doc);
}  // namespace hostpass
