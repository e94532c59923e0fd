// Scene files: the document as one JSON value.
//
// {"format": "simhost scene", "version": 1, "name", "fps", "time", "min_time",
//  "max_time", "loop_min_time", "loop_max_time", "active_object", "active_tag",
//  "container", "tracks", "objects": [object...]}
// object: {"type", "name", "matrix", "editor_mode", "render_mode",
//          "deform_mode", "container", "tracks", "data"?, "tags", "children"}
// tag:    {"type", "name", "container", "tracks", "data"?}
// Container entries are keyed by their decimal id and hold {"type", "value"}.
// Links name the linked node by its place in the tree: {"object": [0, 2, 1]}
// is the second child of the third child of the first top-level object;
// {"object": [...], "tag": 1} is that object's second tag.

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "host_animation.h"
#include "host_description.h"
#include "host_loader.h"
#include "host_output.h"
#include "host_plugin.h"
#include "host_scenefile.h"

namespace scenefile {
namespace {

// Written with the keys in the order they are set, so that files read
// naturally. Read into the plain kind: its objects never move their values
// when they grow, where the ordered kind copies whole subtrees, which makes
// deep files quadratic.
using json = nlohmann::ordered_json;
using rjson = nlohmann::json;

constexpr const char* kFormat = "simhost scene";
constexpr LONG kVersion = 1;
// Deeper trees or containers than this are refused rather than risking the
// stack on a hostile file.
constexpr int kMaxDepth = 1000;
// Any value of the file, including the node data and custom values that the
// plug-ins read and write recursively.
constexpr int kMaxNesting = 4 * kMaxDepth;

struct NodeIO {
  NodeWriter writer;
  NodeReader reader;
};

CustomDataIO PointLevelIO();

// Scenes baked by earlier builds name the point-level track and its data by
// numbers of their own; they load as the host's.
LONG CurrentTypeId(LONG id) {
  if (id == ID_POINTLEVEL_TRACK_OLD) return ID_POINTLEVEL_TRACK;
  if (id == CUSTOMDATATYPE_POINTLEVEL_OLD) return CUSTOMDATATYPE_POINTLEVEL;
  return id;
}

// The host's own custom types are always known.
std::map<LONG, CustomDataIO>& CustomIOs() {
  static std::map<LONG, CustomDataIO> table = {{CUSTOMDATATYPE_POINTLEVEL, PointLevelIO()}};
  return table;
}
std::map<LONG, NodeIO>& NodeIOs() {
  static std::map<LONG, NodeIO> table;
  return table;
}

// Thrown inside a load or save; caught at the entry points.
struct FileError {
  std::string place;
  std::string message;
};
[[noreturn]] void Fail(const std::string& place, const std::string& message) { throw FileError{place, message}; }

std::string Field(const std::string& place, const char* key) { return place.empty() ? key : place + "." + key; }
std::string Index(const std::string& place, size_t i) { return place + "[" + std::to_string(i) + "]"; }
std::string Entry(const std::string& place, LONG id) { return place + "[\"" + std::to_string(id) + "\"]"; }

// ---------------------------------------------------------------- text and numbers

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len;
    std::uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past the Unicode range.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

// JSON strings must be UTF-8; host strings may hold any bytes, which are then
// kept as {"bytes": "<hex>"}.
json TextToJson(const std::string& s) {
  if (IsValidUtf8(s)) return s;
  static const char* digits = "0123456789abcdef";
  std::string hex;
  hex.reserve(s.size() * 2);
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return json{{"bytes", hex}};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

String JsonToText(const rjson& j, const std::string& place) {
  if (j.is_string()) return String(j.get<std::string>());
  if (j.is_object() && j.size() == 1 && j.contains("bytes") && j["bytes"].is_string()) {
    const std::string& hex = j["bytes"].get_ref<const std::string&>();
    if (hex.size() % 2 == 0) {
      std::string out;
      bool ok = true;
      for (size_t i = 0; i < hex.size() && ok; i += 2) {
        const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        ok = hi >= 0 && lo >= 0;
        out += static_cast<char>(hi * 16 + lo);
      }
      if (ok) return String(out);
    }
  }
  Fail(place, "expected a string");
}

// Finite values are written as JSON numbers, which read back bit-exact.
// JSON has no NaN or infinity: those are written as text, a NaN with a
// payload other than the usual one as its bit pattern.
json RealToJson(Real v) {
  if (std::isfinite(v)) return v;
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  const auto bits = std::bit_cast<std::uint64_t>(v);
  if (bits == std::bit_cast<std::uint64_t>(std::numeric_limits<Real>::quiet_NaN())) return "nan";
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%016llx", static_cast<unsigned long long>(bits));
  return buf;
}

bool TryJsonToReal(const rjson& j, Real* out) {
  if (j.is_number()) {
    *out = j.get<Real>();
    return true;
  }
  if (!j.is_string()) return false;
  const std::string& s = j.get_ref<const std::string&>();
  if (s == "inf") {
    *out = std::numeric_limits<Real>::infinity();
  } else if (s == "-inf") {
    *out = -std::numeric_limits<Real>::infinity();
  } else if (s == "nan") {
    *out = std::numeric_limits<Real>::quiet_NaN();
  } else if (s.size() == 18 && s[0] == '0' && s[1] == 'x') {
    std::uint64_t bits = 0;
    for (size_t i = 2; i < s.size(); ++i) {
      const int d = HexDigit(s[i]);
      if (d < 0) return false;
      bits = bits * 16 + static_cast<std::uint64_t>(d);
    }
    *out = std::bit_cast<Real>(bits);
  } else {
    return false;
  }
  return true;
}

Real JsonToReal(const rjson& j, const std::string& place) {
  Real r = 0.0;
  if (!TryJsonToReal(j, &r)) Fail(place, "expected a number");
  return r;
}

LLONG JsonToLLong(const rjson& j, const std::string& place) {
  if (j.is_number_integer() && !j.is_number_unsigned()) return j.get<LLONG>();
  if (j.is_number_unsigned() && j.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX))
    return static_cast<LLONG>(j.get<std::uint64_t>());
  Fail(place, "expected a 64-bit integer");
}

LONG JsonToLong(const rjson& j, const std::string& place) {
  if (j.is_number_integer()) {
    if (j.is_number_unsigned()) {
      if (j.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT32_MAX)) return static_cast<LONG>(j.get<std::uint64_t>());
    } else {
      const auto v = j.get<std::int64_t>();
      if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<LONG>(v);
    }
  }
  Fail(place, "expected a 32-bit integer");
}

json VectorToJson(const Vector& v) { return json::array({RealToJson(v.x), RealToJson(v.y), RealToJson(v.z)}); }

Vector JsonToVector(const rjson& j, const std::string& place) {
  Vector v;
  if (!j.is_array() || j.size() != 3 || !TryJsonToReal(j[0], &v.x) || !TryJsonToReal(j[1], &v.y) ||
      !TryJsonToReal(j[2], &v.z))
    Fail(place, "expected a vector of 3 numbers");
  return v;
}

const rjson& Require(const rjson& obj, const char* key, const std::string& place) {
  auto it = obj.find(key);
  if (it == obj.end()) Fail(place, std::string("missing field \"") + key + "\"");
  return *it;
}

void RequireObject(const rjson& j, const std::string& place) {
  if (!j.is_object()) Fail(place, "expected an object");
}
const rjson& RequireArray(const rjson& j, const std::string& place) {
  if (!j.is_array()) Fail(place, "expected an array");
  return j;
}

json MatrixToJson(const Matrix& m) {
  return json{{"off", VectorToJson(m.off)}, {"v1", VectorToJson(m.v1)}, {"v2", VectorToJson(m.v2)},
              {"v3", VectorToJson(m.v3)}};
}

Matrix JsonToMatrix(const rjson& j, const std::string& place) {
  RequireObject(j, place);
  Matrix m;
  m.off = JsonToVector(Require(j, "off", place), Field(place, "off"));
  m.v1 = JsonToVector(Require(j, "v1", place), Field(place, "v1"));
  m.v2 = JsonToVector(Require(j, "v2", place), Field(place, "v2"));
  m.v3 = JsonToVector(Require(j, "v3", place), Field(place, "v3"));
  return m;
}

json TimeToJson(const BaseTime& t) {
  return json{{"num", RealToJson(t.GetNumerator())}, {"den", RealToJson(t.GetDenominator())}};
}

BaseTime JsonToTime(const rjson& j, const std::string& place) {
  RequireObject(j, place);
  return BaseTime(JsonToReal(Require(j, "num", place), Field(place, "num")),
                  JsonToReal(Require(j, "den", place), Field(place, "den")));
}

// Points of a point-level key: a list of [x, y, z].
CustomDataIO PointLevelIO() {
  CustomDataIO io;
  io.type_id = CUSTOMDATATYPE_POINTLEVEL;
  io.name = "point level";
  io.to_json = [](const CustomDataType& c) {
    json points = json::array();
    for (const Vector& p : static_cast<const PointLevelData&>(c).Points()) points.push_back(VectorToJson(p));
    return points.dump();
  };
  io.from_json = [](const std::string& text, String* error) -> std::unique_ptr<CustomDataType> {
    const rjson j = rjson::parse(text, nullptr, false);
    auto data = std::make_unique<PointLevelData>();
    if (j.is_array()) {
      for (size_t i = 0; i < j.size(); ++i) {
        try {
          data->Points().push_back(JsonToVector(j[i], ""));
        } catch (const FileError&) {
          if (error) *error = "point " + std::to_string(i) + ": expected a vector of 3 numbers";
          return nullptr;
        }
      }
      return data;
    }
    if (error) *error = "expected a list of points";
    return nullptr;
  };
  return io;
}

// A JSON text handed over by a writer hook, checked so that a faulty hook
// cannot produce a file that does not read back.
json ParseHookText(const std::string& text, const std::string& place, const char* who) {
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded()) Fail(place, std::string(who) + " gave text that is not JSON");
  return j;
}

