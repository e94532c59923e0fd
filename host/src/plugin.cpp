#include <algorithm>
#include <fstream>
#include <map>

#include "geometry_internal.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_plugin.h"
#include "host_services.h"
#include "node_factory.h"

// ---------------------------------------------------------------- plug-in base classes

void* NodeData::operator new(std::size_t size) noexcept { return GeAllocImpl(size, "plug-in node", 0); }
void NodeData::operator delete(void* p) { GeFreeImpl(p); }
namespace {
LONG g_default_descriptions = 0;
}  // namespace
// The default description is the host's: it counts the calls.
Bool NodeData::GetDDescription(GeListNode*, Description*, LONG&) {
  ++g_default_descriptions;
  return false;
}
LONG hostdesc::DefaultDescriptionCalls() { return g_default_descriptions; }

Bool BaseBitmap::IsLoaded() const { return file_.FileExists(); }

// ---------------------------------------------------------------- registry

namespace {
struct Native {
  LONG plugin_type;
  String name;
  hostregistry::NativeFactory factory;
};
std::vector<BasePlugin*>& Plugins() {
  static std::vector<BasePlugin*> list;
  return list;
}
std::map<LONG, Native>& Natives() {
  static std::map<LONG, Native> map;
  return map;
}
String& CurrentModule() {
  static String name;
  return name;
}

Bool Register(LONG id, LONG type, const String& name, LONG info, DataAllocator* alloc, const String& description,
              BaseBitmap* icon, LONG disklevel, const String& help, CommandData* command) {
  if (id <= 0 || hostregistry::IsNative(id)) return false;
  for (BasePlugin* p : Plugins())
    if (p->id == id) return false;  // IDs are unique across all plug-in kinds
  if ((type == PLUGINTYPE_OBJECT || type == PLUGINTYPE_TAG) && !alloc) return false;
  if (type == PLUGINTYPE_COMMAND && !command) return false;
  auto* p = new BasePlugin;
  p->id = id;
  p->type = type;
  p->name = name;
  p->info = info;
  p->alloc = alloc;
  p->description = description;
  if (icon) p->icon = icon->GetFile();
  p->disklevel = disklevel;
  p->help = help;
  p->command = command;
  p->module = CurrentModule();
  Plugins().push_back(p);
  return true;
}
}  // namespace

Bool RegisterObjectPlugin(LONG id, const String& name, LONG info, DataAllocator* alloc, const String& description,
                          BaseBitmap* icon, LONG disklevel) {
  return Register(id, PLUGINTYPE_OBJECT, name, info, alloc, description, icon, disklevel, String(), nullptr);
}
Bool RegisterTagPlugin(LONG id, const String& name, LONG info, DataAllocator* alloc, const String& description,
                       BaseBitmap* icon, LONG disklevel) {
  return Register(id, PLUGINTYPE_TAG, name, info, alloc, description, icon, disklevel, String(), nullptr);
}
Bool RegisterCommandPlugin(LONG id, const String& name, LONG info, BaseBitmap* icon, const String& help,
                           CommandData* dat) {
  return Register(id, PLUGINTYPE_COMMAND, name, info, nullptr, String(), icon, 0, help, dat);
}

BasePlugin* FindPlugin(LONG id, LONG type) {
  for (BasePlugin* p : Plugins())
    if (p->id == id && (type == PLUGINTYPE_ANY || p->type == type)) return p;
  return nullptr;
}

namespace hostregistry {
const std::vector<BasePlugin*>& All() { return Plugins(); }
void SetCurrentModule(const String& name) { CurrentModule() = name; }
void RemoveModule(const String& name) {
  auto& list = Plugins();
  for (auto it = list.begin(); it != list.end();) {
    if ((*it)->module == name) {
      delete (*it)->command;
      delete *it;
      it = list.erase(it);
    } else {
      ++it;
    }
  }
}
void RegisterNative(LONG id, LONG plugin_type, const String& name, NativeFactory factory) {
  Natives()[id] = Native{plugin_type, name, factory};
}
Bool IsNative(LONG id) { return Natives().count(id) != 0; }
String TypeName(LONG id) {
  auto it = Natives().find(id);
  if (it != Natives().end()) return it->second.name;
  for (BasePlugin* p : Plugins())
    if (p->id == id) return p->name;
  return String();
}
}  // namespace hostregistry

// ---------------------------------------------------------------- node factory

