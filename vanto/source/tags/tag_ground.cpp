#include "tags/tag_ground.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "carsim/polygon_geometry.h"
#include "host_geometry.h"
#include "host_services.h"
#include "scene_build/object_builders.h"
#include "carsim/link_message.h"

static_assert(kGroundTagType == ID_VANTOGROUND);

namespace {

// The polygon-object children of a surface object with their points in
// world space, made once for any number of height queries.
class SurfacePieces {
 public:
  explicit SurfacePieces(const BaseObject* surface) {
    if (!surface) return;
    for (const BaseObject* child = surface->GetDown(); child; child = child->GetNext()) {
      if (child->GetType() != Opolygon) continue;
      const auto* poly = dynamic_cast<const PolygonObject*>(child);
      if (!poly || poly->GetPointCount() <= 2 || poly->GetPolygonCount() < 1 || !poly->GetPolygonR()) continue;
      const LONG count = poly->GetPointCount();
      auto* world = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<size_t>(count)));
      if (!world) continue;  // this child is left out
      GetWorldPoints(child, world, count);
      pieces_.push_back(Piece{world, count, poly->GetPolygonR(), poly->GetPolygonCount()});
    }
  }
  ~SurfacePieces() {
    for (Piece& p : pieces_) GeFree(p.world);
  }
  SurfacePieces(const SurfacePieces&) = delete;
  SurfacePieces& operator=(const SurfacePieces&) = delete;

  Real HeightUnder(const Vector& point) const {
    Real h = point.y;
    for (const Piece& piece : pieces_) {
      for (LONG k = 0; k < piece.polygonCount; ++k) {
        const CPolygon& q = piece.polygons[k];
        if (!Inside(q.a, piece.count) || !Inside(q.b, piece.count) || !Inside(q.c, piece.count) ||
            !Inside(q.d, piece.count))
          continue;
        if (!PointInPolygonXZ(piece.world, q, point)) continue;
        const Vector& a = piece.world[q.a];
        const Vector n = Cross(piece.world[q.b] - a, piece.world[q.d] - a);
        // An upright polygon has no height to give.
        if (n.y == 0.0) continue;
        const Real y = a.y - (n.x * (point.x - a.x) + n.z * (point.z - a.z)) / n.y;
        if (std::isfinite(y) && y > h) h = y;
      }
    }
    return h;
  }

 private:
  struct Piece {
    Vector* world;
    LONG count;
    const CPolygon* polygons;
    LONG polygonCount;
  };
  static bool Inside(LONG i, LONG count) { return i >= 0 && i < count; }
  std::vector<Piece> pieces_;
};

}  // namespace

// ---------------------------------------------------------------- surface helpers

Real GroundHeightUnder(const BaseObject* surface, const Vector& point) {
  return SurfacePieces(surface).HeightUnder(point);
}

void LiftOntoGround(BaseDocument* doc, BaseObject* target, const BaseObject* surface) {
  if (!target) return;
  const LONG count = target->GetTagDataCount(Tpoint);
  auto* points = static_cast<Vector*>(target->GetTagDataW(Tpoint));
  if (!points || count <= 0) return;
  const Matrix m = target->GetMg();
  // A flattened object cannot take its points back from world space.
  if (m.Determinant() == 0.0) return;
  const Matrix inverse = Invert(m);
  if (doc) {
    doc->StartUndo();
    doc->AddUndo(UNDOTYPE_CHANGE, target);
    doc->EndUndo();
  }
  const SurfacePieces pieces(surface);
  for (LONG i = 0; i < count; ++i) {
    const Vector w = m * points[i];
    points[i] = inverse * Vector(w.x, pieces.HeightUnder(w), w.z);
  }
  target->Message(MSG_UPDATE);
}

// ---------------------------------------------------------------- the tag

NodeData* VantoGround::Alloc() { return new VantoGround; }

Bool VantoGround::Init(GeListNode* node) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return false;
  BaseContainer* bc = tag->GetDataInstance();
  bc->SetReal(GROUNDTAG_GRIP, 0.98);
  bc->SetLong(GROUNDTAG_CONTACT_MODE, 1);
  return true;
}

void VantoGround::Free(GeListNode*) { FreeGrid(); }

void VantoGround::FreeGrid() {
  if (grid_.points) GeFree(grid_.points);
  grid_ = GroundGrid();
}