// ---------------------------------------------------------------- saving

class Writer {
 public:
  explicit Writer(const BaseDocument* doc) : doc_(doc) {}

  json Document() {
    IndexTree();
    json out;
    out["format"] = kFormat;
    out["version"] = kVersion;
    out["name"] = TextToJson(doc_->GetName());
    out["fps"] = doc_->GetFps();
    out["time"] = TimeToJson(doc_->GetTime());
    out["min_time"] = TimeToJson(doc_->GetMinTime());
    out["max_time"] = TimeToJson(doc_->GetMaxTime());
    out["loop_min_time"] = TimeToJson(doc_->GetLoopMinTime());
    out["loop_max_time"] = TimeToJson(doc_->GetLoopMaxTime());
    out["active_object"] = LinkToJson(doc_->GetActiveObject());
    out["active_tag"] = LinkToJson(doc_->GetActiveTag());
    out["container"] = Container(*doc_->GetDataInstance(), "container");
    if (doc_->GetDataInstance()->GetId() != 0) out["container_id"] = doc_->GetDataInstance()->GetId();
    out["tracks"] = Tracks(doc_, "tracks");
    json objects = json::array();
    size_t i = 0;
    for (const BaseObject* op = doc_->GetFirstObject(); op; op = op->GetNext(), ++i)
      objects.push_back(Object(op, Index("objects", i)));
    out["objects"] = std::move(objects);
    return out;
  }

