#include <cmath>

#include "host_container.h"
#include "host_scene.h"
#include "node_factory.h"


GeData::GeData(const BaseList2D* node) : type_(DA_ALIASLINK), v_(BaseLink{node ? node->GetSerial() : 0}) {}
GeData::GeData(const BaseContainer& bc) : type_(DA_CONTAINER), v_(std::make_unique<BaseContainer>(bc)) {}
GeData::GeData(const CustomDataType& custom) : type_(custom.GetTypeId()), v_(custom.Clone()) {}

GeData::GeData(const GeData& o) : type_(o.type_) {
  if (auto* sub = std::get_if<Sub>(&o.v_))
    v_ = *sub ? std::make_unique<BaseContainer>(**sub) : nullptr;
  else if (auto* c = std::get_if<Custom>(&o.v_))
    v_ = *c ? (*c)->Clone() : nullptr;
  else
    std::visit(
        [this](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (!std::is_same_v<T, Sub> && !std::is_same_v<T, Custom>) v_ = x;
        },
        o.v_);
}

namespace {

// Overwrites a value of alternative T in place when both hold one.
template <class T, class V>
bool AssignSame(V& to, const V& from) {
  T* t = std::get_if<T>(&to);
  const T* f = std::get_if<T>(&from);
  if (!t || !f) return false;
  *t = *f;
  return true;
}

}  // namespace

GeData& GeData::operator=(const GeData& o) {
  if (this == &o) return *this;
  // A plain value over one of its own kind is copied in place: a running
  // car publishes dozens of numbers every frame into entries that hold them.
  if (v_.index() == o.v_.index() &&
      (AssignSame<Real>(v_, o.v_) || AssignSame<LLONG>(v_, o.v_) || AssignSame<Vector>(v_, o.v_) ||
       AssignSame<Matrix>(v_, o.v_) || AssignSame<String>(v_, o.v_) || AssignSame<BaseLink>(v_, o.v_))) {
    type_ = o.type_;
    return *this;
  }
  GeData tmp(o);
  *this = std::move(tmp);
  return *this;
}

GeData::~GeData() = default;

LONG GeData::GetLong() const {
  if (auto* l = std::get_if<LLONG>(&v_)) return static_cast<LONG>(*l);
  if (auto* r = std::get_if<Real>(&v_)) {
    // Out-of-range and NaN values read as 0 rather than an undefined cast.
    if (!(*r > -2147483649.0 && *r < 2147483648.0)) return 0;
    return static_cast<LONG>(*r);
  }
  return 0;
}
LLONG GeData::GetLLong() const {
  if (auto* l = std::get_if<LLONG>(&v_)) return *l;
  if (auto* r = std::get_if<Real>(&v_)) {
    if (!(*r > -9.2e18 && *r < 9.2e18)) return 0;
    return static_cast<LLONG>(*r);
  }
  return 0;
}
Real GeData::GetReal() const {
  if (auto* r = std::get_if<Real>(&v_)) return *r;
  if (auto* l = std::get_if<LLONG>(&v_)) return static_cast<Real>(*l);
  return 0.0;
}
Vector GeData::GetVector() const {
  if (auto* v = std::get_if<Vector>(&v_)) return *v;
  return Vector();
}
Matrix GeData::GetMatrix() const {
  if (auto* v = std::get_if<Matrix>(&v_)) return *v;
  return Matrix();
}
String GeData::GetString() const {
  if (auto* v = std::get_if<String>(&v_)) return *v;
  return String();
}
BaseTime GeData::GetTime() const {
  if (auto* v = std::get_if<BaseTime>(&v_)) return *v;
  return BaseTime();
}
Filename GeData::GetFilename() const {
  if (auto* v = std::get_if<Filename>(&v_)) return *v;
  return Filename();
}
BaseLink GeData::GetLink() const {
  if (auto* v = std::get_if<BaseLink>(&v_)) return *v;
  return BaseLink();
}
const BaseContainer* GeData::GetContainer() const {
  if (auto* v = std::get_if<Sub>(&v_)) return v->get();
  return nullptr;
}
BaseContainer* GeData::GetContainer() {
  if (auto* v = std::get_if<Sub>(&v_)) return v->get();
  return nullptr;
}
const CustomDataType* GeData::GetCustomDataType(LONG type_id) const {
  if (auto* v = std::get_if<Custom>(&v_); v && *v && (*v)->GetTypeId() == type_id) return v->get();
  return nullptr;
}
CustomDataType* GeData::GetCustomDataType(LONG type_id) {
  if (auto* v = std::get_if<Custom>(&v_); v && *v && (*v)->GetTypeId() == type_id) return v->get();
  return nullptr;
}
BaseList2D* GeData::GetLinkAtom(const BaseDocument* doc) const {
  auto* l = std::get_if<BaseLink>(&v_);
  if (!l || l->serial == 0) return nullptr;
  BaseList2D* node = BaseList2D::FromSerial(l->serial);
  if (!node) return nullptr;
  if (doc && node->GetDocument() != doc) return nullptr;
  return node;
}

