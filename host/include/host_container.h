// GeData (one typed value) and BaseContainer (values by numeric ID).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <variant>

#include "host_types.h"

class BaseList2D;
class BaseObject;
class BaseTag;
class BaseDocument;

// Value type numbers. LONG 15, Real 19, Vector 23, String 130 and link 133
// are the numbers the plug-ins compare against and put into descriptions;
// the others are this host's own.
enum : LONG {
  DA_NIL = 0,
  DA_LONG = 15,
  DA_REAL = 19,
  DA_VECTOR = 23,
  DA_STRING = 130,
  DA_ALIASLINK = 133,
  DA_CONTAINER = 1001,
  DA_LLONG = 1002,
  DA_TIME = 1003,
  DA_MATRIX = 1004,
  DA_FILENAME = 1005,
};

// Base of every custom data type (spline curves and the like). A custom value
// is identified by its type ID and can clone, compare and serialise itself.
class CustomDataType {
 public:
  virtual ~CustomDataType();
  virtual LONG GetTypeId() const = 0;
  virtual std::unique_ptr<CustomDataType> Clone() const = 0;
  virtual bool Equals(const CustomDataType& other) const = 0;
};

// A weak link to a node: it names the node's serial number, so a deleted node
// reads as null and nothing dangles.
struct BaseLink {
  std::uint64_t serial = 0;
  bool operator==(const BaseLink& o) const { return serial == o.serial; }
};

class BaseContainer;

class GeData {
 public:
  GeData() = default;
  GeData(Bool v) : type_(DA_LONG), v_(static_cast<LLONG>(v ? 1 : 0)) {}
  GeData(int v) : type_(DA_LONG), v_(static_cast<LLONG>(v)) {}
  GeData(LLONG v) : type_(DA_LLONG), v_(v) {}
  GeData(Real v) : type_(DA_REAL), v_(v) {}
  GeData(const Vector& v) : type_(DA_VECTOR), v_(v) {}
  GeData(const Matrix& v) : type_(DA_MATRIX), v_(v) {}
  GeData(const String& v) : type_(DA_STRING), v_(v) {}
  GeData(const char* v) : type_(DA_STRING), v_(String(v)) {}
  GeData(const BaseTime& v) : type_(DA_TIME), v_(v) {}
  GeData(const Filename& v) : type_(DA_FILENAME), v_(v) {}
  GeData(const BaseLink& v) : type_(DA_ALIASLINK), v_(v) {}
  GeData(const BaseList2D* node);
  GeData(const BaseContainer& bc);
  GeData(const CustomDataType& custom);

  GeData(const GeData& o);
  GeData(GeData&& o) noexcept = default;
  GeData& operator=(const GeData& o);
  GeData& operator=(GeData&& o) noexcept = default;
  ~GeData();

  LONG GetType() const { return type_; }
  Bool IsNil() const { return type_ == DA_NIL; }

  // Readers give zero (or the empty value) when the type does not fit;
  // numeric types convert into each other.
  Bool GetBool() const { return GetLong() != 0; }
  LONG GetLong() const;
  LLONG GetLLong() const;
  Real GetReal() const;
  Vector GetVector() const;
  Matrix GetMatrix() const;
  String GetString() const;
  BaseTime GetTime() const;
  Filename GetFilename() const;
  BaseLink GetLink() const;
  const BaseContainer* GetContainer() const;
  BaseContainer* GetContainer();
  // The custom value when its type is the one asked for, else null.
  const CustomDataType* GetCustomDataType(LONG type_id) const;
  CustomDataType* GetCustomDataType(LONG type_id);
  // Resolves a link value; null when the node is gone or not a list node.
  BaseList2D* GetLinkAtom(const BaseDocument* doc) const;

  void SetLong(LONG v) { *this = GeData(v); }
  void SetReal(Real v) { *this = GeData(v); }

  bool operator==(const GeData& o) const;
  bool operator!=(const GeData& o) const { return !(*this == o); }

 private:
  using Custom = std::unique_ptr<CustomDataType>;
  using Sub = std::unique_ptr<BaseContainer>;
  LONG type_ = DA_NIL;
  std::variant<std::monostate, LLONG, Real, Vector, Matrix, String, BaseTime, Filename, BaseLink, Sub, Custom> v_;
};

class BaseContainer {
 public:
  explicit BaseContainer(LONG id = 0) : id_(id) {}
  // The entries found lately point into the source's map: not copied.
  BaseContainer(const BaseContainer& o) : id_(o.id_), entries_(o.entries_) {}
  BaseContainer& operator=(const BaseContainer& o) {
    if (this == &o) return *this;
    id_ = o.id_;
    entries_ = o.entries_;
    recent_.reset();
    return *this;
  }

  LONG GetId() const { return id_; }
  void SetId(LONG id) { id_ = id; }

