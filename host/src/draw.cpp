#if CARSIM_HAS_PNG
#include <cairo.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "host_draw.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_plugin.h"

namespace {
// The camera is a plain host object: its matrix and focal length are all
// the picture needs.
struct CameraType {
  CameraType() { hostregistry::RegisterNative(Ocamera, PLUGINTYPE_OBJECT, "Camera", nullptr); }
} g_camera_type;
}  // namespace

// ---------------------------------------------------------------- view

Vector GetViewColor(LONG id) {
  switch (id) {
    case VIEWCOLOR_BACKGROUND: return Vector(0.25, 0.25, 0.25);
    case VIEWCOLOR_ACTIVEPOINT: return Vector(1.0, 0.6, 0.0);
    case VIEWCOLOR_WIRE: return Vector(0.0, 0.0, 0.5);
    case VIEWCOLOR_ACTIVEBOX: return Vector(1.0, 0.6, 0.0);
    case VIEWCOLOR_SPLINESTART: return Vector(1.0, 1.0, 0.0);
    case VIEWCOLOR_SPLINEEND: return Vector(0.0, 0.0, 1.0);
    default: return Vector(0.7, 0.7, 0.7);
  }
}

void BaseView::GetFrame(LONG* left, LONG* top, LONG* right, LONG* bottom) const {
  if (left) *left = 0;
  if (top) *top = 0;
  if (right) *right = width_ - 1;
  if (bottom) *bottom = height_ - 1;
}

void BaseView::SetCamera(const Matrix& mg, Real focal_mm) {
  camera_ = Normalized(mg);
  if (!(focal_mm > 0.0)) focal_mm = 36.0;
  focal_px_ = focal_mm / 36.0 * width_;
}

Vector BaseView::WS(const Vector& p) const {
  Vector q = Invert(camera_) * p;
  if (q.z <= 1e-9) return Vector(0, 0, q.z);
  return Vector(width_ * 0.5 + focal_px_ * q.x / q.z, height_ * 0.5 - focal_px_ * q.y / q.z, q.z);
}

Vector BaseView::SW(const Vector& p) const {
  const Real z = p.z;
  return camera_ * Vector((p.x - width_ * 0.5) * z / focal_px_, -(p.y - height_ * 0.5) * z / focal_px_, z);
}

// ---------------------------------------------------------------- recording

BaseDraw::BaseDraw(LONG width, LONG height) : BaseView(width > 0 ? width : 1, height > 0 ? height : 1) {
  SetCamera(camera_);
}

void BaseDraw::Record(DrawCall&& c) {
  c.object = object_;
  calls_.push_back(std::move(c));
}

void BaseDraw::SetCurrentObject(const BaseList2D* node) { object_ = node ? node->GetSerial() : 0; }

LONG BaseDraw::CountCalls(DrawCall::Kind kind) const {
  return static_cast<LONG>(std::count_if(calls_.begin(), calls_.end(), [&](const DrawCall& c) { return c.kind == kind; }));
}

void BaseDraw::SetPen(const Vector& color, LONG flags) {
  pen_ = color;
  DrawCall c{DrawCall::kPen};
  c.color = color;
  c.flags = flags;
  Record(std::move(c));
}

void BaseDraw::SetMatrix_Matrix(BaseObject*, const Matrix& mg, LONG zoffset) {
  matrix_ = mg;
  DrawCall c{DrawCall::kMatrix};
  c.matrix = mg;
  c.flags = zoffset;
  Record(std::move(c));
}

void BaseDraw::DrawLine(const Vector& p1, const Vector& p2, LONG flags) {
  DrawCall c{DrawCall::kLine};
  c.points = {p1, p2};
  c.world = {matrix_ * p1, matrix_ * p2};
  c.color = pen_;
  c.matrix = matrix_;
  c.flags = flags;
  Record(std::move(c));
}

void BaseDraw::DrawLine2D(const Vector& p1, const Vector& p2) {
  DrawCall c{DrawCall::kLine2D};
  c.points = {p1, p2};
  c.color = pen_;
  Record(std::move(c));
}

