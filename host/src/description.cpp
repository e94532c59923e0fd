#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host_description.h"
#include "host_loader.h"
#include "host_plugin.h"

// ---------------------------------------------------------------- defaults

static GeData ZeroOf(LONG type) {
  switch (type) {
    case DA_LONG:
    case DTYPE_BOOL: return GeData(0);
    case DA_LLONG: return GeData(static_cast<LLONG>(0));
    case DA_REAL: return GeData(0.0);
    case DA_TIME: return GeData(BaseTime());
    case DA_VECTOR: return GeData(Vector());
    case DA_MATRIX: return GeData(Matrix());
    case DA_STRING: return GeData(String());
    case DA_FILENAME: return GeData(Filename());
    case DA_ALIASLINK: return GeData(BaseLink{});
    default: return GeData();
  }
}

BaseContainer GetCustomDataTypeDefault(LONG type) {
  BaseContainer bc(type);
  bc.SetLong(DESC_DATATYPE, type);
  bc.SetString(DESC_NAME, String());
  bc.SetString(DESC_SHORT_NAME, String());
  bc.SetLong(DESC_ANIMATE, DESC_ANIMATE_ON);
  bc.SetLong(DESC_CUSTOMGUI, type);
  if (type == DA_REAL) {
    bc.SetReal(DESC_STEP, 1.0);
    bc.SetLong(DESC_UNIT, DESC_UNIT_REAL);
  } else if (type == DA_LONG) {
    bc.SetLong(DESC_STEP, 1);
    bc.SetLong(DESC_UNIT, DESC_UNIT_LONG);
  }
  return bc;
}

// ---------------------------------------------------------------- Description

namespace {
long g_fail_set_countdown = 0;
std::vector<Filename>& ExtraFolders() {
  static std::vector<Filename> folders;
  return folders;
}
}  // namespace

namespace hostdesc {
void AddResourceFolder(const Filename& folder) { ExtraFolders().push_back(folder); }
void ClearResourceFolders() { ExtraFolders().clear(); }
void FailSetParameterAfter(long n) { g_fail_set_countdown = n > 0 ? n : 0; }
}  // namespace hostdesc

void Description::Clear() {
  entries_.clear();
  loaded_ = false;
  name_.clear();
  error_.clear();
}

Bool Description::SetParameter(const DescID& id, const BaseContainer& settings, const DescID& parent) {
  if (g_fail_set_countdown > 0 && --g_fail_set_countdown == 0) return false;
  if (id.GetDepth() < 1) return false;
  DescEntry e;
  e.id = id;
  e.dtype = id[id.GetDepth() - 1].dtype;
  if (e.dtype == 0) e.dtype = settings.GetLong(DESC_DATATYPE);
  e.settings = settings;
  e.settings.SetLong(DESC_DATATYPE, e.dtype);
  e.parent = parent;
  if (parent.GetDepth() > 0) e.settings.SetLong(DESC_PARENTGROUP, parent[0].id);
  const bool spacer = id.GetDepth() == 1 && id[0].id == 0;
  if (!spacer)
    for (DescEntry& old : entries_)
      if (old.id == id) {
        old = std::move(e);
        return true;
      }
  entries_.push_back(std::move(e));
  return true;
}

const DescEntry* Description::Find(const DescID& id) const {
  for (const DescEntry& e : entries_)
    if (e.id == id) return &e;
  return nullptr;
}

BaseContainer* Description::GetParameterI(const DescID& id, AtomArray*) {
  for (DescEntry& e : entries_)
    if (e.id == id) return &e.settings;
  return nullptr;
}

const BaseContainer* Description::GetParameter(const DescID& id) const {
  const DescEntry* e = Find(id);
  return e ? &e->settings : nullptr;
}

Bool Description::IsHidden(const DescID& id) const {
  const BaseContainer* bc = GetParameter(id);
  return bc && bc->GetBool(DESC_HIDE);
}

