#include "scene_build/draw_prims.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// ---------------------------------------------------------------- bitmap font

// One byte per row from the top; the five highest bits are the pixels from
// left to right.
constexpr std::uint8_t kGlyphs[kBitmapGlyphCount][8] = {
    {0x00, 0x70, 0x88, 0x88, 0x88, 0x88, 0x88, 0x70},  // 0
    {0x00, 0x20, 0x60, 0x20, 0x20, 0x20, 0x20, 0x20},  // 1
    {0x00, 0x70, 0x88, 0x08, 0x30, 0x40, 0x80, 0xF8},  // 2
    {0x00, 0x70, 0x88, 0x08, 0x30, 0x08, 0x88, 0x70},  // 3
    {0x00, 0x10, 0x30, 0x50, 0x90, 0xF8, 0x10, 0x10},  // 4
    {0x00, 0xF8, 0x80, 0x80, 0xF0, 0x08, 0x08, 0xF0},  // 5
    {0x00, 0x70, 0x80, 0x80, 0xF0, 0x88, 0x88, 0x70},  // 6
    {0x00, 0xF8, 0x08, 0x10, 0x20, 0x20, 0x40, 0x40},  // 7
    {0x00, 0x70, 0x88, 0x88, 0x70, 0x88, 0x88, 0x70},  // 8
    {0x00, 0x70, 0x88, 0x88, 0x78, 0x08, 0x10, 0x60},  // 9
    {0x00, 0x70, 0x88, 0x88, 0x88, 0xF8, 0x88, 0x88},  // A
    {0x00, 0xF0, 0x88, 0x88, 0xF0, 0x88, 0x88, 0xF0},  // B
    {0x00, 0x70, 0x88, 0x80, 0x80, 0x80, 0x88, 0x70},  // C
    {0x00, 0xF0, 0x88, 0x88, 0x88, 0x88, 0x88, 0xF0},  // D
    {0x00, 0xF8, 0x80, 0x80, 0xF0, 0x80, 0x80, 0xF8},  // E
    {0x00, 0xF8, 0x80, 0x80, 0xF0, 0x80, 0x80, 0x80},  // F
    {0x00, 0x70, 0x88, 0x80, 0x98, 0x88, 0x88, 0x70},  // G
    {0x00, 0x88, 0x88, 0x88, 0xF8, 0x88, 0x88, 0x88},  // H
    {0x00, 0xF8, 0x20, 0x20, 0x20, 0x20, 0x20, 0xF8},  // I
    {0x00, 0x08, 0x08, 0x08, 0x08, 0x88, 0x88, 0x70},  // J
    {0x00, 0x88, 0x90, 0xA0, 0xC0, 0xA0, 0x90, 0x88},  // K
    {0x00, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xF8},  // L
    {0x00, 0x88, 0xD8, 0xA8, 0x88, 0x88, 0x88, 0x88},  // M
    {0x00, 0x88, 0x88, 0xC8, 0xA8, 0x98, 0x88, 0x88},  // N
    {0x00, 0x70, 0x88, 0x88, 0x88, 0x88, 0x88, 0x70},  // O
    {0x00, 0xF0, 0x88, 0x88, 0x88, 0xF0, 0x80, 0x80},  // P
    {0x00, 0x70, 0x88, 0x88, 0x88, 0xA8, 0x90, 0x68},  // Q
    {0x00, 0xF0, 0x88, 0x88, 0xF0, 0xA0, 0x90, 0x88},  // R
    {0x00, 0x70, 0x88, 0x80, 0x70, 0x08, 0x88, 0x70},  // S
    {0x00, 0xF8, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20},  // T
    {0x00, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x70},  // U
    {0x00, 0x88, 0x88, 0x88, 0x88, 0x88, 0x50, 0x20},  // V
    {0x00, 0x88, 0x88, 0x88, 0xA8, 0xA8, 0x50, 0x50},  // W
    {0x00, 0x88, 0x88, 0x50, 0x20, 0x50, 0x88, 0x88},  // X
    {0x00, 0x88, 0x88, 0x50, 0x20, 0x20, 0x20, 0x20},  // Y
    {0x00, 0xF8, 0x08, 0x10, 0x20, 0x40, 0x80, 0xF8},  // Z
    {0x38, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x38},  // [
    {0x00, 0x08, 0x08, 0x10, 0x20, 0x40, 0x80, 0x80},  // slash (and backslash)
    {0x38, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x38},  // ]
};