 private:
  // Every object and tag of the document by serial, with the path a link to
  // it is written as.
  void IndexTree() {
    std::vector<LONG> path;
    LONG i = 0;
    for (const BaseObject* op = doc_->GetFirstObject(); op; op = op->GetNext(), ++i) {
      path.push_back(i);
      IndexObject(op, path);
      path.pop_back();
    }
  }
  void IndexObject(const BaseObject* op, std::vector<LONG>& path) {
    paths_[op->GetSerial()] = json{{"object", path}};
    LONG t = 0;
    for (const BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext(), ++t)
      paths_[tag->GetSerial()] = json{{"object", path}, {"tag", t}};
    LONG c = 0;
    for (const BaseObject* child = op->GetDown(); child; child = child->GetNext(), ++c) {
      path.push_back(c);
      IndexObject(child, path);
      path.pop_back();
    }
  }

  // Null for no node, a freed node or one outside this document's tree.
  json LinkToJson(const BaseList2D* node) const {
    if (!node) return nullptr;
    auto it = paths_.find(node->GetSerial());
    return it == paths_.end() ? json(nullptr) : it->second;
  }

  json Common(const BaseList2D* node) {
    json out;
    out["type"] = node->GetType();
    out["name"] = TextToJson(node->GetName());
    return out;
  }

  void Rest(const BaseList2D* node, json& out, const std::string& place) {
    out["container"] = Container(*node->GetDataInstance(), Field(place, "container"));
    if (node->GetDataInstance()->GetId() != 0) out["container_id"] = node->GetDataInstance()->GetId();
    out["tracks"] = Tracks(node, Field(place, "tracks"));
    auto io = NodeIOs().find(node->GetType());
    if (io != NodeIOs().end() && io->second.writer) {
      std::string text = io->second.writer(node);
      if (!text.empty()) out["data"] = ParseHookText(text, Field(place, "data"), "the node data writer");
    }
  }

  json Object(const BaseObject* op, const std::string& place) {
    json out = Common(op);
    out["matrix"] = MatrixToJson(op->GetMl());
    // The angles and scale as set: a matrix alone loses a heading's winding
    // and a mirroring scale.
    out["rotation"] = VectorToJson(op->GetRelRot());
    out["scale"] = VectorToJson(op->GetRelScale());
    out["editor_mode"] = op->GetEditorMode();
    out["render_mode"] = op->GetRenderMode();
    out["deform_mode"] = static_cast<bool>(op->GetDeformMode());
    Rest(op, out, place);
    json tags = json::array();
    size_t t = 0;
    for (const BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext(), ++t) {
      const std::string tplace = Index(Field(place, "tags"), t);
      json tj = Common(tag);
      Rest(tag, tj, tplace);
      tags.push_back(std::move(tj));
    }
    out["tags"] = std::move(tags);
    json children = json::array();
    size_t c = 0;
    for (const BaseObject* child = op->GetDown(); child; child = child->GetNext(), ++c)
      children.push_back(Object(child, Index(Field(place, "children"), c)));
    out["children"] = std::move(children);
    return out;
  }

  json Tracks(const BaseList2D* node, const std::string& place) {
    json out = json::array();
    size_t i = 0;
    for (const CTrack* track : node->Tracks()) {
      const std::string tplace = Index(place, i++);
      json id = json::array();
      const DescID& did = track->GetDescriptionID();
      for (LONG l = 0; l < did.GetDepth(); ++l) id.push_back(json::array({did[l].id, did[l].dtype, did[l].creator}));
      json keys = json::array();
      size_t k = 0;
      for (const CKey& key : track->GetCurve()->Keys()) {
        const std::string kplace = Index(Field(tplace, "keys"), k++);
        keys.push_back(json{{"time", TimeToJson(key.GetTime())},
                            {"value", RealToJson(key.GetValue())},
                            {"data", Value(key.GetGeData(), Field(kplace, "data"), 0)}});
      }
      out.push_back(json{{"id", std::move(id)}, {"keys", std::move(keys)}});
    }
    return out;
  }

  json Container(const BaseContainer& bc, const std::string& place, int depth = 0) {
    json out = json::object();
    for (const auto& [id, value] : bc.Entries()) out[std::to_string(id)] = Value(value, Entry(place, id), depth);
    return out;
  }

  json Value(const GeData& d, const std::string& place, int depth) {
    switch (d.GetType()) {
      case DA_NIL: return json{{"type", "nil"}};
      case DA_LONG: return json{{"type", "long"}, {"value", d.GetLong()}};
      case DA_LLONG: return json{{"type", "llong"}, {"value", d.GetLLong()}};
      case DA_REAL: return json{{"type", "real"}, {"value", RealToJson(d.GetReal())}};
      case DA_TIME: return json{{"type", "time"}, {"value", TimeToJson(d.GetTime())}};
      case DA_VECTOR: return json{{"type", "vector"}, {"value", VectorToJson(d.GetVector())}};
      case DA_MATRIX: return json{{"type", "matrix"}, {"value", MatrixToJson(d.GetMatrix())}};
      case DA_STRING: return json{{"type", "string"}, {"value", TextToJson(d.GetString())}};
      case DA_FILENAME: return json{{"type", "filename"}, {"value", TextToJson(d.GetFilename().GetString())}};
      case DA_ALIASLINK: return json{{"type", "link"}, {"value", LinkToJson(d.GetLinkAtom(doc_))}};
      case DA_CONTAINER: {
        const BaseContainer* sub = d.GetContainer();
        BaseContainer empty;
        if (!sub) sub = &empty;
        return json{{"type", "container"}, {"id", sub->GetId()}, {"value", Container(*sub, place, depth + 1)}};
      }
      default: break;
    }
    const CustomDataType* custom = d.GetCustomDataType(d.GetType());
    auto io = CustomIOs().find(d.GetType());
    if (!custom || io == CustomIOs().end() || !io->second.to_json)
      Fail(place, "no writer for custom data type " + std::to_string(d.GetType()));
    return json{{"type", "custom"},
                {"id", d.GetType()},
                {"value", ParseHookText(io->second.to_json(*custom), place, "the custom data writer")}};
  }