void BaseDraw::DrawPoint2D(const Vector& p) {
  DrawCall c{DrawCall::kPoint2D};
  c.points = {p};
  c.color = pen_;
  Record(std::move(c));
}

void BaseDraw::DrawCircle(const Matrix& m) {
  DrawCall c{DrawCall::kCircle};
  constexpr int kSegments = 48;
  for (int i = 0; i < kSegments; ++i) {
    const Real a = 2.0 * pi * i / kSegments;
    c.world.push_back(matrix_ * (m.off + m.v1 * std::cos(a) + m.v2 * std::sin(a)));
  }
  c.points = {m.off};
  c.color = pen_;
  c.matrix = m;
  Record(std::move(c));
}

void BaseDraw::DrawHandle(const Vector& p, LONG type, LONG flags) {
  DrawCall c{DrawCall::kHandle};
  c.points = {p};
  c.world = {matrix_ * p};
  c.color = pen_;
  c.matrix = matrix_;
  c.flags = flags;
  c.size = type;
  Record(std::move(c));
}

void BaseDraw::DrawBox(const Matrix& m, Real size, const Vector& color, Bool wire) {
  DrawCall c{DrawCall::kBox};
  // Corners 0-3 at -y, 4-7 at +y, each ring (-x,-z), (+x,-z), (+x,+z), (-x,+z).
  const Real sx[4] = {-1, 1, 1, -1}, sz[4] = {-1, -1, 1, 1};
  for (int ring = 0; ring < 2; ++ring)
    for (int k = 0; k < 4; ++k)
      c.world.push_back(matrix_ * (m.off + (m.v1 * sx[k] + m.v2 * (ring ? 1.0 : -1.0) + m.v3 * sz[k]) * size));
  c.color = color;
  c.matrix = m;
  c.size = size;
  c.flags = wire ? 1 : 0;
  Record(std::move(c));
}

void BaseDraw::DrawPolygon(const Vector* p, const Vector* colors, Bool quad) {
  if (!p) return;
  DrawCall c{DrawCall::kPolygon};
  const int n = quad ? 4 : 3;
  for (int i = 0; i < n; ++i) {
    c.points.push_back(p[i]);
    c.world.push_back(matrix_ * p[i]);
    c.colors.push_back(colors ? colors[i] : pen_);
  }
  c.color = pen_;
  c.matrix = matrix_;
  c.flags = quad ? 1 : 0;
  Record(std::move(c));
}

static DrawCall StateCall(DrawCall::State state, LONG value) {
  DrawCall c{DrawCall::kState};
  c.state = state;
  c.flags = value;
  return c;
}
void BaseDraw::SetDepth(Bool on) { Record(StateCall(DrawCall::kDepth, on ? 1 : 0)); }
void BaseDraw::SetTransparency(LONG t) { Record(StateCall(DrawCall::kTransparency, t)); }
void BaseDraw::SetLineWidth(LONG w) {
  line_width_ = std::clamp<LONG>(w, 1, 16);
  Record(StateCall(DrawCall::kLineWidth, line_width_));
}
void BaseDraw::SetPointSize(LONG s) {
  point_size_ = std::clamp<LONG>(s, 1, 16);
  Record(StateCall(DrawCall::kPointSize, point_size_));
}

Matrix BaseDrawHelp::GetMg() const { return op_ ? op_->GetMg() : Matrix(); }

// ---------------------------------------------------------------- rasterising

namespace {
Real Channel(Real v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; }

// A picture of the plain background.
std::vector<std::uint8_t> PlainPicture(LONG width, LONG height, const Vector& background) {
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const std::uint8_t bg[3] = {static_cast<std::uint8_t>(std::lround(Channel(background.x) * 255.0)),
                              static_cast<std::uint8_t>(std::lround(Channel(background.y) * 255.0)),
                              static_cast<std::uint8_t>(std::lround(Channel(background.z) * 255.0))};
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = bg[i % 3];
  return rgb;
}
}  // namespace

