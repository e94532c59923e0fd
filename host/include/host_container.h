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
  // The index points into the source's map: not copied.
  BaseContainer(const BaseContainer& o) : id_(o.id_), entries_(o.entries_) {}
  BaseContainer& operator=(const BaseContainer& o) {
    if (this == &o) return *this;
    id_ = o.id_;
    entries_ = o.entries_;
    index_.Reset();
    finds_ = 0;
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
    if (index_.Active() && !index_.Put(id, &added)) index_.Reset();
    added = v;
  }
  Bool RemoveData(LONG id) {
    if (index_.Active()) index_.Erase(id);
    return entries_.erase(id) > 0;
  }
  void FlushAll() {
    index_.Reset();
    finds_ = 0;
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
  // An index of a large container's entries by ID. A walk down the map of a
  // car's hundreds of parameters misses the memory cache at every level, and
  // a running car reads and writes dozens of them every frame, some of them
  // links that were never set. Open addressing with linear probing, at most
  // half full; runs of 4 consecutive IDs (a block of per-wheel parameters)
  // keep neighbouring slots, one cache line. Built once a large container
  // has been searched a few times, kept in step by every change of the map's
  // keys, dropped when the map is replaced.
  class Index {
   public:
    bool Active() const { return slots_ != nullptr; }
    void Reset() {
      slots_.reset();
      mask_ = count_ = 0;
    }
    // Empty room for that many entries; false (and inactive) when there is
    // no memory for the slots.
    bool Reserve(size_t entries);
    GeData* Find(LONG id) const {
      for (std::uint32_t i = Home(id);; i = (i + 1) & mask_) {
        const Slot& s = slots_[i];
        if (!s.at) return nullptr;
        if (s.id == id) return s.at;
      }
    }
    // Adds id, or points it at `at` when it is there; false when it is full
    // and cannot grow (the index is then of no use).
    bool Put(LONG id, GeData* at);
    void Erase(LONG id);

   private:
    struct Slot {
      LONG id = 0;
      GeData* at = nullptr;  // null: empty
    };
    static constexpr int kRunBits = 2;
    std::uint32_t Home(LONG id) const {
      const std::uint32_t u = static_cast<std::uint32_t>(id);
      const std::uint32_t run = (u >> kRunBits) * 2654435761u;
      return (((run >> 8) << kRunBits) | (u & ((1u << kRunBits) - 1))) & mask_;
    }
    bool Grow();
    // Held in the container itself: one pointer less to follow per look-up.
    std::unique_ptr<Slot[]> slots_;
    std::uint32_t mask_ = 0;  // slot count - 1
    std::uint32_t count_ = 0;
  };
  static constexpr size_t kIndexFrom = 32;
  static constexpr std::uint32_t kIndexAfterFinds = 16;
  GeData* Find(LONG id) const {
    if (index_.Active()) return index_.Find(id);
    return FindInMap(id);
  }
  GeData* FindInMap(LONG id) const;

  LONG id_ = 0;
  std::map<LONG, GeData> entries_;
  mutable Index index_;
  mutable std::uint32_t finds_ = 0;  // map searches while large and without an index
};

// Inline: a module runs the container's inline members in its own code, on
// the same index as the host.
inline GeData* BaseContainer::FindInMap(LONG id) const {
  if (entries_.size() >= kIndexFrom && ++finds_ >= kIndexAfterFinds) {
    // Without memory for the index the map serves as before.
    bool ok = index_.Reserve(entries_.size());
    for (auto it = entries_.begin(); ok && it != entries_.end(); ++it)
      ok = index_.Put(it->first, const_cast<GeData*>(&it->second));
    if (ok) return index_.Find(id);
    index_.Reset();
  }
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : const_cast<GeData*>(&it->second);
}

inline bool BaseContainer::Index::Reserve(size_t entries) {
  Reset();
  size_t n = 64;
  while (n < 2 * entries + 2) n *= 2;
  if (n > (size_t{1} << 31)) return false;
  slots_.reset(new (std::nothrow) Slot[n]);
  if (!slots_) return false;
  mask_ = static_cast<std::uint32_t>(n - 1);
  return true;
}

inline bool BaseContainer::Index::Put(LONG id, GeData* at) {
  // Past half full it grows; failing that it fills up to one free slot, which
  // ends every probe.
  const std::uint64_t size = std::uint64_t{mask_} + 1;
  if ((count_ + 1) * std::uint64_t{2} > size && !Grow() && count_ + std::uint64_t{2} > size) return false;
  std::uint32_t i = Home(id);
  while (slots_[i].at && slots_[i].id != id) i = (i + 1) & mask_;
  if (!slots_[i].at) ++count_;
  slots_[i] = {id, at};
  return true;
}

inline void BaseContainer::Index::Erase(LONG id) {
  std::uint32_t i = Home(id);
  while (slots_[i].id != id || !slots_[i].at) {
    if (!slots_[i].at) return;
    i = (i + 1) & mask_;
  }
  // Later members of the probe run move back into the hole when their home
  // lies at or before it (cyclically), so no run is ever broken.
  for (std::uint32_t j = (i + 1) & mask_; slots_[j].at; j = (j + 1) & mask_) {
    const std::uint32_t home = Home(slots_[j].id);
    if (((j - home) & mask_) >= ((j - i) & mask_)) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = Slot{};
  --count_;
}

inline bool BaseContainer::Index::Grow() {
  const std::uint64_t old_size = std::uint64_t{mask_} + 1;
  if (old_size * 2 > (std::uint64_t{1} << 31)) return false;
  std::unique_ptr<Slot[]> grown(new (std::nothrow) Slot[old_size * 2]);
  if (!grown) return false;
  std::unique_ptr<Slot[]> old = std::move(slots_);
  slots_ = std::move(grown);
  mask_ = static_cast<std::uint32_t>(old_size * 2 - 1);
  count_ = 0;
  for (std::uint64_t k = 0; k < old_size; ++k)
    if (old[k].at) Put(old[k].id, old[k].at);
  return true;
}