  // An absent entry reads as zero / empty; GetType reports DA_NIL for it.
  LONG GetType(LONG id) const;
  Bool GetBool(LONG id, Bool preset = false) const;
  LONG GetLong(LONG id, LONG preset = 0) const;
  LLONG GetLLong(LONG id, LLONG preset = 0) const;
  Real GetReal(LONG id, Real preset = 0.0) const;
  Vector GetVector(LONG id, const Vector& preset = Vector()) const;
  Matrix GetMatrix(LONG id, const Matrix& preset = Matrix()) const;
  String GetString(LONG id, const String& preset = String()) const;
  BaseTime GetTime(LONG id, const BaseTime& preset = BaseTime()) const;
  Filename GetFilename(LONG id, const Filename& preset = Filename()) const;
  BaseContainer GetContainer(LONG id) const;
  BaseContainer* GetContainerInstance(LONG id);
  const CustomDataType* GetCustomDataType(LONG id, LONG type_id) const;
  CustomDataType* GetCustomDataType(LONG id, LONG type_id);
  // Weak links: null for a node that was freed or that lies in another document
  // than doc (doc may be null to accept any).
  BaseList2D* GetLink(LONG id, const BaseDocument* doc) const;
  BaseObject* GetObjectLink(LONG id, const BaseDocument* doc) const;
  BaseTag* GetTagLink(LONG id, const BaseDocument* doc) const;

  void SetBool(LONG id, Bool v) { SetData(id, GeData(v)); }
  void SetLong(LONG id, LONG v) { SetData(id, GeData(v)); }
  void SetLLong(LONG id, LLONG v) { SetData(id, GeData(v)); }
  void SetReal(LONG id, Real v) { SetData(id, GeData(v)); }
  void SetVector(LONG id, const Vector& v) { SetData(id, GeData(v)); }
  void SetMatrix(LONG id, const Matrix& v) { SetData(id, GeData(v)); }
  void SetString(LONG id, const String& v) { SetData(id, GeData(v)); }
  void SetTime(LONG id, const BaseTime& v) { SetData(id, GeData(v)); }
  void SetFilename(LONG id, const Filename& v) { SetData(id, GeData(v)); }
  void SetContainer(LONG id, const BaseContainer& v) { SetData(id, GeData(v)); }
  void SetLink(LONG id, const BaseList2D* node) { SetData(id, GeData(node)); }

  const GeData* GetDataPointer(LONG id) const;
  GeData* GetDataPointer(LONG id);
  const GeData& GetData(LONG id) const;
  void SetData(LONG id, const GeData& v) {
    if (GeData* d = Find(id)) {
      *d = v;
      return;
    }
    GeData& added = entries_[id];
    Forget(id);
    added = v;
  }
  Bool RemoveData(LONG id) {
    Forget(id);
    return entries_.erase(id) > 0;
  }
  void FlushAll() {
    recent_.reset();
    entries_.clear();
  }
  LONG GetEntryCount() const { return static_cast<LONG>(entries_.size()); }
  // Copies every entry of src into this container (src wins).
  void MergeContainer(const BaseContainer& src);
  BaseContainer* GetClone() const { return new BaseContainer(*this); }

  bool operator==(const BaseContainer& o) const { return id_ == o.id_ && entries_ == o.entries_; }
  bool operator!=(const BaseContainer& o) const { return !(*this == o); }

  // Entries in ascending ID order.
  const std::map<LONG, GeData>& Entries() const { return entries_; }

 private:
  // What the last look-ups of a large container found, by ID: an entry or
  // that there is none. A walk down the map of a car's hundreds of
  // parameters misses the memory cache at every level, and a running car
  // reads and writes the same few dozen of them every frame, some of them
  // links that were never set. Adding or erasing an entry drops what was
  // found for its ID; replacing the map drops everything.
  static constexpr size_t kRecentFrom = 32;
  static constexpr int kRecentBits = 8;
  struct Recent {
    struct Slot {
      LONG id = 0;
      bool known = false;
      GeData* at = nullptr;  // null: no entry
    } slots[1 << kRecentBits];
  };
  static size_t RecentSlot(LONG id) {
    return (static_cast<std::uint32_t>(id) * 2654435761u) >> (32 - kRecentBits);
  }
  GeData* Find(LONG id) const {
    Recent::Slot* slot = nullptr;
    if (entries_.size() >= kRecentFrom) {
      if (!recent_) recent_.reset(new (std::nothrow) Recent);
      if (recent_) {
        slot = &recent_->slots[RecentSlot(id)];
        if (slot->known && slot->id == id) return slot->at;
      }
    }
    auto it = entries_.find(id);
    GeData* at = it == entries_.end() ? nullptr : const_cast<GeData*>(&it->second);
    if (slot) *slot = {id, true, at};
    return at;
  }
  void Forget(LONG id) {
    if (!recent_) return;
    Recent::Slot& slot = recent_->slots[RecentSlot(id)];
    if (slot.id == id) slot.known = false;
  }

  LONG id_ = 0;
  std::map<LONG, GeData> entries_;
  mutable std::unique_ptr<Recent> recent_;
};