  const BaseDocument* doc_;
  std::unordered_map<std::uint64_t, json> paths_;
};

// ---------------------------------------------------------------- loading

class Reader {
 public:
  explicit Reader(BaseDocument* doc) : doc_(doc) {}

  void Document(const rjson& root) {
    RequireObject(root, "");
    const rjson& format = Require(root, "format", "");
    if (!format.is_string() || format.get<std::string>() != kFormat)
      Fail("format", std::string("not a scene file (expected \"") + kFormat + "\")");
    const LONG version = JsonToLong(Require(root, "version", ""), "version");
    if (version < 1 || version > kVersion)
      Fail("version", "version " + std::to_string(version) + " is not supported (this host reads up to " +
                          std::to_string(kVersion) + ")");
    if (root.contains("name")) doc_->SetName(JsonToText(root["name"], "name"));
    const LONG fps = JsonToLong(Require(root, "fps", ""), "fps");
    if (fps <= 0) Fail("fps", "expected a positive frame rate");
    doc_->SetFps(fps);
    doc_->SetTime(JsonToTime(Require(root, "time", ""), "time"));
    doc_->SetMinTime(JsonToTime(Require(root, "min_time", ""), "min_time"));
    doc_->SetMaxTime(JsonToTime(Require(root, "max_time", ""), "max_time"));
    doc_->SetLoopMinTime(JsonToTime(Require(root, "loop_min_time", ""), "loop_min_time"));
    doc_->SetLoopMaxTime(JsonToTime(Require(root, "loop_max_time", ""), "loop_max_time"));

    // First the whole tree, so that links anywhere can be resolved ...
    const rjson& objects = RequireArray(Require(root, "objects", ""), "objects");
    BaseObject* pred = nullptr;
    for (size_t i = 0; i < objects.size(); ++i) pred = BuildObject(objects[i], nullptr, pred, Index("objects", i), 0);

    // ... then the values.
    Values(doc_, root, "", true);
    for (const Pending& p : pending_) Values(p.node, *p.j, p.place, false);
    if (root.contains("active_object")) {
      BaseList2D* n = ResolveLink(root["active_object"], "active_object");
      auto* op = dynamic_cast<BaseObject*>(n);
      if (n && !op) Fail("active_object", "the link names a tag, not an object");
      doc_->SetActiveObject(op);
    }
    if (root.contains("active_tag")) {
      BaseList2D* n = ResolveLink(root["active_tag"], "active_tag");
      auto* tag = dynamic_cast<BaseTag*>(n);
      if (n && !tag) Fail("active_tag", "the link names an object, not a tag");
      doc_->SetActiveTag(tag);
    }
  }

 private:
  struct Pending {
    BaseList2D* node;
    const rjson* j;
    std::string place;
  };

  static String TypeLabel(LONG type) {
    String name = hostregistry::TypeName(type);
    return String(std::to_string(type)) + (name.empty() ? String() : String(" (" + name + ")"));
  }

  static bool KnownType(LONG type) { return hostregistry::IsNative(type) || FindPlugin(type, PLUGINTYPE_ANY); }

  BaseObject* BuildObject(const rjson& j, BaseObject* parent, BaseObject* pred, const std::string& place, int depth) {
    if (depth > kMaxDepth) Fail(place, "objects nested deeper than " + std::to_string(kMaxDepth) + " levels");
    RequireObject(j, place);
    const LONG type = JsonToLong(Require(j, "type", place), Field(place, "type"));
    BaseObject* op = BaseObject::Alloc(type);
    if (!op) {
      if (!KnownType(type)) Fail(Field(place, "type"), "unknown object type " + std::to_string(type));
      if (hostregistry::IsNative(type) || !FindPlugin(type, PLUGINTYPE_OBJECT))
        Fail(Field(place, "type"), "type " + TypeLabel(type) + " is not an object type");
      Fail(Field(place, "type"), "could not create an object of type " + TypeLabel(type));
    }
    // In the document at once, so that an error further on frees it too.
    doc_->InsertObject(op, parent, pred);
    // The file holds the whole tree: whatever the node's Init made is
    // replaced by what the file lists.
    while (BaseTag* t = op->GetFirstTag()) BaseTag::Free(t);
    while (BaseObject* c = op->GetDown()) BaseObject::Free(c);

    op->SetName(JsonToText(Require(j, "name", place), Field(place, "name")));
    op->SetMl(JsonToMatrix(Require(j, "matrix", place), Field(place, "matrix")));
    if (j.contains("rotation") && j.contains("scale"))
      op->RestorePSR(op->GetMl(), JsonToVector(j["rotation"], Field(place, "rotation")),
                     JsonToVector(j["scale"], Field(place, "scale")));
    if (j.contains("editor_mode")) op->SetEditorMode(Mode(j["editor_mode"], Field(place, "editor_mode")));
    if (j.contains("render_mode")) op->SetRenderMode(Mode(j["render_mode"], Field(place, "render_mode")));
    if (j.contains("deform_mode")) {
      if (!j["deform_mode"].is_boolean()) Fail(Field(place, "deform_mode"), "expected true or false");
      op->SetDeformMode(j["deform_mode"].get<bool>());
    }
    pending_.push_back({op, &j, place});

    if (j.contains("tags")) {
      const std::string tplace = Field(place, "tags");
      const rjson& tags = RequireArray(j["tags"], tplace);
      BaseTag* tpred = nullptr;
      for (size_t i = 0; i < tags.size(); ++i) tpred = BuildTag(tags[i], op, tpred, Index(tplace, i));
    }
    if (j.contains("children")) {
      const std::string cplace = Field(place, "children");
      const rjson& children = RequireArray(j["children"], cplace);
      BaseObject* cpred = nullptr;
      for (size_t i = 0; i < children.size(); ++i)
        cpred = BuildObject(children[i], op, cpred, Index(cplace, i), depth + 1);
    }
    return op;
  }