namespace {
using nlohmann::json;

struct TypeName {
  const char* name;
  LONG dtype;
};
constexpr TypeName kTypes[] = {
    {"group", DTYPE_GROUP},     {"button", DTYPE_BUTTON},  {"separator", DTYPE_STATICTEXT},
    {"static", DTYPE_STATICTEXT}, {"bool", DTYPE_BOOL},    {"long", DA_LONG},
    {"real", DA_REAL},          {"time", DA_TIME},         {"vector", DA_VECTOR},
    {"matrix", DA_MATRIX},      {"string", DA_STRING},     {"filename", DA_FILENAME},
    {"link", DA_ALIASLINK},
};
struct UnitName {
  const char* name;
  LONG code;
};
constexpr UnitName kUnits[] = {{"real", DESC_UNIT_REAL},   {"percent", DESC_UNIT_PERCENT},
                               {"degree", DESC_UNIT_DEGREE}, {"meter", DESC_UNIT_METER},
                               {"long", DESC_UNIT_LONG},   {"time", DESC_UNIT_TIME}};

// Whether a number read for a long parameter fits one (fractions are cut).
bool FitsLong(const json& v) {
  const double d = v.get<double>();
  return d > static_cast<double>(INT32_MIN) - 1.0 && d < static_cast<double>(INT32_MAX) + 1.0;
}

bool ParseDefault(const json& v, LONG dtype, GeData& out, std::string& why) {
  if (v.is_boolean()) {
    out = GeData(v.get<bool>() ? 1 : 0);
  } else if (v.is_number()) {
    if (dtype == DA_REAL || dtype == DA_TIME)
      out = dtype == DA_TIME ? GeData(BaseTime(v.get<double>())) : GeData(v.get<double>());
    else if (dtype == DA_LONG || dtype == DTYPE_BOOL) {
      if (!FitsLong(v)) return why = "the default is beyond the integer range", false;
      out = GeData(static_cast<int>(v.get<double>()));
    }
    else
      return why = "a number does not fit this type", false;
  } else if (v.is_array() && v.size() == 3 && dtype == DA_VECTOR) {
    for (const auto& c : v)
      if (!c.is_number()) return why = "a vector needs three numbers", false;
    out = GeData(Vector(v[0].get<double>(), v[1].get<double>(), v[2].get<double>()));
  } else if (v.is_string() && dtype == DA_STRING) {
    out = GeData(String(v.get<std::string>()));
  } else {
    return why = "the default does not fit the type", false;
  }
  return true;
}

bool ParseEntry(const json& j, DescEntry& e, std::string& why) {
  if (!j.is_object()) return why = "an entry is not an object", false;
  if (!j.contains("id") || !j["id"].is_number_integer()) return why = "an entry has no integer \"id\"", false;
  const LONG id = j["id"].get<LONG>();
  if (!j.contains("type") || !j["type"].is_string()) return why = "entry " + std::to_string(id) + " has no \"type\"", false;
  const std::string type = j["type"].get<std::string>();
  const std::string where = "entry " + std::to_string(id) + ": ";
  LONG dtype = 0;
  for (const auto& t : kTypes)
    if (type == t.name) dtype = t.dtype;
  if (type == "dtype") {
    if (!j.contains("dtype") || !j["dtype"].is_number_integer()) return why = where + "type \"dtype\" needs \"dtype\"", false;
    dtype = j["dtype"].get<LONG>();
  }
  if (dtype == 0) return why = where + "unknown type \"" + type + "\"", false;
  if (id == 0 && dtype != DTYPE_STATICTEXT) return why = "id 0 is only for separators and static text", false;

  e.id = DescID(DescLevel(id, dtype, 0));
  e.dtype = dtype;
  e.settings = GetCustomDataTypeDefault(dtype);
  BaseContainer& bc = e.settings;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& k = it.key();
    const json& v = it.value();
    auto need = [&](bool ok, const char* what) {
      if (!ok) why = where + "\"" + k + "\" must be " + what;
      return ok;
    };
    if (k == "id" || k == "type" || k == "dtype") continue;
    if (k == "parent") {
      if (!need(v.is_number_integer(), "an integer")) return false;
      e.parent = DescID(v.get<LONG>());
      bc.SetLong(DESC_PARENTGROUP, v.get<LONG>());
    } else if (k == "name" || k == "short") {
      if (!need(v.is_string(), "a text")) return false;
      bc.SetString(k == "name" ? DESC_NAME : DESC_SHORT_NAME, String(v.get<std::string>()));
    } else if (k == "min" || k == "max" || k == "step") {
      if (!need(v.is_number(), "a number")) return false;
      const LONG key = k == "min" ? DESC_MIN : k == "max" ? DESC_MAX : DESC_STEP;
      if (dtype == DA_LONG && !FitsLong(v)) return why = where + "\"" + k + "\" is beyond the integer range", false;
      if (dtype == DA_LONG)
        bc.SetLong(key, static_cast<LONG>(v.get<double>()));
      else
        bc.SetReal(key, v.get<double>());
    } else if (k == "unit") {
      LONG code = 0;
      if (v.is_string())
        for (const auto& u : kUnits)
          if (v.get<std::string>() == u.name) code = u.code;
      if (!need(code != 0, "a known unit")) return false;
      bc.SetLong(DESC_UNIT, code);
    } else if (k == "default") {
      GeData d;
      if (!ParseDefault(v, dtype, d, why)) return why = where + why, false;
      bc.SetData(DESC_DEFAULT, d);
    } else if (k == "hide" || k == "animate" || k == "open" || k == "scaleh") {
      if (!need(v.is_boolean(), "true or false")) return false;
      const LONG key = k == "hide" ? DESC_HIDE : k == "animate" ? DESC_ANIMATE : k == "open" ? DESC_GUIOPEN : DESC_SCALEH;
      bc.SetLong(key, v.get<bool>() ? 1 : 0);
    } else if (k == "columns" || k == "gui") {
      if (!need(v.is_number_integer(), "an integer")) return false;
      bc.SetLong(k == "columns" ? DESC_COLUMNS : DESC_CUSTOMGUI, v.get<LONG>());
    } else if (k == "cycle") {
      if (!need(v.is_object(), "an object of value: label")) return false;
      BaseContainer cycle;
      for (auto c = v.begin(); c != v.end(); ++c) {
        Bool ok = false;
        LONG value = String(c.key()).ToLong(&ok);
        if (!need(ok && c.value().is_string(), "an object of value: label")) return false;
        cycle.SetString(value, String(c.value().get<std::string>()));
      }
      bc.SetContainer(DESC_CYCLE, cycle);
    } else if (k == "accept") {
      if (!need(v.is_array(), "an array of type numbers")) return false;
      BaseContainer accept;
      for (const auto& a : v) {
        if (!need(a.is_number_integer(), "an array of type numbers")) return false;
        accept.SetLong(a.get<LONG>(), 1);
      }
      bc.SetContainer(DESC_ACCEPT, accept);
    } else {
      why = where + "unknown key \"" + k + "\"";
      return false;
    }
  }
  if (bc.GetString(DESC_SHORT_NAME).empty()) bc.SetString(DESC_SHORT_NAME, bc.GetString(DESC_NAME));
  return true;
}
}  // namespace