// The glyph of a character, or -1.
int GlyphOf(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  switch (c) {
    case '[': return 36;
    case '/':
    case '\\': return 37;
    case ']': return 38;
    default: return -1;
  }
}

void DrawGlyph(int glyph, Real x, Real y, BaseDraw* bd) {
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 5; ++col)
      if (kGlyphs[glyph][row] & (0x80 >> col)) bd->DrawPoint2D(Vector(x + col, y + row, 0.0));
}

// ---------------------------------------------------------------- vector digits

// The digits are thick strokes along centre lines (polylines, open or
// closed) turned into triangle strips with mitred joins, so a curve has no
// gaps between its pieces.
constexpr Real kUMax = kVectorDigitUMax * 0.001;
constexpr Real kVMax = kVectorDigitVMax * 0.001;
constexpr Real kHalfStroke = 0.034;

struct Point2 {
  Real u, v;
};
struct Stroke {
  std::vector<Point2> points;
  bool closed = false;
};

struct DigitTables {
  std::vector<Point2> vertices;
  std::vector<std::array<LONG, 3>> triangles;
  std::array<LONG, 11> start{};
};

// n + 1 points of an elliptic arc from angle a0 to a1 (degrees).
std::vector<Point2> Arc(Real cu, Real cv, Real ru, Real rv, Real a0, Real a1, int n) {
  std::vector<Point2> out;
  for (int i = 0; i <= n; ++i) {
    const Real a = (a0 + (a1 - a0) * i / n) * pi / 180.0;
    out.push_back({cu + ru * std::cos(a), cv + rv * std::sin(a)});
  }
  return out;
}
Stroke Loop(Real cu, Real cv, Real ru, Real rv, int n) {
  Stroke s{Arc(cu, cv, ru, rv, 90.0, 90.0 - 360.0, n), true};
  s.points.pop_back();  // the last point repeats the first
  return s;
}
Stroke Line(std::vector<Point2> points) { return Stroke{std::move(points), false}; }
std::vector<Point2> Join(std::vector<Point2> a, const std::vector<Point2>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Stroke> DigitStrokes(int d) {
  constexpr Real L = -0.142, R = 0.142, B = 0.034, T = 0.577;
  switch (d) {
    case 0: return {Loop(0.0, 0.3055, R, 0.2715, 24)};
    case 1: return {Line({{0.02, B}, {0.02, T}, {-0.09, 0.47}})};
    case 2: return {Line(Join(Arc(0.0, 0.43, R, 0.147, 160.0, -35.0, 12), {{L, B}, {R, B}}))};
    case 3: return {Line(Join(Arc(0.0, 0.447, 0.125, 0.13, 150.0, -90.0, 12), Arc(0.0, 0.176, R, 0.142, 90.0, -150.0, 14)))};
    case 4: return {Line({{R, 0.19}, {L, 0.19}, {0.06, T}}), Line({{0.06, T}, {0.06, B}})};
    case 5: return {Line(Join({{0.13, T}, {-0.11, T}, {-0.125, 0.33}}, Arc(0.0, 0.19, R, 0.156, 130.0, -150.0, 14)))};
    case 6: return {Loop(0.0, 0.176, R, 0.142, 20), Line(Arc(0.0, 0.30, R, 0.277, 60.0, 200.0, 12))};
    case 7: return {Line({{L, T}, {R, T}, {-0.03, B}})};
    case 8: return {Loop(0.0, 0.447, 0.12, 0.13, 18), Loop(0.0, 0.176, R, 0.142, 20)};
    case 9: {
      // The six turned upside down.
      std::vector<Stroke> s = DigitStrokes(6);
      for (Stroke& st : s)
        for (Point2& p : st.points) p = {-p.u, kVMax - p.v};
      return s;
    }
    default: return {};
  }
}

void AddStroke(const Stroke& s, DigitTables& t) {
  const size_t n = s.points.size();
  if (n < 2) return;
  auto dir = [&](size_t a, size_t b) {
    const Real du = s.points[b].u - s.points[a].u, dv = s.points[b].v - s.points[a].v;
    const Real len = std::sqrt(du * du + dv * dv);
    return len > 0.0 ? Point2{du / len, dv / len} : Point2{1.0, 0.0};
  };
  const LONG base = static_cast<LONG>(t.vertices.size());
  for (size_t i = 0; i < n; ++i) {
    const bool first = i == 0, last = i + 1 == n;
    Point2 din = first ? (s.closed ? dir(n - 1, 0) : dir(0, 1)) : dir(i - 1, i);
    Point2 dout = last ? (s.closed ? dir(n - 1, 0) : dir(n - 2, n - 1)) : dir(i, i + 1);
    // Mitre: the offset along the bisector's normal reaching the stroke's
    // edge on both sides, held to twice the half width at sharp corners.
    Point2 tan{din.u + dout.u, din.v + dout.v};
    Real tl = std::sqrt(tan.u * tan.u + tan.v * tan.v);
    if (tl < 1e-9) tan = din, tl = 1.0;
    const Point2 nrm{-tan.v / tl, tan.u / tl};
    const Real cosHalf = std::max(0.5, nrm.u * -din.v + nrm.v * din.u);
    const Real off = kHalfStroke / cosHalf;
    const Point2& p = s.points[i];
    t.vertices.push_back({p.u + nrm.u * off, p.v + nrm.v * off});
    t.vertices.push_back({p.u - nrm.u * off, p.v - nrm.v * off});
  }
  const size_t segments = s.closed ? n : n - 1;
  for (size_t i = 0; i < segments; ++i) {
    const LONG a = base + static_cast<LONG>(2 * i), b = base + static_cast<LONG>(2 * ((i + 1) % n));
    t.triangles.push_back({a, a + 1, b + 1});
    t.triangles.push_back({a, b + 1, b});
  }
}

const DigitTables& Digits() {
  static const DigitTables tables = [] {
    DigitTables t;
    for (int d = 0; d < 10; ++d) {
      t.start[d] = static_cast<LONG>(t.triangles.size());
      for (const Stroke& s : DigitStrokes(d)) AddStroke(s, t);
    }
    t.start[10] = static_cast<LONG>(t.triangles.size());
    // Mitred corners may poke out of the digit cell; keep them inside it.
    for (Point2& p : t.vertices) p = {std::clamp(p.u, -kUMax, kUMax), std::clamp(p.v, 0.0, kVMax)};
    return t;
  }();
  return tables;
}

}  // namespace