  BaseTag* BuildTag(const rjson& j, BaseObject* op, BaseTag* pred, const std::string& place) {
    RequireObject(j, place);
    const LONG type = JsonToLong(Require(j, "type", place), Field(place, "type"));
    BaseTag* tag = BaseTag::Alloc(type);
    if (!tag) {
      if (!KnownType(type)) Fail(Field(place, "type"), "unknown tag type " + std::to_string(type));
      if (hostregistry::IsNative(type) || !FindPlugin(type, PLUGINTYPE_TAG))
        Fail(Field(place, "type"), "type " + TypeLabel(type) + " is not a tag type");
      Fail(Field(place, "type"), "could not create a tag of type " + TypeLabel(type));
    }
    op->InsertTag(tag, pred);
    tag->SetName(JsonToText(Require(j, "name", place), Field(place, "name")));
    pending_.push_back({tag, &j, place});
    return tag;
  }

  static LONG Mode(const rjson& j, const std::string& place) {
    const LONG m = j.is_number_integer() ? JsonToLong(j, place) : -1;
    if (m != MODE_ON && m != MODE_OFF && m != MODE_UNDEF) Fail(place, "expected a mode: 0 (on), 1 (off) or 2 (undefined)");
    return m;
  }

  // Container, tracks and the node's own data, once every node exists.
  void Values(BaseList2D* node, const rjson& j, const std::string& place, bool is_doc) {
    const std::string cplace = Field(place, "container");
    BaseContainer bc;
    if (!is_doc || j.contains("container")) Container(Require(j, "container", place), cplace, 0, bc);
    bc.SetId(j.contains("container_id") ? JsonToLong(j["container_id"], Field(place, "container_id")) : 0);
    if (!is_doc && node->GetNodeData()) CheckTypes(node, bc, j, place);
    // The file's values win; what it does not mention keeps its Init value.
    node->SetData(bc, true);
    node->GetDataInstance()->SetId(bc.GetId());

    if (j.contains("tracks")) Tracks(node, j["tracks"], Field(place, "tracks"));

    const auto io = NodeIOs().find(node->GetType());
    if (!is_doc && j.contains("data")) {
      const std::string dplace = Field(place, "data");
      if (io == NodeIOs().end() || !io->second.reader)
        Fail(dplace, "no reader for the data of type " + TypeLabel(node->GetType()));
      String error;
      if (!io->second.reader(node, j["data"].dump(), &error))
        Fail(dplace, error.empty() ? std::string("the node data does not fit its type") : std::string(error));
    }
  }

  // A plug-in reads a value of another type than its description gives as
  // zero: a value or key of the wrong type is refused here instead.
  void CheckTypes(BaseList2D* node, const BaseContainer& bc, const rjson& j, const std::string& place) {
    Description desc;
    if (!hostdesc::GetNodeDescription(node, &desc)) return;
    std::unordered_map<LONG, const DescEntry*> typed;
    for (const DescEntry& e : desc.Entries())
      if (e.id.GetDepth() == 1 && ValueWord(e.dtype)) typed[e.id[0].id] = &e;
    if (typed.empty()) return;
    const auto check = [&](LONG id, const GeData& value, const std::string& where) {
      auto it = typed.find(id);
      if (it == typed.end() || value.GetType() == DA_NIL || Fits(it->second->dtype, value.GetType())) return;
      const String name = it->second->settings.GetString(DESC_NAME);
      Fail(where, "parameter " + std::to_string(id) + (name.empty() ? std::string() : " (" + std::string(name) + ")") +
                      " takes " + ValueWord(it->second->dtype) + ", not " + GeDataWord(value.GetType()));
    };
    for (const auto& [id, value] : bc.Entries()) check(id, value, Entry(Field(place, "container"), id));
    if (!j.contains("tracks") || !j["tracks"].is_array()) return;
    const rjson& tracks = j["tracks"];
    for (size_t i = 0; i < tracks.size(); ++i) {
      const rjson& tj = tracks[i];
      if (!tj.is_object() || !tj.contains("id") || !tj.contains("keys") || !tj["keys"].is_array()) continue;
      const rjson& idj = tj["id"];
      // Keys of a whole parameter; parts of one (a vector's x) are numbers.
      if (!idj.is_array() || idj.size() != 1 || !idj[0].is_array() || idj[0].empty() || !idj[0][0].is_number_integer())
        continue;
      const std::string tplace = Index(Field(place, "tracks"), i);
      const LONG id = JsonToLong(idj[0][0], Field(tplace, "id"));
      const rjson& keys = tj["keys"];
      for (size_t k = 0; k < keys.size(); ++k) {
        const std::string kplace = Field(Index(Field(tplace, "keys"), k), "data");
        if (keys[k].is_object() && keys[k].contains("data")) check(id, Value(keys[k]["data"], kplace, 0), kplace);
      }
    }
  }

