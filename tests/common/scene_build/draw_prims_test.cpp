// The small drawing routines: bitmap text, vector digits, wire box and disc.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "scene_build/draw_prims.h"

namespace {

using Pixel = std::pair<LONG, LONG>;

std::set<Pixel> Points(const BaseDraw& bd) {
  std::set<Pixel> out;
  for (const DrawCall& c : bd.Calls())
    if (c.kind == DrawCall::kPoint2D)
      out.insert({static_cast<LONG>(c.points[0].x), static_cast<LONG>(c.points[0].y)});
  return out;
}

// The pixels of a glyph written as rows of '0' and '1', placed at (x, y).
std::set<Pixel> Rows(const std::vector<std::string>& rows, LONG x, LONG y) {
  std::set<Pixel> out;
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      if (rows[r][c] == '1') out.insert({x + static_cast<LONG>(c), y + static_cast<LONG>(r)});
  return out;
}

std::set<Pixel> Text(const String& text, Vector& at) {
  BaseDraw bd;
  DrawBitmapText(text, at, &bd);
  return Points(bd);
}

TEST(DrawPrimsText, GlyphsMatchTheirRows) {
  const struct {
    const char* text;
    std::vector<std::string> rows;
  } cases[] = {
      {"A", {"00000", "01110", "10001", "10001", "10001", "11111", "10001", "10001"}},
      {"Q", {"00000", "01110", "10001", "10001", "10001", "10101", "10010", "01101"}},
      {"7", {"00000", "11111", "00001", "00010", "00100", "00100", "01000", "01000"}},
      {"[", {"00111", "00100", "00100", "00100", "00100", "00100", "00100", "00111"}},
      {"/", {"00000", "00001", "00001", "00010", "00100", "01000", "10000", "10000"}},
      {"\\", {"00000", "00001", "00001", "00010", "00100", "01000", "10000", "10000"}},
  };
  for (const auto& c : cases) {
    Vector at(40, 20, 0);
    EXPECT_EQ(Text(c.text, at), Rows(c.rows, 40, 20)) << c.text;
    EXPECT_EQ(at.x, 46.0);
  }
}

TEST(DrawPrimsText, DecimalPointAndAdvance) {
  Vector at(100, 50, 0);
  const std::set<Pixel> drawn = Text("12.5", at);
  EXPECT_EQ(at.x, 124.0);
  EXPECT_EQ(at.y, 50.0);
  Vector one(100, 50, 0), two(106, 50, 0), five(118, 50, 0);
  std::set<Pixel> expected = Text("1", one);
  for (const Pixel& p : Text("2", two)) expected.insert(p);
  for (const Pixel& p : Text("5", five)) expected.insert(p);
  expected.insert({115, 57});
  EXPECT_EQ(drawn, expected);
}

TEST(DrawPrimsText, CharactersWithoutGlyphAdvanceOnly) {
  const struct {
    const char* text;
    Real advance;
  } cases[] = {
      {"abc", 18},
      {"   ", 18},
      {"%?", 12},
      {"\xC3\xA4\xC3\x84", 12},  // two letters of two bytes each: one place apiece
  };
  for (const auto& c : cases) {
    BaseDraw bd;
    Vector at(0, 0, 0);
    DrawBitmapText(c.text, at, &bd);
    EXPECT_EQ(bd.Calls().size(), 0u) << c.text;
    EXPECT_EQ(at.x, c.advance) << c.text;
  }
}

TEST(DrawPrimsText, MinusIsAShortLine) {
  BaseDraw bd;
  Vector at(10, 30, 0);
  DrawBitmapText("-", at, &bd);
  ASSERT_EQ(bd.Calls().size(), 1u);
  const DrawCall& c = bd.Calls()[0];
  EXPECT_EQ(c.kind, DrawCall::kLine2D);
  EXPECT_EQ(c.points[0], Vector(11, 33, 0));
  EXPECT_EQ(c.points[1], Vector(13, 33, 0));
}

// ---------------------------------------------------------------- vector digits

TEST(DrawPrimsDigits, TablesStayInTheDigitCell) {
  const LONG* start = VectorDigitStart();
  const LONG count = VectorDigitTriangleCount();
  EXPECT_EQ(start[0], 0);
  EXPECT_EQ(start[10], count);
  for (int d = 0; d < 10; ++d) EXPECT_LT(start[d], start[d + 1]) << "digit " << d << " has no triangles";
  for (LONG i = 0; i < count; ++i) {
    const LONG* t = VectorDigitTriangle(i);
    ASSERT_NE(t, nullptr);
    Vector p[3];
    for (int k = 0; k < 3; ++k) {
      p[k] = VectorDigitVertex(t[k]);
      EXPECT_LE(std::fabs(p[k].x), 0.176 + 1e-12);
      EXPECT_GE(p[k].y, 0.0);
      EXPECT_LE(p[k].y, 0.611 + 1e-12);
    }
    EXPECT_GT(std::fabs(Cross(p[1] - p[0], p[2] - p[0]).z), 1e-9) << "triangle " << i << " is flat";
  }
  EXPECT_EQ(VectorDigitTriangle(count), nullptr);
  EXPECT_EQ(VectorDigitTriangle(-1), nullptr);
}

TEST(DrawPrimsDigits, NumberSkipsTheSignAndAdvancesPerDigit) {
  const LONG* start = VectorDigitStart();
  BaseDraw bd;
  // A plane tilted off the axes: digits lie in m.v1 x m.v3 around m.off.
  const Matrix m(Vector(5, 6, 7), Vector(0, 0, -1), Vector(1, 0, 0), Vector(0, 1, 0));
  DrawVectorNumber(-12, 2.0, 3.0, 1.0, 0.5, m, &bd, Vector(1, 0, 0));
  const LONG ones = start[2] - start[1], twos = start[3] - start[2];
  ASSERT_EQ(bd.CountCalls(DrawCall::kPolygon), ones + twos);
  for (size_t i = 0; i < bd.Calls().size(); ++i) {
    const DrawCall& c = bd.Calls()[i];
    EXPECT_EQ(c.flags, 0);  // triangles, not quads
    const Real place = static_cast<LONG>(i) < ones ? 1.0 : 4.0;
    for (int k = 0; k < 3; ++k) {
      const Vector local = c.points[k] - m.off;
      EXPECT_NEAR(local.x, 0.0, 1e-12);  // nothing along m.v2
      const Real u = -local.z, v = local.y;
      EXPECT_LE(std::fabs(u - place), 2.0 * 0.176 + 1e-9);
      EXPECT_GE(v, 0.5 - 1e-9);
      EXPECT_LE(v, 0.5 + 2.0 * 0.611 + 1e-9);
      EXPECT_EQ(c.colors[k], Vector(1, 0, 0));
    }
  }
}

TEST(DrawPrimsDigits, RangesOutsideTheTableDrawOnlyWhatExists) {
  const LONG count = VectorDigitTriangleCount();
  const struct {
    LONG first, n, drawn;
  } cases[] = {
      {count - 1, 1000, 1}, {-5, 6, 1}, {count, 3, 0}, {0, -4, 0}, {0x7FFFFFF0, 0x7FFFFFF0, 0}, {-0x7FFFFFFF, 3, 0},
  };
  for (const auto& c : cases) {
    BaseDraw bd;
    DrawVectorDigit(c.first, c.n, 1.0, 0, 0, Matrix(), &bd, Vector(1, 1, 1));
    EXPECT_EQ(bd.CountCalls(DrawCall::kPolygon), c.drawn) << c.first << " " << c.n;
  }
}

// ---------------------------------------------------------------- shapes

TEST(DrawPrimsShapes, WireBoxHasTwelveEdgesOnItsCorners) {
  BaseDraw bd;
  const Matrix m(Vector(10, 20, 30), Vector(0, 0, 1), Vector(0, 1, 0), Vector(-1, 0, 0));
  DrawWireBox(Vector(4, 2, 6), m, &bd, Vector(0, 1, 0));
  ASSERT_EQ(bd.CountCalls(DrawCall::kLine), 12);
  std::set<std::vector<Real>> corners, ends;
  for (int k = 0; k < 8; ++k) {
    const Vector c = m * Vector(k & 1 ? 2 : -2, k & 2 ? 1 : -1, k & 4 ? 3 : -3);
    corners.insert({c.x, c.y, c.z});
  }
  std::set<std::pair<std::vector<Real>, std::vector<Real>>> edges;
  for (const DrawCall& c : bd.Calls()) {
    if (c.kind != DrawCall::kLine) continue;
    EXPECT_EQ(c.color, Vector(0, 1, 0));
    std::vector<Real> a{c.points[0].x, c.points[0].y, c.points[0].z}, b{c.points[1].x, c.points[1].y, c.points[1].z};
    ends.insert(a);
    ends.insert(b);
    // An edge joins corners that differ along exactly one axis of m.
    const Vector d = Vector(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
    const int axes = (std::fabs(Dot(d, m.v1)) > 1e-9) + (std::fabs(Dot(d, m.v2)) > 1e-9) + (std::fabs(Dot(d, m.v3)) > 1e-9);
    EXPECT_EQ(axes, 1);
    edges.insert(std::minmax(a, b));
  }
  EXPECT_EQ(ends, corners);
  EXPECT_EQ(edges.size(), 12u);
}

TEST(DrawPrimsShapes, FanIsAFilledDiscOfTwelveTriangles) {
  BaseDraw bd;
  const Matrix m(Vector(1, 2, 3), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  DrawFanShape(2.0, m, &bd, Vector(0, 0.2, 0.6));
  ASSERT_EQ(bd.CountCalls(DrawCall::kPolygon), 12);
  Real area = 0.0;
  for (const DrawCall& c : bd.Calls()) {
    EXPECT_EQ(c.points[2], m.off);
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR((c.points[k] - m.off).GetLength(), 2.0, 1e-4);
      EXPECT_NEAR(c.points[k].y, m.off.y, 1e-12);
      EXPECT_EQ(c.colors[k], Vector(0, 0.2, 0.6));
    }
    area += 0.5 * Cross(c.points[0] - m.off, c.points[1] - m.off).GetLength();
  }
  EXPECT_NEAR(area, 12.0, 1e-3);  // a regular dodecagon of radius 2
}

}  // namespace