#if CARSIM_HAS_PNG
namespace {
struct CairoDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, CairoDeleter>;

// Geometry is cut to the view widened by this margin before cairo sees it:
// points close to the camera plane project millions of pixels away, beyond
// what cairo's fixed-point coordinates hold. The margin exceeds the widest
// line and handle, so nothing visible changes.
constexpr Real kGuard = 64.0;

bool Finite(const Vector& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// A screen-space vertex with its colour, for polygon clipping.
struct Vertex {
  Vector p;
  Vector color;
};

struct Rect {
  Real x0, y0, x1, y1;
};

// Clips the segment a-b to r; false when nothing is left.
bool ClipSegment(Vector& a, Vector& b, const Rect& r) {
  if (!Finite(a) || !Finite(b)) return false;
  Real t0 = 0.0, t1 = 1.0;
  const Real dx = b.x - a.x, dy = b.y - a.y;
  auto clip = [&](Real p, Real q) {
    if (p == 0.0) return q >= 0.0;
    const Real t = q / p;
    if (p < 0.0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
    return true;
  };
  if (!clip(-dx, a.x - r.x0) || !clip(dx, r.x1 - a.x) || !clip(-dy, a.y - r.y0) || !clip(dy, r.y1 - a.y))
    return false;
  const Vector d = b - a;
  if (t1 < 1.0) b = a + d * t1;
  if (t0 > 0.0) a = a + d * t0;
  return true;
}

// Clips a convex or concave polygon to r (one edge of r at a time); the
// colours of new vertices are interpolated along the cut edges.
std::vector<Vertex> ClipPolygon(std::vector<Vertex> poly, const Rect& r) {
  for (const Vertex& v : poly)
    if (!Finite(v.p)) return {};
  auto cut = [&poly](auto inside, auto crossing) {
    std::vector<Vertex> out;
    for (size_t i = 0; i < poly.size(); ++i) {
      const Vertex& a = poly[i];
      const Vertex& b = poly[(i + 1) % poly.size()];
      const bool ia = inside(a.p), ib = inside(b.p);
      if (ia) out.push_back(a);
      if (ia != ib) {
        const Real t = crossing(a.p, b.p);
        out.push_back({a.p + (b.p - a.p) * t, a.color + (b.color - a.color) * t});
      }
    }
    poly = std::move(out);
  };
  cut([&](const Vector& p) { return p.x >= r.x0; }, [&](const Vector& a, const Vector& b) { return (r.x0 - a.x) / (b.x - a.x); });
  cut([&](const Vector& p) { return p.x <= r.x1; }, [&](const Vector& a, const Vector& b) { return (r.x1 - a.x) / (b.x - a.x); });
  cut([&](const Vector& p) { return p.y >= r.y0; }, [&](const Vector& a, const Vector& b) { return (r.y0 - a.y) / (b.y - a.y); });
  cut([&](const Vector& p) { return p.y <= r.y1; }, [&](const Vector& a, const Vector& b) { return (r.y1 - a.y) / (b.y - a.y); });
  return poly.size() >= 3 ? poly : std::vector<Vertex>{};
}

// Clips a world segment to the space in front of the camera and projects it.
bool ProjectSegment(const BaseView& v, const Vector& a, const Vector& b, Vector& sa, Vector& sb) {
  constexpr Real kNear = 1e-3;
  const Matrix inv = Invert(v.GetMg());
  Vector ca = inv * a, cb = inv * b;
  if (!(ca.z >= kNear || cb.z >= kNear)) return false;  // both behind (or not numbers)
  if (ca.z < kNear) ca = ca + (cb - ca) * ((kNear - ca.z) / (cb.z - ca.z));
  if (cb.z < kNear) cb = cb + (ca - cb) * ((kNear - cb.z) / (ca.z - cb.z));
  const Matrix cam = v.GetMg();
  sa = v.WS(cam * ca);
  sb = v.WS(cam * cb);
  return true;
}

// Replays a draw list onto a cairo context the size of the view.
class Painter {
 public:
  Painter(cairo_t* cr, const BaseDraw& view)
      : cr_(cr),
        view_(view),
        guard_{-kGuard, -kGuard, view.GetWidth() + kGuard, view.GetHeight() + kGuard} {
    cairo_rectangle(cr_, 0, 0, view.GetWidth(), view.GetHeight());
    cairo_clip(cr_);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  }

  void Background(const Vector& c) {
    SetColor(c);
    cairo_paint(cr_);
  }

  void Play(const DrawCall& c) {
    switch (c.kind) {
      case DrawCall::kState:
        if (c.state == DrawCall::kLineWidth) line_width_ = std::clamp<LONG>(c.flags, 1, 16);
        if (c.state == DrawCall::kPointSize) point_size_ = std::clamp<LONG>(c.flags, 1, 16);
        break;
      case DrawCall::kLine:
        if (c.world.size() < 2) break;
        Segment3D(c.world[0], c.world[1]);
        Stroke(c.color);
        break;
      case DrawCall::kLine2D:
        if (c.points.size() < 2) break;
        Segment(c.points[0], c.points[1]);
        Stroke(c.color);
        break;
      case DrawCall::kPoint2D:
        if (c.points.empty()) break;
        Square(c.points[0], point_size_, c.color);
        break;
      case DrawCall::kCircle:
        // One path, so the segments join instead of overlapping.
        for (size_t k = 0; k < c.world.size(); ++k) Segment3D(c.world[k], c.world[(k + 1) % c.world.size()]);
        Stroke(c.color);
        break;
      case DrawCall::kHandle: {
        if (c.world.empty()) break;
        const Vector s = view_.WS(c.world[0]);
        if (s.z > 0) Square(s, 2 * (std::clamp<LONG>(static_cast<LONG>(c.size), 0, 3) + 1) + 1, c.color);
        break;
      }
      case DrawCall::kBox: Box(c); break;
      case DrawCall::kPolygon: Polygon(c); break;
      default: break;
    }
  }

 private:
  void SetColor(const Vector& c) { cairo_set_source_rgb(cr_, Channel(c.x), Channel(c.y), Channel(c.z)); }

  // Adds a screen segment to the current path, continuing it when the
  // segment starts where the path ends.
  void Segment(Vector a, Vector b) {
    if (!ClipSegment(a, b, guard_)) return;
    double x, y;
    cairo_get_current_point(cr_, &x, &y);
    if (!cairo_has_current_point(cr_) || x != a.x || y != a.y) cairo_move_to(cr_, a.x, a.y);
    cairo_line_to(cr_, b.x, b.y);
  }
  void Segment3D(const Vector& a, const Vector& b) {
    Vector sa, sb;
    if (ProjectSegment(view_, a, b, sa, sb)) Segment(sa, sb);
  }
  void Stroke(const Vector& color) {
    SetColor(color);
    cairo_set_line_width(cr_, line_width_);
    cairo_stroke(cr_);
  }

  // A filled square of side pixels on whole pixels, over the pixel that
  // holds p (the middle one for odd sides): points and handles stay crisp.
  void Square(const Vector& p, LONG side, const Vector& color) {
    if (!Finite(p) || p.x < guard_.x0 || p.x > guard_.x1 || p.y < guard_.y0 || p.y > guard_.y1) return;
    const Real x = std::floor(p.x + 0.5 - side * 0.5), y = std::floor(p.y + 0.5 - side * 0.5);
    cairo_rectangle(cr_, x, y, side, side);
    SetColor(color);
    cairo_fill(cr_);
  }

  // Appends the fan triangles of a clipped polygon to the path, each wound
  // the same way, so that with the winding rule overlapping pieces add up
  // to their union instead of cancelling.
  static void AddTriangle(cairo_t* cr, const Vector& a, const Vector& b, const Vector& c) {
    const Real area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    cairo_move_to(cr, a.x, a.y);
    if (area >= 0) {
      cairo_line_to(cr, b.x, b.y);
      cairo_line_to(cr, c.x, c.y);
    } else {
      cairo_line_to(cr, c.x, c.y);
      cairo_line_to(cr, b.x, b.y);
    }
    cairo_close_path(cr);
  }

  // Filled faces are drawn without antialiasing: neighbouring polygons then
  // meet without a visible seam, as in a shaded viewport.
  void Fill(const Vector* color) {
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    if (color) SetColor(*color);
    cairo_fill(cr_);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
  }

  void Box(const DrawCall& c) {
    if (c.world.size() < 8) return;
    if (c.flags) {
      const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
      for (const auto& e : edges) Segment3D(c.world[e[0]], c.world[e[1]]);
      Stroke(c.color);
      return;
    }
    const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto& f : faces) {
      std::vector<Vertex> face;
      for (int k = 0; k < 4; ++k) {
        const Vector s = view_.WS(c.world[f[k]]);
        if (!(s.z > 0)) break;  // faces reaching behind the camera are left out
        face.push_back({s, c.color});
      }
      if (face.size() < 4) continue;
      face = ClipPolygon(std::move(face), guard_);
      for (size_t k = 1; k + 1 < face.size(); ++k) AddTriangle(cr_, face[0].p, face[k].p, face[k + 1].p);
    }
    Fill(&c.color);
  }

  // A polygon with a colour per vertex: each fan triangle becomes a patch of
  // a mesh pattern, which blends the corner colours across it.
  void Polygon(const DrawCall& c) {
    if (c.world.size() < 3 || c.colors.size() < c.world.size()) return;
    std::vector<Vertex> poly;
    for (size_t k = 0; k < c.world.size(); ++k) {
      const Vector s = view_.WS(c.world[k]);
      if (!(s.z > 0)) return;  // polygons reaching behind the camera are left out
      poly.push_back({s, c.colors[k]});
    }
    poly = ClipPolygon(std::move(poly), guard_);
    if (poly.empty()) return;
    const bool one_colour = std::all_of(poly.begin(), poly.end(), [&](const Vertex& v) { return v.color == poly[0].color; });
    PatternPtr mesh(one_colour ? nullptr : cairo_pattern_create_mesh());
    for (size_t k = 1; k + 1 < poly.size(); ++k) {
      const Vertex* tri[3] = {&poly[0], &poly[k], &poly[k + 1]};
      AddTriangle(cr_, tri[0]->p, tri[1]->p, tri[2]->p);
      if (!mesh) continue;
      cairo_mesh_pattern_begin_patch(mesh.get());
      cairo_mesh_pattern_move_to(mesh.get(), tri[0]->p.x, tri[0]->p.y);
      cairo_mesh_pattern_line_to(mesh.get(), tri[1]->p.x, tri[1]->p.y);
      cairo_mesh_pattern_line_to(mesh.get(), tri[2]->p.x, tri[2]->p.y);
      for (unsigned i = 0; i < 3; ++i) {
        const Vector& col = tri[i]->color;
        cairo_mesh_pattern_set_corner_color_rgb(mesh.get(), i, Channel(col.x), Channel(col.y), Channel(col.z));
      }
      cairo_mesh_pattern_end_patch(mesh.get());
    }
    if (mesh) {
      cairo_set_source(cr_, mesh.get());
      Fill(nullptr);
    } else {
      Fill(&poly[0].color);
    }
  }

  cairo_t* cr_;
  const BaseDraw& view_;
  Rect guard_;
  LONG line_width_ = 1;
  LONG point_size_ = 1;
};

// An RGB24 surface's pixels as packed RGB bytes.
std::vector<std::uint8_t> SurfaceRgb(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint32_t px;
      std::memcpy(&px, data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
      std::uint8_t* out = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      out[0] = static_cast<std::uint8_t>(px >> 16);
      out[1] = static_cast<std::uint8_t>(px >> 8);
      out[2] = static_cast<std::uint8_t>(px);
    }
  return rgb;
}
}  // namespace

std::vector<std::uint8_t> BaseDraw::Rasterize(const Vector& background) const {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_));
  // Beyond what cairo can hold: the plain background, at the promised size.
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return PlainPicture(width_, height_, background);
  {
    ContextPtr cr(cairo_create(surface.get()));
    Painter painter(cr.get(), *this);
    painter.Background(background);
    for (const DrawCall& c : calls_) painter.Play(c);
  }
  return SurfaceRgb(surface.get());
}
#else
// Built without the picture library (no cairo for the target): every
// picture is the plain background, and writing one is refused.
std::vector<std::uint8_t> BaseDraw::Rasterize(const Vector& background) const {
  return PlainPicture(width_, height_, background);
}
#endif