  // The file's word for the values a description type takes; null for
  // types that are not plain values (groups, buttons, custom data).
  static const char* ValueWord(LONG dtype) {
    switch (dtype) {
      case DA_LONG: return "an integer";
      case DTYPE_BOOL: return "a bool";
      case DA_REAL: return "a real";
      case DA_TIME: return "a time";
      case DA_VECTOR: return "a vector";
      case DA_MATRIX: return "a matrix";
      case DA_STRING: return "a string";
      case DA_FILENAME: return "a filename";
      case DA_ALIASLINK: return "a link";
      default: return nullptr;
    }
  }
  static std::string GeDataWord(LONG type) {
    switch (type) {
      case DA_LLONG: return "an integer";
      case DA_CONTAINER: return "a container";
      default: {
        const char* word = ValueWord(type);
        return word ? word : "custom data";
      }
    }
  }
  // Numbers stand for one another, as the containers convert them; a text
  // may name a file.
  static bool Fits(LONG dtype, LONG type) {
    const bool number = type == DA_LONG || type == DA_LLONG || type == DA_REAL;
    switch (dtype) {
      case DA_LONG:
      case DTYPE_BOOL:
      case DA_REAL: return number;
      case DA_FILENAME: return type == DA_FILENAME || type == DA_STRING;
      default: return type == dtype;
    }
  }

  void Tracks(BaseList2D* node, const rjson& j, const std::string& place) {
    RequireArray(j, place);
    std::vector<CTrack*> tracks;
    try {
      for (size_t i = 0; i < j.size(); ++i) {
        const std::string tplace = Index(place, i);
        const rjson& tj = j[i];
        RequireObject(tj, tplace);
        const std::string iplace = Field(tplace, "id");
        const rjson& idj = RequireArray(Require(tj, "id", tplace), iplace);
        if (idj.empty() || idj.size() > 3) Fail(iplace, "expected 1 to 3 levels");
        DescID id;
        for (size_t l = 0; l < idj.size(); ++l) {
          const std::string lplace = Index(iplace, l);
          const rjson& lj = idj[l];
          if (!lj.is_array() || lj.size() != 3) Fail(lplace, "expected [id, data type, creator]");
          id.PushId(DescLevel(CurrentTypeId(JsonToLong(lj[0], lplace)), CurrentTypeId(JsonToLong(lj[1], lplace)),
                              JsonToLong(lj[2], lplace)));
        }
        for (const CTrack* t : tracks)
          if (t->GetDescriptionID() == id) Fail(iplace, "a second track for the same parameter");
        tracks.push_back(new CTrack(node, id));
        const std::string kplace = Field(tplace, "keys");
        const rjson& keys = RequireArray(Require(tj, "keys", tplace), kplace);
        for (size_t k = 0; k < keys.size(); ++k) {
          const std::string place_k = Index(kplace, k);
          const rjson& kj = keys[k];
          RequireObject(kj, place_k);
          CKey key;
          key.SetTime(JsonToTime(Require(kj, "time", place_k), Field(place_k, "time")));
          // Value first: setting the data afterwards keeps a key without data
          // free of any.
          key.SetValue(JsonToReal(Require(kj, "value", place_k), Field(place_k, "value")));
          key.SetGeData(kj.contains("data") ? Value(kj["data"], Field(place_k, "data"), 0) : GeData());
          std::vector<CKey>& list = tracks.back()->GetCurve()->Keys();
          // Curves rely on their keys being in time order, one per time.
          if (!list.empty() && !(list.back().GetTime() < key.GetTime()))
            Fail(Field(place_k, "time"), "not after the time of the key before");
          list.push_back(std::move(key));
        }
      }
    } catch (...) {
      for (CTrack* t : tracks) delete t;
      throw;
    }
    // The file's tracks replace any the node's Init made.
    for (CTrack* t : node->Tracks()) delete t;
    node->Tracks() = std::move(tracks);
  }

  // Filled in place: nested containers are moved, never copied.
  void Container(const rjson& j, const std::string& place, int depth, BaseContainer& bc) {
    if (depth > kMaxDepth) Fail(place, "containers nested deeper than " + std::to_string(kMaxDepth) + " levels");
    RequireObject(j, place);
    for (const auto& [key, value] : j.items()) {
      LONG id = 0;
      Bool ok = false;
      id = String(key).ToLong(&ok);
      // Only the canonical spelling, so that two keys cannot name one id.
      if (!ok || std::to_string(id) != key) Fail(place, "\"" + key + "\" is not a decimal container id");
      GeData v = Value(value, Entry(place, id), depth);
      bc.SetData(id, GeData());
      *bc.GetDataPointer(id) = std::move(v);
    }
  }

  GeData Value(const rjson& j, const std::string& place, int depth) {
    if (!j.is_object()) Fail(place, "expected a typed value {\"type\": ..., \"value\": ...}");
    const rjson& tj = Require(j, "type", place);
    if (!tj.is_string()) Fail(place, "expected a value type name");
    const std::string& type = tj.get_ref<const std::string&>();
    if (type == "nil") return GeData();
    const rjson& v = Require(j, "value", place);
    if (type == "long") return GeData(static_cast<int>(JsonToLong(v, place)));
    if (type == "llong") return GeData(JsonToLLong(v, place));
    if (type == "real") return GeData(JsonToReal(v, place));
    if (type == "time") return GeData(JsonToTime(v, place));
    if (type == "vector") return GeData(JsonToVector(v, place));
    if (type == "matrix") return GeData(JsonToMatrix(v, place));
    if (type == "string") return GeData(JsonToText(v, place));
    if (type == "filename") return GeData(Filename(JsonToText(v, place)));
    if (type == "link") return GeData(ResolveLink(v, place));
    if (type == "container") {
      GeData d{BaseContainer(j.contains("id") ? JsonToLong(j["id"], Field(place, "id")) : 0)};
      Container(v, place, depth + 1, *d.GetContainer());
      return d;
    }
    if (type == "custom") {
      const LONG id = CurrentTypeId(JsonToLong(Require(j, "id", place), Field(place, "id")));
      auto io = CustomIOs().find(id);
      if (io == CustomIOs().end() || !io->second.from_json) Fail(place, "unknown custom data type " + std::to_string(id));
      String error;
      std::unique_ptr<CustomDataType> value = io->second.from_json(v.dump(), &error);
      if (!value)
        Fail(place, error.empty() ? "not a value of custom data type " + std::to_string(id) : std::string(error));
      if (value->GetTypeId() != id)
        Fail(place, "the reader of custom data type " + std::to_string(id) + " made a value of type " +
                        std::to_string(value->GetTypeId()));
      return GeData(*value);
    }
    Fail(place, "unknown value type \"" + type + "\"");
  }