// ---------------------------------------------------------------- text

void DrawBitmapText(const String& text, Vector& position, BaseDraw* bd) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // One advance per character: the rest of a UTF-8 sequence adds nothing.
    if ((c & 0xC0) == 0x80) continue;
    if (bd) {
      if (c == '.') {
        bd->DrawPoint2D(Vector(position.x + 3, position.y + 7, 0.0));
      } else if (c == '-') {
        bd->DrawLine2D(Vector(position.x + 1, position.y + 3, 0.0), Vector(position.x + 3, position.y + 3, 0.0));
      } else if (const int g = GlyphOf(c); g >= 0) {
        DrawGlyph(g, position.x, position.y, bd);
      }
    }
    position.x += kBitmapCharAdvance;
  }
}

// ---------------------------------------------------------------- numbers

const LONG* VectorDigitStart() { return Digits().start.data(); }
LONG VectorDigitTriangleCount() { return static_cast<LONG>(Digits().triangles.size()); }
const LONG* VectorDigitTriangle(LONG i) {
  const DigitTables& t = Digits();
  return i >= 0 && i < static_cast<LONG>(t.triangles.size()) ? t.triangles[i].data() : nullptr;
}
Vector VectorDigitVertex(LONG k) {
  const DigitTables& t = Digits();
  if (k < 0 || k >= static_cast<LONG>(t.vertices.size())) return Vector();
  return Vector(t.vertices[k].u, t.vertices[k].v, 0.0);
}