// ---------------------------------------------------------------- the document

namespace hostdraw {

static bool HiddenInEditor(const BaseObject* op) {
  for (const BaseObject* o = op; o; o = o->GetUp()) {
    const LONG mode = o->GetEditorMode();
    if (mode == MODE_OFF) return true;
    if (mode == MODE_ON) return false;
  }
  return false;
}

static void DrawWireframe(BaseObject* op, BaseDraw* bd) {
  bd->SetMatrix_Matrix(op, op->GetMg());
  bd->SetPen(GetViewColor(VIEWCOLOR_WIRE));
  if (auto* poly = dynamic_cast<PolygonObject*>(op)) {
    const Vector* p = poly->GetPointR();
    const CPolygon* v = poly->GetPolygonR();
    const LONG pc = poly->GetPointCount();
    for (LONG i = 0; p && v && i < poly->GetPolygonCount(); ++i) {
      const LONG idx[4] = {v[i].a, v[i].b, v[i].c, v[i].d};
      const int n = v[i].c == v[i].d ? 3 : 4;
      for (int k = 0; k < n; ++k) {
        const LONG a = idx[k], b = idx[(k + 1) % n];
        if (a >= 0 && a < pc && b >= 0 && b < pc) bd->DrawLine(p[a], p[b], 0);
      }
    }
    return;
  }
  if (auto* po = dynamic_cast<PointObject*>(op)) {
    const Vector* p = po->GetPointR();
    const LONG n = p ? po->GetPointCount() : 0;
    for (LONG i = 0; i + 1 < n; ++i) bd->DrawLine(p[i], p[i + 1], 0);
    if (n > 2 && op->GetDataInstance()->GetBool(1002)) bd->DrawLine(p[n - 1], p[0], 0);
    return;
  }
  const Vector rad = op->GetRad();
  if (rad.GetSquaredLength() > 0.0) {
    bd->DrawBox(Matrix(op->GetMp(), Vector(rad.x, 0, 0), Vector(0, rad.y, 0), Vector(0, 0, rad.z)), 1.0,
                GetViewColor(VIEWCOLOR_WIRE), true);
    return;
  }
  constexpr Real kCross = 10.0;
  bd->DrawLine(Vector(-kCross, 0, 0), Vector(kCross, 0, 0), 0);
  bd->DrawLine(Vector(0, -kCross, 0), Vector(0, kCross, 0), 0);
  bd->DrawLine(Vector(0, 0, -kCross), Vector(0, 0, kCross), 0);
}

void DrawDocument(BaseDocument* doc, BaseDraw* bd) {
  if (!doc || !bd) return;
  BaseObject* active = doc->GetActiveObject();
  // Objects are collected first: a plug-in's Draw must not change the tree,
  // but if it does the walk is not disturbed.
  std::vector<std::uint64_t> serials;
  doc->ForEachObject([&](BaseObject* op) { serials.push_back(op->GetSerial()); });
  for (std::uint64_t serial : serials) {
    auto* op = dynamic_cast<BaseObject*>(BaseList2D::FromSerial(serial));
    if (!op || op->GetDocument() != doc || HiddenInEditor(op) || op->GetType() == Ocamera) continue;
    bd->SetCurrentObject(op);
    DrawWireframe(op, bd);
    BaseDrawHelp bh(bd, doc, op);
    if (op->GetNodeData() && FindPlugin(op->GetType(), PLUGINTYPE_OBJECT)) {
      auto* data = op->GetNodeData<ObjectData>();
      bd->SetMatrix_Matrix(nullptr, Matrix());
      data->Draw(op, DRAWPASS_OBJECT, bd, &bh);
      if (op == active) data->Draw(op, DRAWPASS_HANDLES, bd, &bh);
    }
    for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext()) {
      if (!tag->GetNodeData() || !FindPlugin(tag->GetType(), PLUGINTYPE_TAG)) continue;
      bd->SetCurrentObject(tag);
      bd->SetMatrix_Matrix(nullptr, Matrix());
      tag->GetNodeData<TagData>()->Draw(tag, op, bd, &bh);
    }
  }
  bd->SetCurrentObject(nullptr);
}