  // Null for a null link; an error for a path that leads nowhere.
  BaseList2D* ResolveLink(const rjson& j, const std::string& place) {
    if (j.is_null()) return nullptr;
    if (!j.is_object() || !j.contains("object") || !j["object"].is_array() || j["object"].empty())
      Fail(place, "expected a link {\"object\": [index, ...]} (and \"tag\": index) or null");
    if (!indexed_) IndexTree();
    BaseObject* op = nullptr;
    for (const rjson& ij : j["object"]) {
      const LONG i = JsonToLong(ij, place);
      const std::vector<std::uint64_t>& list = children_[op];
      op = i >= 0 && static_cast<size_t>(i) < list.size() ? Live<BaseObject>(list[static_cast<size_t>(i)]) : nullptr;
      if (!op) Fail(place, "link to nothing: no object at " + j["object"].dump());
    }
    if (!j.contains("tag")) return op;
    const LONG t = JsonToLong(j["tag"], Field(place, "tag"));
    const std::vector<std::uint64_t>& tags = tags_[op];
    BaseTag* tag = t >= 0 && static_cast<size_t>(t) < tags.size() ? Live<BaseTag>(tags[static_cast<size_t>(t)]) : nullptr;
    if (!tag) Fail(place, "link to nothing: the object at " + j["object"].dump() + " has no tag " + std::to_string(t));
    return tag;
  }

  // A node of the index, unless a reader has freed it since.
  template <class T>
  T* Live(std::uint64_t serial) const {
    BaseList2D* node = BaseList2D::FromSerial(serial);
    return node && node->GetDocument() == doc_ ? dynamic_cast<T*>(node) : nullptr;
  }

  // The children and tags of every object by position (the top level under
  // null), once the tree is built: a link then costs its path's length, not
  // a walk along every sibling before it.
  void IndexTree() {
    indexed_ = true;
    std::vector<BaseObject*> stack;
    for (BaseObject* op = doc_->GetFirstObject(); op; op = op->GetNext()) {
      children_[nullptr].push_back(op->GetSerial());
      stack.push_back(op);
    }
    while (!stack.empty()) {
      BaseObject* op = stack.back();
      stack.pop_back();
      std::vector<std::uint64_t>& tags = tags_[op];
      for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext()) tags.push_back(tag->GetSerial());
      std::vector<std::uint64_t>& children = children_[op];
      for (BaseObject* child = op->GetDown(); child; child = child->GetNext()) {
        children.push_back(child->GetSerial());
        stack.push_back(child);
      }
    }
  }

  BaseDocument* doc_;
  std::vector<Pending> pending_;
  bool indexed_ = false;
  std::unordered_map<const BaseObject*, std::vector<std::uint64_t>> children_;
  std::unordered_map<const BaseObject*, std::vector<std::uint64_t>> tags_;
};

// Whether j written compactly fits in budget characters; stops counting as
// soon as it does not.
bool FitsOnLine(const json& j, long& budget) {
  if (!j.is_structured()) {
    budget -= static_cast<long>(j.dump().size()) + 1;
    return budget >= 0;
  }
  budget -= 2;
  for (auto it = j.begin(); it != j.end() && budget >= 0; ++it) {
    if (j.is_object()) budget -= static_cast<long>(it.key().size()) + 3;
    if (!FitsOnLine(*it, budget)) return false;
  }
  return budget >= 0;
}

// Small values (vectors, typed values, times, links) on one line, larger
// objects and lists one entry a line.
void Pretty(const json& j, std::string& out, int indent) {
  long budget = 72;
  if (!j.is_structured() || j.empty() || FitsOnLine(j, budget)) {
    out += j.dump();
    return;
  }
  const std::string pad(static_cast<size_t>(indent + 1) * 2, ' ');
  out += j.is_object() ? "{\n" : "[\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out += pad;
    if (j.is_object()) {
      out += json(it.key()).dump();
      out += ": ";
    }
    Pretty(*it, out, indent + 1);
  }
  out += "\n";
  out.append(static_cast<size_t>(indent) * 2, ' ');
  out += j.is_object() ? "}" : "]";
}

// The parser's own tree builder, with one depth limit for every nested value
// (the tree is walked recursively later on) and the place of a number that
// does not fit a double.
class LimitedDomParser : public nlohmann::detail::json_sax_dom_parser<rjson> {
 public:
  LimitedDomParser(rjson& root, const std::string& text) : json_sax_dom_parser(root, false), text_(text) {}

  bool start_object(std::size_t len) { return Enter() && json_sax_dom_parser::start_object(len); }
  bool start_array(std::size_t len) { return Enter() && json_sax_dom_parser::start_array(len); }
  bool end_object() { return --depth_, json_sax_dom_parser::end_object(); }
  bool end_array() { return --depth_, json_sax_dom_parser::end_array(); }

