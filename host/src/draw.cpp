#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
struct Image {
  LONG w, h;
  std::vector<std::uint8_t> rgb;
  static std::uint8_t Byte(Real v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }
  void Plot(LONG x, LONG y, const Vector& c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    std::uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
    p[0] = Byte(c.x);
    p[1] = Byte(c.y);
    p[2] = Byte(c.z);
  }
  void Square(Real cx, Real cy, LONG half, const Vector& c) {
    const LONG x0 = static_cast<LONG>(std::floor(cx)), y0 = static_cast<LONG>(std::floor(cy));
    for (LONG y = y0 - half; y <= y0 + half; ++y)
      for (LONG x = x0 - half; x <= x0 + half; ++x) Plot(x, y, c);
  }
  // A line in pixel coordinates, clipped to the picture first so that far
  // away end points cost nothing.
  void Line(Vector a, Vector b, const Vector& c, LONG width) {
    Real t0 = 0.0, t1 = 1.0;
    const Real dx = b.x - a.x, dy = b.y - a.y;
    const Real lo_x = -width, hi_x = w + width, lo_y = -width, hi_y = h + width;
    auto clip = [&](Real p, Real q) {
      if (p == 0.0) return q >= 0.0;
      const Real r = q / p;
      if (p < 0.0) {
        if (r > t1) return false;
        t0 = std::max(t0, r);
      } else {
        if (r < t0) return false;
        t1 = std::min(t1, r);
      }
      return true;
    };
    if (!clip(-dx, a.x - lo_x) || !clip(dx, hi_x - a.x) || !clip(-dy, a.y - lo_y) || !clip(dy, hi_y - a.y)) return;
    const Vector p = a + (b - a) * t0, q = a + (b - a) * t1;
    const LONG steps = static_cast<LONG>(std::ceil(std::max(std::fabs(q.x - p.x), std::fabs(q.y - p.y)))) + 1;
    const LONG half = (width - 1) / 2;
    for (LONG i = 0; i <= steps; ++i) {
      const Vector s = p + (q - p) * (static_cast<Real>(i) / steps);
      Square(s.x, s.y, half, c);
    }
  }
  void Triangle(const Vector* s, const Vector* col) {
    const Real area = (s[1].x - s[0].x) * (s[2].y - s[0].y) - (s[2].x - s[0].x) * (s[1].y - s[0].y);
    if (std::fabs(area) < 1e-12) return;
    const LONG x0 = std::max<LONG>(0, static_cast<LONG>(std::floor(std::min({s[0].x, s[1].x, s[2].x}))));
    const LONG x1 = std::min<LONG>(w - 1, static_cast<LONG>(std::ceil(std::max({s[0].x, s[1].x, s[2].x}))));
    const LONG y0 = std::max<LONG>(0, static_cast<LONG>(std::floor(std::min({s[0].y, s[1].y, s[2].y}))));
    const LONG y1 = std::min<LONG>(h - 1, static_cast<LONG>(std::ceil(std::max({s[0].y, s[1].y, s[2].y}))));
    for (LONG y = y0; y <= y1; ++y)
      for (LONG x = x0; x <= x1; ++x) {
        const Real px = x + 0.5, py = y + 0.5;
        const Real w0 = ((s[1].x - px) * (s[2].y - py) - (s[2].x - px) * (s[1].y - py)) / area;
        const Real w1 = ((s[2].x - px) * (s[0].y - py) - (s[0].x - px) * (s[2].y - py)) / area;
        const Real w2 = 1.0 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        Plot(x, y, col[0] * w0 + col[1] * w1 + col[2] * w2);
      }
  }
};

// Clips a world segment to the space in front of the camera and projects it.
bool ProjectSegment(const BaseView& v, const Vector& a, const Vector& b, Vector& sa, Vector& sb) {
  constexpr Real kNear = 1e-3;
  const Matrix inv = Invert(v.GetMg());
  Vector ca = inv * a, cb = inv * b;
  if (ca.z < kNear && cb.z < kNear) return false;
  if (ca.z < kNear) ca = ca + (cb - ca) * ((kNear - ca.z) / (cb.z - ca.z));
  if (cb.z < kNear) cb = cb + (ca - cb) * ((kNear - cb.z) / (ca.z - cb.z));
  const Matrix cam = v.GetMg();
  sa = v.WS(cam * ca);
  sb = v.WS(cam * cb);
  return true;
}
}  // namespace

std::vector<std::uint8_t> BaseDraw::Rasterize(const Vector& background) const {
  Image img{width_, height_, std::vector<std::uint8_t>(static_cast<size_t>(width_) * height_ * 3)};
  for (LONG i = 0; i < width_ * height_; ++i) img.Plot(i % width_, i / width_, background);
  LONG line_width = 1, point_size = 1;
  auto line3d = [&](const Vector& a, const Vector& b, const Vector& c) {
    Vector sa, sb;
    if (ProjectSegment(*this, a, b, sa, sb)) img.Line(sa, sb, c, line_width);
  };
  for (const DrawCall& c : calls_) {
    switch (c.kind) {
      case DrawCall::kState:
        if (c.state == DrawCall::kLineWidth) line_width = c.flags;
        if (c.state == DrawCall::kPointSize) point_size = c.flags;
        break;
      case DrawCall::kLine: line3d(c.world[0], c.world[1], c.color); break;
      case DrawCall::kLine2D: img.Line(c.points[0], c.points[1], c.color, line_width); break;
      case DrawCall::kPoint2D: img.Square(c.points[0].x, c.points[0].y, (point_size - 1) / 2, c.color); break;
      case DrawCall::kCircle:
        for (size_t k = 0; k < c.world.size(); ++k) line3d(c.world[k], c.world[(k + 1) % c.world.size()], c.color);
        break;
      case DrawCall::kHandle: {
        const Vector s = WS(c.world[0]);
        if (s.z > 0) img.Square(s.x, s.y, std::clamp<LONG>(static_cast<LONG>(c.size), 0, 3) + 1, c.color);
        break;
      }
      case DrawCall::kBox: {
        const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                  {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        if (c.flags) {
          for (const auto& e : edges) line3d(c.world[e[0]], c.world[e[1]], c.color);
          break;
        }
        const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        for (const auto& f : faces) {
          Vector s[4];
          bool front = true;
          for (int k = 0; k < 4; ++k) {
            s[k] = WS(c.world[f[k]]);
            front = front && s[k].z > 0;
          }
          const Vector col[3] = {c.color, c.color, c.color};
          if (!front) continue;
          const Vector t1[3] = {s[0], s[1], s[2]}, t2[3] = {s[0], s[2], s[3]};
          img.Triangle(t1, col);
          img.Triangle(t2, col);
        }
        break;
      }
      case DrawCall::kPolygon: {
        Vector s[4];
        bool front = true;
        for (size_t k = 0; k < c.world.size(); ++k) {
          s[k] = WS(c.world[k]);
          front = front && s[k].z > 0;
        }
        if (!front) break;  // polygons reaching behind the camera are left out
        img.Triangle(s, c.colors.data());
        if (c.world.size() == 4) {
          const Vector t[3] = {s[0], s[2], s[3]};
          const Vector col[3] = {c.colors[0], c.colors[2], c.colors[3]};
          img.Triangle(t, col);
        }
        break;
      }
      default: break;
    }
  }
  return img.rgb;
}

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
  FILE* f = std::fopen(file.GetString().c_str(), "wb");
  if (!f) return fail("cannot write " + file.GetString());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(f);
    return fail("cannot encode " + file.GetString());
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (LONG y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * width * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(f) != 0) return fail("cannot write " + file.GetString());
  return true;
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
