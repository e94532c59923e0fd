// Scene-file form of the geometry: a point object keeps its arrays under its
// own "data" (points, polygons, segments, tangents), so that one reader sees
// all of them and can check them against each other; its data tags carry
// nothing of their own. Vertex maps and spline curves stand alone.
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "geometry_internal.h"
#include "host_scenefile.h"

using json = nlohmann::json;

namespace {

json VecJson(const Vector& v) { return json::array({v.x, v.y, v.z}); }

// Every reader failure carries its message out through this.
struct Bad {
  std::string msg;
};

Real Num(const json& j, const std::string& what) {
  if (!j.is_number()) throw Bad{what + ": expected a number"};
  Real v = j.get<Real>();
  if (!std::isfinite(v)) throw Bad{what + ": not a finite number"};
  return v;
}

LONG Int(const json& j, const std::string& what) {
  if (!j.is_number_integer()) throw Bad{what + ": expected an integer"};
  auto v = j.get<long long>();
  if (v < -2147483647LL || v > 2147483647LL) throw Bad{what + ": out of range"};
  return static_cast<LONG>(v);
}

Vector VecFrom(const json& j, const std::string& what) {
  if (!j.is_array() || j.size() != 3) throw Bad{what + ": expected [x, y, z]"};
  return Vector(Num(j[0], what), Num(j[1], what), Num(j[2], what));
}

const json& Array(const json& j, const char* key, const std::string& what) {
  static const json empty = json::array();
  if (!j.contains(key)) return empty;
  const json& a = j[key];
  if (!a.is_array()) throw Bad{what + ": \"" + key + "\" must be an array"};
  if (a.size() > 50000000) throw Bad{what + ": \"" + key + "\" is too long"};
  return a;
}

std::string Label(const BaseList2D* node) {
  std::string s(1, '"');
  s += node->GetName();
  s += '"';
  return s;
}

VariableTag* TagFor(BaseObject* op, LONG type) {
  if (auto* t = dynamic_cast<VariableTag*>(op->GetTag(type))) return t;
  auto* t = dynamic_cast<VariableTag*>(op->MakeTag(type));
  if (!t) throw Bad{"could not create a data tag"};
  return t;
}

std::string WritePointObject(const BaseList2D* node) {
  auto* op = dynamic_cast<const PointObject*>(node);
  if (!op) return std::string();
  json out = json::object();
  json pts = json::array();
  const Vector* p = op->GetPointR();
  for (LONG i = 0; i < op->GetPointCount(); ++i) pts.push_back(VecJson(p[i]));
  out["points"] = std::move(pts);
  if (op->GetTag(Tpolygon)) {
    json polys = json::array();
    auto* v = static_cast<const CPolygon*>(op->GetTagDataR(Tpolygon));
    for (LONG i = 0; i < op->GetTagDataCount(Tpolygon); ++i) polys.push_back(json::array({v[i].a, v[i].b, v[i].c, v[i].d}));
    out["polygons"] = std::move(polys);
  }
  if (op->GetTag(Tsegment)) {
    json segs = json::array();
    auto* s = static_cast<const Segment*>(op->GetTagDataR(Tsegment));
    for (LONG i = 0; i < op->GetTagDataCount(Tsegment); ++i) segs.push_back(json::array({s[i].cnt, s[i].closed}));
    out["segments"] = std::move(segs);
  }
  if (op->GetTag(Ttangent)) {
    json tans = json::array();
    auto* t = static_cast<const Tangent*>(op->GetTagDataR(Ttangent));
    for (LONG i = 0; i < op->GetTagDataCount(Ttangent); ++i) tans.push_back(json::array({VecJson(t[i].vl), VecJson(t[i].vr)}));
    out["tangents"] = std::move(tans);
  }
  return out.dump();
}

Bool ReadPointObject(BaseList2D* node, const std::string& text, String* error) {
  auto* op = dynamic_cast<PointObject*>(node);
  try {
    if (!op) throw Bad{"not a point object"};
    const std::string who = "object " + Label(op);
    json j = json::parse(text);
    if (!j.is_object()) throw Bad{who + ": expected an object"};
    if (op->GetType() == Ospline) {
      LONG t = op->GetDataInstance()->GetLong(SPLINEOBJECT_TYPE);
      if (t != SPLINETYPE_LINEAR && t != SPLINETYPE_CUBIC && t != SPLINETYPE_BEZIER)
        throw Bad{who + ": unknown spline type " + std::to_string(t)};
    }
    const json& pj = Array(j, "points", who);
    std::vector<Vector> pts;
    pts.reserve(pj.size());
    for (size_t i = 0; i < pj.size(); ++i) pts.push_back(VecFrom(pj[i], who + " point " + std::to_string(i)));
    const LONG np = static_cast<LONG>(pts.size());

    std::vector<CPolygon> polys;
    const json& vj = Array(j, "polygons", who);
    for (size_t i = 0; i < vj.size(); ++i) {
      const std::string w = who + " polygon " + std::to_string(i);
      if (!vj[i].is_array() || vj[i].size() != 4) throw Bad{w + ": expected [a, b, c, d]"};
      CPolygon q(Int(vj[i][0], w), Int(vj[i][1], w), Int(vj[i][2], w), Int(vj[i][3], w));
      for (LONG k : {q.a, q.b, q.c, q.d})
        if (k < 0 || k >= np)
          throw Bad{w + " uses point " + std::to_string(k) + ", but the object has " + std::to_string(np) + " points"};
      polys.push_back(q);
    }

    std::vector<Segment> segs;
    const json& sj = Array(j, "segments", who);
    long long sum = 0;
    for (size_t i = 0; i < sj.size(); ++i) {
      const std::string w = who + " segment " + std::to_string(i);
      if (!sj[i].is_array() || sj[i].size() != 2 || !sj[i][1].is_boolean()) throw Bad{w + ": expected [count, closed]"};
      Segment s{Int(sj[i][0], w), sj[i][1].get<bool>()};
      if (s.cnt < 0) throw Bad{w + ": negative point count"};
      sum += s.cnt;
      segs.push_back(s);
    }
    if (!segs.empty() && sum != np)
      throw Bad{who + ": the segments hold " + std::to_string(sum) + " points, but the object has " + std::to_string(np)};

    std::vector<Tangent> tans;
    const json& tj = Array(j, "tangents", who);
    for (size_t i = 0; i < tj.size(); ++i) {
      const std::string w = who + " tangent " + std::to_string(i);
      if (!tj[i].is_array() || tj[i].size() != 2) throw Bad{w + ": expected [left, right]"};
      tans.push_back(Tangent{VecFrom(tj[i][0], w), VecFrom(tj[i][1], w)});
    }
    if (!tans.empty() && static_cast<LONG>(tans.size()) != np)
      throw Bad{who + ": " + std::to_string(tans.size()) + " tangents for " + std::to_string(np) + " points"};

    auto fill = [&](LONG type, const auto& values) {
      VariableTag* t = TagFor(op, type);
      t->Resize(static_cast<LONG>(values.size()));
      if (!values.empty()) std::copy(values.begin(), values.end(), static_cast<std::decay_t<decltype(values[0])>*>(t->GetDataAddressW()));
    };
    fill(Tpoint, pts);
    if (j.contains("polygons")) fill(Tpolygon, polys);
    if (j.contains("segments")) fill(Tsegment, segs);
    if (j.contains("tangents")) fill(Ttangent, tans);
    return true;
  } catch (const Bad& b) {
    if (error) *error = b.msg;
  } catch (const json::exception& e) {
    if (error) *error = std::string("geometry data: ") + e.what();
  }
  return false;
}

std::string WriteVertexMap(const BaseList2D* node) {
  auto* t = dynamic_cast<const VariableTag*>(node);
  if (!t) return std::string();
  json vals = json::array();
  auto* v = static_cast<const Real*>(t->GetDataAddressR());
  for (LONG i = 0; i < t->GetDataCount(); ++i) vals.push_back(v[i]);
  return json{{"values", vals}}.dump();
}

Bool ReadVertexMap(BaseList2D* node, const std::string& text, String* error) {
  auto* t = dynamic_cast<VariableTag*>(node);
  try {
    if (!t) throw Bad{"not a vertex map"};
    json j = json::parse(text);
    if (!j.is_object()) throw Bad{"vertex map: expected an object"};
    const json& a = Array(j, "values", "vertex map");
    std::vector<Real> vals;
    for (size_t i = 0; i < a.size(); ++i) vals.push_back(Num(a[i], "vertex map value " + std::to_string(i)));
    t->Resize(static_cast<LONG>(vals.size()));
    if (!vals.empty()) std::copy(vals.begin(), vals.end(), static_cast<Real*>(t->GetDataAddressW()));
    return true;
  } catch (const Bad& b) {
    if (error) *error = b.msg;
  } catch (const json::exception& e) {
    if (error) *error = std::string("vertex map: ") + e.what();
  }
  return false;
}

std::string SplineDataToJson(const CustomDataType& c) {
  auto* s = dynamic_cast<const SplineData*>(&c);
  if (!s) return "null";
  Real r[6];
  s->GetRange(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
  json knots = json::array();
  for (const SplineKnot& k : s->Knots())
    knots.push_back({{"x", k.pos.x}, {"y", k.pos.y}, {"left", VecJson(k.tangent_left)}, {"right", VecJson(k.tangent_right)},
                     {"flags", k.flags}, {"interpolation", k.interpolation}});
  return json{{"range", json::array({r[0], r[1], r[2], r[3], r[4], r[5]})}, {"knots", knots}}.dump();
}

std::unique_ptr<CustomDataType> SplineDataFromJson(const std::string& text, String* error) {
  try {
    json j = json::parse(text);
    if (!j.is_object()) throw Bad{"spline curve: expected an object"};
    auto s = std::make_unique<SplineData>();
    const json& r = Array(j, "range", "spline curve");
    if (r.size() != 6) throw Bad{"spline curve: the range needs 6 numbers"};
    Real v[6];
    for (int i = 0; i < 6; ++i) v[i] = Num(r[static_cast<size_t>(i)], "spline curve range");
    s->SetRange(v[0], v[1], v[2], v[3], v[4], v[5]);
    const json& ks = Array(j, "knots", "spline curve");
    for (size_t i = 0; i < ks.size(); ++i) {
      const std::string w = "spline curve knot " + std::to_string(i);
      const json& kj = ks[i];
      if (!kj.is_object() || !kj.contains("x") || !kj.contains("y")) throw Bad{w + ": expected {\"x\", \"y\", ...}"};
      SplineKnot k;
      k.pos = Vector(Num(kj["x"], w), Num(kj["y"], w), 0.0);
      if (kj.contains("left")) k.tangent_left = VecFrom(kj["left"], w);
      if (kj.contains("right")) k.tangent_right = VecFrom(kj["right"], w);
      if (kj.contains("flags")) k.flags = Int(kj["flags"], w);
      if (kj.contains("interpolation")) k.interpolation = Int(kj["interpolation"], w);
      LONG idx = s->InsertKnot(k.pos.x, k.pos.y, k.flags);
      s->SetKnot(idx, k);
    }
    return s;
  } catch (const Bad& b) {
    if (error) *error = b.msg;
  } catch (const json::exception& e) {
    if (error) *error = std::string("spline curve: ") + e.what();
  }
  return nullptr;
}

}  // namespace

void geo::RegisterSceneIO() {
  const LONG types[] = {Opolygon, Ospline, Oline, Offd};
  for (LONG type : types) scenefile::RegisterNodeIO(type, WritePointObject, ReadPointObject);
  scenefile::RegisterNodeIO(Tvertexmap, WriteVertexMap, ReadVertexMap);
  scenefile::RegisterCustomDataIO({CUSTOMDATATYPE_SPLINE, "spline", SplineDataToJson, SplineDataFromJson});
}