  template <class Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& ex) {
    if (why_.empty()) {
      if (ex.id == 406) {
        why_ = Where(position - std::min(position, token.size())) + ": the number " + token + " is outside the range of a double";
      } else {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
        const std::string what = ex.what();
        const size_t at = what.find("parse error");
        why_ = "not valid JSON: " + (at == std::string::npos ? what : what.substr(at));
      }
    }
    return json_sax_dom_parser::parse_error(position, token, ex);
  }

  const std::string& Why() const { return why_; }

 private:
  bool Enter() {
    if (++depth_ <= kMaxNesting) return true;
    // The position is not at hand here: count the brackets up to the one
    // past the limit.
    why_ = Where(OpeningAt(kMaxNesting + 1)) + ": values nested deeper than " + std::to_string(kMaxNesting) +
           " levels";
    return false;
  }
  // Byte offset of the n-th unmatched opening bracket, outside strings.
  size_t OpeningAt(int n) const {
    int open = 0;
    bool in_string = false;
    for (size_t i = 0; i < text_.size(); ++i) {
      const char c = text_[i];
      if (in_string) {
        if (c == '\\') ++i;
        else if (c == '"') in_string = false;
      } else if (c == '"') {
        in_string = true;
      } else if (c == '{' || c == '[') {
        if (++open == n) return i;
      } else if (c == '}' || c == ']') {
        --open;
      }
    }
    return text_.size();
  }
  // Line and column (from 1) of the byte at offset.
  std::string Where(size_t offset) const {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
  }

  const std::string& text_;
  int depth_ = 0;
  std::string why_;
};

bool ParseJson(const std::string& text, rjson& root, std::string& why) {
  LimitedDomParser sax(root, text);
  bool ok = false;
  try {
    ok = rjson::sax_parse(text, &sax) && !sax.is_errored();
  } catch (const rjson::exception& e) {
    why = std::string("not valid JSON: ") + e.what();
    root = nullptr;
    return false;
  }
  if (ok) return true;
  why = sax.Why().empty() ? std::string("not valid JSON") : sax.Why();
  root = nullptr;
  return false;
}

void CollectPreOrder(BaseObject* op, std::vector<std::uint64_t>& out) {
  out.push_back(op->GetSerial());
  for (BaseTag* t = op->GetFirstTag(); t; t = t->GetNext()) out.push_back(t->GetSerial());
  for (BaseObject* c = op->GetDown(); c; c = c->GetNext()) CollectPreOrder(c, out);
}

std::string JoinPlace(const FileError& e) { return e.place.empty() ? e.message : e.place + ": " + e.message; }

void SetError(String* error, const std::string& text) {
  if (error) *error = String(text);
}

}  // namespace

// ---------------------------------------------------------------- entry points

Bool SaveToString(const BaseDocument* doc, std::string* out, String* error) {
  if (!doc) {
    SetError(error, "no document to save");
    return false;
  }
  try {
    out->clear();
    Pretty(Writer(doc).Document(), *out, 0);
    out->push_back('\n');
    return true;
  } catch (const FileError& e) {
    SetError(error, JoinPlace(e));
  } catch (const std::exception& e) {
    SetError(error, std::string("cannot write the scene: ") + e.what());
  }
  return false;
}

std::string SaveToString(const BaseDocument* doc) {
  std::string out;
  if (!SaveToString(doc, &out, nullptr)) out.clear();
  return out;
}

Bool Save(const BaseDocument* doc, const Filename& file, String* error) {
  std::string text;
  if (!SaveToString(doc, &text, error)) return false;
  std::string why;
  if (!hostoutput::WriteWhole(file.GetString(), text, &why)) {
    // "cannot write 'PATH': why" names the kind of file too.
    SetError(error, "cannot write scene file" + why.substr(std::string("cannot write").size()));
    return false;
  }
  return true;
}

BaseDocument* LoadFromString(const std::string& text, String* error) {
  rjson root;
  std::string why;
  if (!ParseJson(text, root, why)) {
    SetError(error, why);
    return nullptr;
  }
  BaseDocument* doc = BaseDocument::Alloc();
  try {
    Reader(doc).Document(root);
  } catch (const FileError& e) {
    SetError(error, JoinPlace(e));
    BaseDocument::Free(doc);
    return nullptr;
  } catch (const std::exception& e) {
    SetError(error, std::string("cannot read the scene: ") + e.what());
    BaseDocument::Free(doc);
    return nullptr;
  }
  // Every node as it stood once loaded; a node that an earlier handler freed
  // is skipped, and nodes made by the handlers get no message.
  std::vector<std::uint64_t> nodes;
  for (BaseObject* op = doc->GetFirstObject(); op; op = op->GetNext()) CollectPreOrder(op, nodes);
  for (std::uint64_t serial : nodes) {
    BaseList2D* node = BaseList2D::FromSerial(serial);
    if (node && node->GetDocument() == doc) node->Message(MSG_MULTI_DOCUMENTIMPORTED, nullptr);
  }
  return doc;
}

BaseDocument* Load(const Filename& file, String* error) {
  const std::string path = file.GetString();
  std::string text;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    SetError(error, "cannot read scene file '" + path + "': it is a folder");
    return nullptr;
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool failed = std::ferror(f);
    const int err = errno;
    std::fclose(f);
    if (failed) f = nullptr, errno = err ? err : EIO;
  }
  if (!f) {
    SetError(error, "cannot read scene file '" + path + "': " + std::strerror(errno));
    return nullptr;
  }
  String inner;
  BaseDocument* doc = LoadFromString(text, &inner);
  if (!doc) SetError(error, path + ": " + std::string(inner));
  return doc;
}

void RegisterCustomDataIO(const CustomDataIO& io) { CustomIOs()[io.type_id] = io; }
void UnregisterCustomDataIO(LONG type_id) { CustomIOs().erase(type_id); }

void RegisterNodeIO(LONG type, NodeWriter writer, NodeReader reader) {
  NodeIOs()[type] = NodeIO{std::move(writer), std::move(reader)};
}
void UnregisterNodeIO(LONG type) { NodeIOs().erase(type); }

}  // namespace scenefile