Bool VantoGround::Message(GeListNode* node, LONG type, void* data) {
  if (!node) return false;
  auto* tag = static_cast<BaseTag*>(node);
  BaseDocument* doc = tag->GetDocument();
  BaseObject* host = tag->GetObject();
  switch (type) {
    case MSG_DESCRIPTION_COMMAND: {
      if (!doc || !host) return false;
      if (!data) return true;
      if (static_cast<const DescID*>(data)->operator[](0).id == GROUNDTAG_LIFT) {
        if (BaseObject* surface = tag->GetDataInstance()->GetObjectLink(GROUNDTAG_LIFT_SURFACE, doc))
          LiftOntoGround(doc, host, surface);
      }
      return true;
    }
    case MSG_SIMLINK: {
      if (!host || !data) return false;
      auto* msg = static_cast<SimLinkMessage*>(data);
      switch (msg->command) {
        case SIMLINK_FREE_CACHE: FreeGrid(); return true;
        case SIMLINK_GROUND_QUERY: return AnswerGridQuery(tag, host, static_cast<double*>(msg->payload));
        default: return true;
      }
    }
    default: return true;
  }
}

Bool VantoGround::AnswerGridQuery(BaseTag* tag, BaseObject* host, double* buffer) {
  const LONG type = host->GetType();
  if (type != Olandscape && type != Orelief) {
    FreeGrid();
    return true;
  }
  if (!buffer) return false;
  const LONG base = type == Orelief ? PRIM_RELIEF_SIZE : PRIM_LANDSCAPE_SIZE;
  const BaseContainer* hc = host->GetDataInstance();
  const Vector size = hc->GetVector(base);
  const LONG nx = hc->GetLong(base + 1), nz = hc->GetLong(base + 2);
  // No cells, or a flat size: there is no grid to divide.
  if (nx < 1 || nz < 1 || !(size.x != 0.0 && size.z != 0.0) || !std::isfinite(size.x) || !std::isfinite(size.z))
    return false;
  const double fc = (size.x * 0.5 + buffer[0]) / (size.x / nx);
  const double fr = (size.z * 0.5 + buffer[2]) / (size.z / nz);
  // A point off the grid has no cell to answer with; one on the far edge
  // belongs to the last cell.
  if (!(fc >= 0.0 && fc <= nx && fr >= 0.0 && fr <= nz)) return false;
  const LONG c = std::min<LONG>(static_cast<LONG>(fc), nx - 1);
  const LONG r = std::min<LONG>(static_cast<LONG>(fr), nz - 1);

  const bool cached = grid_.points && grid_.size == size && grid_.nx == nx && grid_.nz == nz;
  if (!cached && !RebuildGrid(tag->GetDocument(), host, size, nx, nz)) return false;

  const std::int64_t i = static_cast<std::int64_t>(r) * (nx + 1) + c;
  const Vector* p = grid_.points;
  const Vector corners[3] = {p[i], p[i + nx + 1], p[i + nx + 2]};
  for (int k = 0; k < 3; ++k) {
    buffer[3 * k] = corners[k].x;
    buffer[3 * k + 1] = corners[k].y;
    buffer[3 * k + 2] = corners[k].z;
  }
  return true;
}

Bool VantoGround::RebuildGrid(BaseDocument* doc, BaseObject* host, const Vector& size, LONG nx, LONG nz) {
  FreeGrid();
  ModelingCommandData cd;
  cd.doc = doc;
  cd.op = host;
  if (!SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, cd)) return false;
  BaseObject* result = cd.result->GetCount() > 0 ? dynamic_cast<BaseObject*>(cd.result->GetIndex(0)) : nullptr;
  for (LONG k = 1; k < cd.result->GetCount(); ++k) {
    BaseObject* extra = dynamic_cast<BaseObject*>(cd.result->GetIndex(k));
    BaseObject::Free(extra);
  }
  if (!result) return false;
  // The surface must hold the whole grid; a converted object with fewer
  // points than the counts ask for gives no grid rather than a short read.
  const std::int64_t need = static_cast<std::int64_t>(nx + 1) * (nz + 1);
  const auto* source = static_cast<const Vector*>(result->GetTagDataR(Tpoint));
  if (!source || result->GetTagDataCount(Tpoint) < need) {
    BaseObject::Free(result);
    return false;
  }
  grid_.points = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<size_t>(need)));
  if (grid_.points) {
    for (std::int64_t k = 0; k < need; ++k) grid_.points[k] = source[k];
    grid_.size = size;
    grid_.nx = nx;
    grid_.nz = nz;
  }
  BaseObject::Free(result);
  return grid_.points != nullptr;
}

Bool VantoGround::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  auto* tag = static_cast<BaseTag*>(node);
  BaseObject* host = tag ? tag->GetObject() : nullptr;
  if (!host) return false;
  if (id[0].id < GROUNDTAG_CONTACT_MODE) return true;
  if (host->GetType() == Opolygon) return true;
  // Only polygon objects can carry a tyre profile or be lifted.
  tag->GetDataInstance()->SetLong(GROUNDTAG_CONTACT_MODE, 1);
  return false;
}

Bool RegisterVantoGround() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOGROUND, nullptr, 10004, TAG_VISIBLE | TAG_EXPRESSION, VantoGround::Alloc,
                            "TvantoGroundexp", "vantoGround.tif");
}