namespace {
// The host's own object and tag types that have no class of their own.
struct NativeTypes {
  NativeTypes() {
    hostgeo::RegisterTypes();
    using namespace hostregistry;
    const std::pair<LONG, const char*> objects[] = {
        {Onull, "Null"},     {Opolygon, "Polygon"},   {Ospline, "Spline"},     {Ocube, "Cube"},
        {Ocylinder, "Cylinder"}, {Osweep, "Sweep"},   {Ohelix, "Helix"},       {Offd, "FFD"},
        {Olandscape, "Landscape"}, {Orelief, "Relief"}, {Oinstance, "Instance"},
    };
    for (auto& [id, name] : objects)
      if (!IsNative(id)) RegisterNative(id, PLUGINTYPE_OBJECT, name, nullptr);
    const std::pair<LONG, const char*> tags[] = {
        {Tpoint, "Point"}, {Tpolygon, "Polygon"}, {Ttangent, "Tangent"}, {Tsegment, "Segment"},
        {Tvertexmap, "Vertex Map"},
    };
    for (auto& [id, name] : tags)
      if (!IsNative(id)) RegisterNative(id, PLUGINTYPE_TAG, name, nullptr);
  }
};
void EnsureNativeTypes() { static NativeTypes once; }
}  // namespace

BaseList2D* HostNodeFactory::Create(LONG type, bool tag) {
  EnsureNativeTypes();
  auto nit = Natives().find(type);
  if (nit != Natives().end()) {
    const Native& n = nit->second;
    if ((n.plugin_type == PLUGINTYPE_TAG) != tag) return nullptr;
    if (n.factory) return n.factory(type);
    if (tag) return NewPlainTag(type);
    return NewPlainObject(type);
  }
  BasePlugin* p = FindPlugin(type, tag ? PLUGINTYPE_TAG : PLUGINTYPE_OBJECT);
  if (!p || !p->alloc) return nullptr;
  BaseList2D* node = tag ? static_cast<BaseList2D*>(NewPlainTag(type)) : NewPlainObject(type);
  node->data_ = p->alloc();
  if (!node->data_ || !node->data_->Init(node)) {
    Destroy(node);
    return nullptr;
  }
  return node;
}

void HostNodeFactory::Destroy(GeListNode* node) {
  if (!node) return;
  node->Remove();
  while (node->children_.first) Destroy(node->children_.first);
  if (auto* op = HostNodeFactory::AsObject(node))
    while (op->tags_.first) Destroy(op->tags_.first);
  if (node->data_) {
    node->data_->Free(node);
    delete node->data_;
    node->data_ = nullptr;
  }
  if (node->GetType() == Offd && dynamic_cast<FfdObject*>(node)) --geo::LiveFfds();
  delete node;
}

// ---------------------------------------------------------------- string resources

static String DecodeEscapes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 5 < text.size() + 0 && text.compare(i, 2, "\\u") == 0 && i + 6 <= text.size()) {
      unsigned code = 0;
      bool ok = true;
      for (size_t k = i + 2; k < i + 6; ++k) {
        char c = text[k];
        unsigned d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                   : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d > 15) { ok = false; break; }
        code = code * 16 + d;
      }
      if (ok) {
        // Written as UTF-8.
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else if (code < 0x800) {
          out += static_cast<char>(0xC0 | (code >> 6));
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (code >> 12));
          out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i += 5;
        continue;
      }
    }
    out += text[i];
  }
  return String(out);
}

Bool GeResource::ParseFile(const Filename& file, std::vector<std::pair<LONG, String>>& out) {
  std::ifstream in(file.GetString());
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t ids = line.find("IDS_");
    size_t q1 = line.find('"');
    size_t q2 = line.rfind('"');
    if (ids == std::string::npos || q1 == std::string::npos || q2 == q1) continue;
    // The number follows the identifier.
    size_t p = line.find_first_of(" \t", ids);
    if (p == std::string::npos || p > q1) continue;
    String num(line.substr(p, q1 - p));
    Bool ok = false;
    LONG id = num.ToLong(&ok);
    if (!ok) continue;
    out.emplace_back(id, DecodeEscapes(line.substr(q1 + 1, q2 - q1 - 1)));
  }
  return true;
}

Bool GeResource::Init(const Filename& plugin_folder) { return Init(plugin_folder, HostGetLanguageFolder()); }

Bool GeResource::Init(const Filename& plugin_folder, const String& language_folder) {
  table_.clear();
  initialised_ = false;
  Filename res = plugin_folder + Filename("res");
  Filename file = res + Filename(language_folder) + Filename("c4d_strings.str");
  if (!file.FileExists()) file = res + Filename("strings_us") + Filename("c4d_strings.str");
  if (!ParseFile(file, table_)) return false;
  initialised_ = true;
  return true;
}

String GeResource::LoadString(LONG id) const {
  for (const auto& [k, v] : table_)
    if (k == id) return v;
  return String();
}

static String& LanguageFolder() {
  static String folder("strings_us");
  return folder;
}
String HostGetLanguageFolder() { return LanguageFolder(); }
void HostSetLanguageFolder(const String& folder) { LanguageFolder() = folder; }