void DrawVectorDigit(LONG firstTriangle, LONG triangleCount, Real size, Real x, Real y, const Matrix& m, BaseDraw* bd,
                     const Vector& colour) {
  if (!bd) return;
  const DigitTables& t = Digits();
  const LLONG total = static_cast<LLONG>(t.triangles.size());
  const LLONG from = std::max<LLONG>(firstTriangle, 0);
  const LLONG to = std::min<LLONG>(static_cast<LLONG>(firstTriangle) + triangleCount, total);
  const Vector colours[3] = {colour, colour, colour};
  for (LLONG i = from; i < to; ++i) {
    Vector p[3];
    for (int k = 0; k < 3; ++k) {
      const Point2& q = t.vertices[t.triangles[i][k]];
      p[k] = m.off + m.v1 * (size * q.u + x) + m.v3 * (size * q.v + y);
    }
    bd->DrawPolygon(p, colours, false);
  }
}

void DrawVectorNumber(LONG value, Real size, Real advance, Real x, Real y, const Matrix& m, BaseDraw* bd,
                      const Vector& colour) {
  const String text = String::LongToString(value).Left(15);
  const LONG* start = VectorDigitStart();
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    const int d = c - '0';
    DrawVectorDigit(start[d], start[d + 1] - start[d], size, x, y, m, bd, colour);
    x += advance;
  }
}

// ---------------------------------------------------------------- shapes

void DrawWireBox(const Vector& size, const Matrix& m, BaseDraw* bd, const Vector& colour) {
  if (!bd) return;
  const Vector h = size * 0.5;
  const Real sx[4] = {-1, 1, 1, -1}, sz[4] = {-1, -1, 1, 1};
  Vector c[8];
  for (int k = 0; k < 8; ++k) c[k] = m * Vector(sx[k % 4] * h.x, (k < 4 ? -1.0 : 1.0) * h.y, sz[k % 4] * h.z);
  bd->SetPen(colour, 0);
  for (int k = 0; k < 4; ++k) {
    bd->DrawLine(c[k], c[(k + 1) % 4], NOCLIP_D);
    bd->DrawLine(c[4 + k], c[4 + (k + 1) % 4], NOCLIP_D);
  }
  for (int k = 0; k < 4; ++k) bd->DrawLine(c[k], c[k + 4], NOCLIP_D);
}

void DrawFanShape(Real size, const Matrix& m, BaseDraw* bd, const Vector& colour) {
  if (!bd) return;
  // A circle of radius 100 in the x-z plane, 30 degrees apart, closed.
  static constexpr Real kDisc[13][3] = {
      {0, 0, 100},      {50, 0, 86.603},   {86.603, 0, 50},   {100, 0, 0},       {86.603, 0, -50},
      {50, 0, -86.603}, {0, 0, -100},      {-50, 0, -86.603}, {-86.603, 0, -50}, {-100, 0, 0},
      {-86.603, 0, 50}, {-50, 0, 86.603},  {0, 0, 100},
  };
  const Real s = size * 0.01;
  const Vector colours[3] = {colour, colour, colour};
  for (int k = 0; k < 12; ++k) {
    const Vector p[3] = {m * (Vector(kDisc[k][0], kDisc[k][1], kDisc[k][2]) * s),
                         m * (Vector(kDisc[k + 1][0], kDisc[k + 1][1], kDisc[k + 1][2]) * s), m.off};
    bd->DrawPolygon(p, colours, false);
  }
}