Bool Description::LoadFromText(const std::string& text, String* error) {
  std::string why;
  std::vector<DescEntry> parsed;
  String name;
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    why = "not valid JSON";
  } else if (!doc.is_object() || !doc.contains("entries") || !doc["entries"].is_array()) {
    why = "no \"entries\" array";
  } else {
    if (doc.contains("name") && doc["name"].is_string()) name = doc["name"].get<std::string>();
    for (const auto& j : doc["entries"]) {
      DescEntry e;
      if (!ParseEntry(j, e, why)) break;
      const bool spacer = e.id[0].id == 0;
      if (!spacer && std::any_of(parsed.begin(), parsed.end(), [&](const DescEntry& o) { return o.id == e.id; })) {
        why = "entry " + std::to_string(e.id[0].id) + " appears twice";
        break;
      }
      parsed.push_back(std::move(e));
    }
  }
  if (!why.empty()) {
    if (error) *error = why;
    error_ = why;
    return false;
  }
  entries_ = std::move(parsed);
  name_ = name;
  loaded_ = true;
  error_.clear();
  return true;
}

static Bool ReadFile(const Filename& f, std::string& out) {
  std::ifstream in(f.GetString(), std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

static Bool LoadFromFolders(Description& d, const String& name, const std::vector<Filename>& folders,
                            String& error) {
  if (name.empty()) {
    error = "no description resource name";
    return false;
  }
  for (const Filename& folder : folders) {
    Filename file = folder + Filename(name + ".json");
    std::string text;
    if (!ReadFile(file, text)) continue;
    String why;
    if (!d.LoadFromText(text, &why)) {
      error = file.GetString() + ": " + why;
      return false;
    }
    return true;
  }
  error = "description resource " + name + " not found";
  return false;
}

Bool Description::LoadDescriptionByName(const String& name) {
  String error;
  Bool ok = LoadFromFolders(*this, name, ExtraFolders(), error);
  if (!ok) error_ = error;
  return ok;
}

Bool Description::LoadDescription(LONG plugin_id) {
  BasePlugin* p = FindPlugin(plugin_id, PLUGINTYPE_ANY);
  if (!p) {
    error_ = "no plug-in " + LongToString(plugin_id);
    return false;
  }
  std::vector<Filename> folders;
  for (const LoadedModule& m : PluginHost::Get().Modules())
    if (m.name == p->module) folders.push_back(m.folder + Filename("res") + Filename("description"));
  for (const Filename& f : ExtraFolders()) folders.push_back(f);
  String error;
  Bool ok = LoadFromFolders(*this, p->description, folders, error);
  if (!ok) error_ = error;
  return ok;
}

// ---------------------------------------------------------------- user data

namespace {
enum : LONG { kUserSettings = 1, kUserValues = 2 };

BaseContainer* UserRoot(BaseList2D* node, bool create) {
  BaseContainer* data = node->GetDataInstance();
  if (data->GetType(ID_USERDATA) != DA_CONTAINER) {
    if (!create) return nullptr;
    data->SetContainer(ID_USERDATA, BaseContainer(ID_USERDATA));
  }
  BaseContainer* root = data->GetContainerInstance(ID_USERDATA);
  if (create) {
    if (root->GetType(kUserSettings) != DA_CONTAINER) root->SetContainer(kUserSettings, BaseContainer());
    if (root->GetType(kUserValues) != DA_CONTAINER) root->SetContainer(kUserValues, BaseContainer());
  }
  return root;
}

const BaseContainer* UserSettings(const BaseList2D* node) {
  const GeData* d = node->GetDataInstance()->GetDataPointer(ID_USERDATA);
  if (!d || !d->GetContainer()) return nullptr;
  const GeData* s = d->GetContainer()->GetDataPointer(kUserSettings);
  return s ? s->GetContainer() : nullptr;
}

bool IsUserId(const DescID& id) { return id.GetDepth() >= 2 && id[0].id == ID_USERDATA && id[1].id > 0; }

struct Browse {
  std::vector<std::pair<LONG, BaseContainer>> entries;
  size_t next = 0;
};
}  // namespace

DescID DynamicDescription::Alloc(const BaseContainer& settings) {
  const LONG dtype = settings.GetLong(DESC_DATATYPE);
  if (!owner_ || dtype == 0) return DescID();
  BaseContainer* root = UserRoot(owner_, true);
  BaseContainer* all = root->GetContainerInstance(kUserSettings);
  LONG index = 1;
  if (!all->Entries().empty()) index = std::max<LONG>(1, all->Entries().rbegin()->first + 1);
  all->SetContainer(index, settings);
  const GeData* def = settings.GetDataPointer(DESC_DEFAULT);
  root->GetContainerInstance(kUserValues)->SetData(index, def ? *def : ZeroOf(dtype));
  return DescID(DescLevel(ID_USERDATA, DTYPE_SUBCONTAINER, 0), DescLevel(index, dtype, 0));
}

const BaseContainer* DynamicDescription::Find(const DescID& id) const {
  if (!owner_ || !IsUserId(id)) return nullptr;
  const BaseContainer* all = UserSettings(owner_);
  if (!all) return nullptr;
  const GeData* d = all->GetDataPointer(id[1].id);
  return d ? d->GetContainer() : nullptr;
}

Bool DynamicDescription::Set(const DescID& id, const BaseContainer& settings, BaseList2D*) {
  if (!Find(id)) return false;
  BaseContainer* all = UserRoot(owner_, true)->GetContainerInstance(kUserSettings);
  BaseContainer merged = settings;
  if (merged.GetLong(DESC_DATATYPE) == 0) merged.SetLong(DESC_DATATYPE, all->GetContainer(id[1].id).GetLong(DESC_DATATYPE));
  all->SetContainer(id[1].id, merged);
  return true;
}

Bool DynamicDescription::Remove(const DescID& id) {
  if (!Find(id)) return false;
  BaseContainer* root = UserRoot(owner_, true);
  root->GetContainerInstance(kUserSettings)->RemoveData(id[1].id);
  root->GetContainerInstance(kUserValues)->RemoveData(id[1].id);
  return true;
}

LONG DynamicDescription::GetCount() const {
  const BaseContainer* all = owner_ ? UserSettings(owner_) : nullptr;
  return all ? all->GetEntryCount() : 0;
}

void* DynamicDescription::BrowseInit() {
  auto* b = new Browse;
  if (const BaseContainer* all = owner_ ? UserSettings(owner_) : nullptr)
    for (const auto& [index, d] : all->Entries())
      if (const BaseContainer* bc = d.GetContainer()) b->entries.emplace_back(index, *bc);
  return b;
}

Bool DynamicDescription::BrowseGetNext(void* handle, DescID* id, const BaseContainer** settings) {
  auto* b = static_cast<Browse*>(handle);
  if (!b || b->next >= b->entries.size()) return false;
  const auto& [index, bc] = b->entries[b->next++];
  if (id) *id = DescID(DescLevel(ID_USERDATA, DTYPE_SUBCONTAINER, 0), DescLevel(index, bc.GetLong(DESC_DATATYPE), 0));
  if (settings) *settings = &bc;
  return true;
}

void DynamicDescription::BrowseFree(void*& handle) {
  delete static_cast<Browse*>(handle);
  handle = nullptr;
}

DynamicDescription* BaseList2D::GetDynamicDescription() {
  if (!dynamic_) dynamic_ = new DynamicDescription(this);
  return dynamic_;
}

namespace hostdesc {

Bool GetUserData(BaseList2D* node, const DescID& id, GeData& out) {
  if (!node || !IsUserId(id)) return false;
  const BaseContainer* settings = node->GetDynamicDescription()->Find(id);
  if (!settings) return false;
  const GeData* v = UserRoot(node, true)->GetContainerInstance(kUserValues)->GetDataPointer(id[1].id);
  GeData value = v ? *v : ZeroOf(settings->GetLong(DESC_DATATYPE));
  if (id.GetDepth() >= 3) {
    if (value.GetType() != DA_VECTOR) return false;
    const Vector vec = value.GetVector();
    switch (id[2].id) {
      case VECTOR_X: out = GeData(vec.x); return true;
      case VECTOR_Y: out = GeData(vec.y); return true;
      case VECTOR_Z: out = GeData(vec.z); return true;
      default: return false;
    }
  }
  out = value;
  return true;
}

Bool SetUserData(BaseList2D* node, const DescID& id, const GeData& value) {
  if (!node || !IsUserId(id)) return false;
  const BaseContainer* settings = node->GetDynamicDescription()->Find(id);
  if (!settings) return false;
  const LONG dtype = settings->GetLong(DESC_DATATYPE);
  BaseContainer* values = UserRoot(node, true)->GetContainerInstance(kUserValues);
  const LONG t = value.GetType();
  const bool numeric = t == DA_LONG || t == DA_REAL || t == DA_LLONG;
  if (id.GetDepth() >= 3) {
    if (dtype != DA_VECTOR || !numeric) return false;
    Vector v = values->GetVector(id[1].id);
    switch (id[2].id) {
      case VECTOR_X: v.x = value.GetReal(); break;
      case VECTOR_Y: v.y = value.GetReal(); break;
      case VECTOR_Z: v.z = value.GetReal(); break;
      default: return false;
    }
    values->SetVector(id[1].id, v);
    return true;
  }
  GeData stored;
  switch (dtype) {
    case DA_REAL:
      if (!numeric) return false;
      stored = GeData(value.GetReal());
      break;
    case DA_LONG:
    case DTYPE_BOOL:
      if (!numeric) return false;
      stored = GeData(dtype == DTYPE_BOOL ? (value.GetReal() != 0.0 ? 1 : 0) : value.GetLong());
      break;
    default:
      if (t != dtype && ZeroOf(dtype).GetType() != t) return false;
      stored = value;
      break;
  }
  values->SetData(id[1].id, stored);
  return true;
}

Bool GetNodeDescription(BaseList2D* node, Description* out) {
  if (!node || !out) return false;
  out->Clear();
  LONG flags = DESCFLAGS_DESC_NONE;
  if (NodeData* data = node->GetNodeData()) data->GetDDescription(node, out, flags);
  if (!(flags & DESCFLAGS_DESC_LOADED) && !out->IsLoaded() && out->GetCount() == 0) out->LoadDescription(node->GetType());
  DynamicDescription* dyn = node->GetDynamicDescription();
  if (dyn->GetCount() > 0) {
    BaseContainer group = GetCustomDataTypeDefault(DTYPE_GROUP);
    group.SetString(DESC_NAME, "User Data");
    group.SetString(DESC_SHORT_NAME, "User Data");
    out->SetParameter(DescID(DescLevel(ID_USERDATA, DTYPE_GROUP, 0)), group, DescID());
    void* h = dyn->BrowseInit();
    DescID id;
    const BaseContainer* bc = nullptr;
    while (dyn->BrowseGetNext(h, &id, &bc)) out->SetParameter(id, *bc, DescID(ID_USERDATA));
    dyn->BrowseFree(h);
  }
  return out->GetCount() > 0;
}

Bool IsEnabled(BaseList2D* node, const DescID& id, const Description* desc) {
  if (!node) return false;
  NodeData* data = node->GetNodeData();
  if (!data) return true;
  GeData value;
  node->GetParameter(id, value, 0);
  const BaseContainer* item = desc ? desc->GetParameter(id) : nullptr;
  return data->GetDEnabling(node, id, value, 0, item);
}

}  // namespace hostdesc