void FrameDocument(BaseDocument* doc, BaseView* view) {
  if (!doc || !view) return;
  BaseObject* camera = nullptr;
  Vector lo(1e300), hi(-1e300);
  bool any = false;
  doc->ForEachObject([&](BaseObject* op) {
    if (op->GetType() == Ocamera) {
      if (!camera) camera = op;
      return;
    }
    const Matrix mg = op->GetMg();
    const Vector mp = op->GetMp(), rad = op->GetRad();
    for (int k = 0; k < 8; ++k) {
      const Vector p = mg * (mp + Vector(k & 1 ? rad.x : -rad.x, k & 2 ? rad.y : -rad.y, k & 4 ? rad.z : -rad.z));
      lo = Vector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi = Vector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
      any = true;
    }
  });
  if (camera) {
    Real focal = camera->GetDataInstance()->GetReal(CAMERA_FOCUS, 36.0);
    view->SetCamera(camera->GetMg(), focal);
    return;
  }
  const Vector centre = any ? (lo + hi) * 0.5 : Vector();
  const Real radius = std::max(100.0, any ? (hi - lo).GetLength() * 0.5 : 0.0);
  Matrix m = HPBToMatrix(Vector(Rad(30.0), Rad(-25.0), 0.0));
  // 36 mm focal length on 36 mm film: half the narrower side sees 0.5 * side / width.
  const Real half_tan = 0.5 * std::min(view->GetWidth(), view->GetHeight()) / view->GetWidth();
  m.off = centre - m.v3 * (radius / half_tan * 1.1);
  view->SetCamera(m, 36.0);
}