bool GeData::operator==(const GeData& o) const {
  if (type_ != o.type_) return false;
  if (auto* a = std::get_if<Sub>(&v_)) {
    auto* b = std::get_if<Sub>(&o.v_);
    if (!*a || !*b) return !*a && !*b;
    return **a == **b;
  }
  if (auto* a = std::get_if<Custom>(&v_)) {
    auto* b = std::get_if<Custom>(&o.v_);
    if (!*a || !*b) return !*a && !*b;
    return (*a)->Equals(**b);
  }
  if (auto* a = std::get_if<BaseTime>(&v_)) return *a == std::get<BaseTime>(o.v_);
  return v_ == o.v_;
}

static const GeData kNil;

LONG BaseContainer::GetType(LONG id) const {
  const GeData* d = Find(id);
  return d ? d->GetType() : DA_NIL;
}
Bool BaseContainer::GetBool(LONG id, Bool preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetBool() : preset;
}
LONG BaseContainer::GetLong(LONG id, LONG preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetLong() : preset;
}
LLONG BaseContainer::GetLLong(LONG id, LLONG preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetLLong() : preset;
}
Real BaseContainer::GetReal(LONG id, Real preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetReal() : preset;
}
Vector BaseContainer::GetVector(LONG id, const Vector& preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetVector() : preset;
}
Matrix BaseContainer::GetMatrix(LONG id, const Matrix& preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetMatrix() : preset;
}
String BaseContainer::GetString(LONG id, const String& preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetString() : preset;
}
BaseTime BaseContainer::GetTime(LONG id, const BaseTime& preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetTime() : preset;
}
Filename BaseContainer::GetFilename(LONG id, const Filename& preset) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetFilename() : preset;
}
BaseContainer BaseContainer::GetContainer(LONG id) const {
  auto* d = GetDataPointer(id);
  const BaseContainer* c = d ? d->GetContainer() : nullptr;
  return c ? *c : BaseContainer();
}
BaseContainer* BaseContainer::GetContainerInstance(LONG id) {
  auto* d = GetDataPointer(id);
  return d ? d->GetContainer() : nullptr;
}
const CustomDataType* BaseContainer::GetCustomDataType(LONG id, LONG type_id) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetCustomDataType(type_id) : nullptr;
}
CustomDataType* BaseContainer::GetCustomDataType(LONG id, LONG type_id) {
  auto* d = GetDataPointer(id);
  return d ? d->GetCustomDataType(type_id) : nullptr;
}
BaseList2D* BaseContainer::GetLink(LONG id, const BaseDocument* doc) const {
  auto* d = GetDataPointer(id);
  return d ? d->GetLinkAtom(doc) : nullptr;
}
BaseObject* BaseContainer::GetObjectLink(LONG id, const BaseDocument* doc) const {
  return HostNodeFactory::AsObject(GetLink(id, doc));
}
BaseTag* BaseContainer::GetTagLink(LONG id, const BaseDocument* doc) const {
  return dynamic_cast<BaseTag*>(GetLink(id, doc));
}
const GeData* BaseContainer::GetDataPointer(LONG id) const { return Find(id); }
GeData* BaseContainer::GetDataPointer(LONG id) { return Find(id); }
const GeData& BaseContainer::GetData(LONG id) const {
  auto* d = GetDataPointer(id);
  return d ? *d : kNil;
}
void BaseContainer::MergeContainer(const BaseContainer& src) {
  for (const auto& [id, v] : src.entries_) {
    GeData& d = entries_[id];
    if (index_.Active() && !index_.Put(id, &d)) index_.Reset();
    d = v;
  }
}