Bool WritePng(const Filename& file, LONG width, LONG height, const std::vector<std::uint8_t>& rgb, String* error) {
  auto fail = [&](const String& why) {
    if (error) *error = why;
    return false;
  };
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3)
    return fail("picture size does not match its pixels");
  const String path = file.GetString();
  if (path.empty()) return fail("no file name for the picture");
#if !CARSIM_HAS_PNG
  return fail("cannot write " + path + ": this build of the host has no PNG output");
#else
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return fail("cannot make a " + String::LongToString(width) + " x " + String::LongToString(height) +
                " picture for " + path + ": " + cairo_status_to_string(cairo_surface_status(surface.get())));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) {
      const std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      const std::uint32_t px = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
      std::memcpy(data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, &px, 4);
    }
  cairo_surface_mark_dirty(surface.get());
  const cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
  if (status == CAIRO_STATUS_WRITE_ERROR) return fail("cannot write " + path);
  if (status != CAIRO_STATUS_SUCCESS) return fail("cannot write " + path + ": " + cairo_status_to_string(status));
  return true;
#endif
}

Bool RenderFrame(BaseDocument* doc, LONG frame, const Filename& out, const RenderOptions& opts, String* error,
                 BaseDraw* record) {
  if (!doc) {
    if (error) *error = "no document";
    return false;
  }
  if (opts.width <= 0 || opts.height <= 0 || opts.width > 16384 || opts.height > 16384) {
    if (error) *error = "picture size must be 1 to 16384 pixels";
    return false;
  }
  doc->SetTime(BaseTime(static_cast<Real>(frame), static_cast<Real>(doc->GetFps())));
  doc->ExecutePasses(nullptr, true, true, true);
  BaseDraw bd(opts.width, opts.height);
  FrameDocument(doc, &bd);
  DrawDocument(doc, &bd);
  const Bool ok = WritePng(out, bd.GetWidth(), bd.GetHeight(), bd.Rasterize(GetViewColor(VIEWCOLOR_BACKGROUND)), error);
  if (record) *record = bd;
  return ok;
}

}  // namespace hostdraw

LONG BaseObject::GetHighlightHandle(BaseObject*, BaseDraw* bd) { return bd ? bd->GetHighlightHandleIndex() : -1; }
