#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host_geometry.h"
#include "host_services.h"
#include "scene_checks.h"

namespace {

// Owns an object for the length of a test.
struct Owned {
  BaseObject* op;
  explicit Owned(BaseObject* o) : op(o) {}
  ~Owned() { BaseObject::Free(op); }
};

SplineObject* MakeSpline(const std::vector<Vector>& pts, LONG type, bool closed) {
  SplineObject* sp = SplineObject::Alloc(static_cast<LONG>(pts.size()), type);
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, closed);
  for (size_t i = 0; i < pts.size(); ++i) sp->GetPointW()[i] = pts[i];
  return sp;
}

Real Length(const SplineObject* sp) {
  SplineLengthData* ld = SplineLengthData::Alloc();
  EXPECT_TRUE(ld->Init(sp, 0));
  Real l = ld->GetLength();
  SplineLengthData::Free(ld);
  return l;
}

BaseObject* CurrentState(BaseObject* op) {
  ModelingCommandData md;
  md.op = op;
  EXPECT_TRUE(SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, md));
  EXPECT_EQ(md.result->GetCount(), 1);
  return static_cast<BaseObject*>(md.result->GetIndex(0));
}

// ---------------------------------------------------------------- splines

TEST(GeometrySpline, StraightLineIsUniformAlongItsPoints) {
  // Three points on the x axis with spans of 100 and 300: the natural
  // parameter runs evenly per span, the uniform one evenly per length.
  Owned o(MakeSpline({{0, 0, 0}, {100, 0, 0}, {400, 0, 0}}, SPLINETYPE_LINEAR, false));
  auto* sp = static_cast<SplineObject*>(o.op);
  ExpectNear(sp->GetSplinePoint(0.5), Vector(100, 0, 0), 1e-12);
  ExpectNear(sp->GetSplinePoint(0.75), Vector(250, 0, 0), 1e-12);
  ExpectNear(sp->GetSplineTangent(0.3), Vector(1, 0, 0), 1e-12);
  SplineLengthData* ld = SplineLengthData::Alloc();
  ASSERT_TRUE(ld->Init(sp));
  EXPECT_NEAR(ld->GetLength(), 400.0, 1e-9);
  EXPECT_NEAR(ld->UniformToNatural(0.25), 0.5, 1e-9);   // 100 of 400
  EXPECT_NEAR(ld->UniformToNatural(0.625), 0.75, 1e-9);  // 250 of 400
  EXPECT_NEAR(ld->NaturalToUniform(0.75), 0.625, 1e-9);
  SplineLengthData::Free(ld);
  EXPECT_EQ(ld, nullptr);
}

TEST(GeometrySpline, ClosedSquare) {
  const Real a = 50;
  Owned o(MakeSpline({{0, 0, 0}, {a, 0, 0}, {a, 0, a}, {0, 0, a}}, SPLINETYPE_LINEAR, true));
  auto* sp = static_cast<SplineObject*>(o.op);
  EXPECT_NEAR(Length(sp), 4 * a, 1e-9);
  // The closing span runs from the last point back to the first.
  ExpectNear(sp->GetSplinePoint(0.875), Vector(0, 0, a / 2), 1e-12);
  ExpectNear(sp->GetSplineTangent(0.875), Vector(0, 0, -1), 1e-12);
  ExpectNear(sp->GetSplinePoint(1.0), Vector(0, 0, 0), 1e-12);
  // Out-of-range and NaN parameters are clamped.
  ExpectNear(sp->GetSplinePoint(-3.0), Vector(0, 0, 0), 1e-12);
  ExpectNear(sp->GetSplinePoint(std::nan("")), Vector(0, 0, 0), 1e-12);

  SplineLengthData* ld = SplineLengthData::Alloc();
  ASSERT_TRUE(ld->Init(sp));
  for (Real u : {0.1, 0.375, 0.6, 0.99}) EXPECT_NEAR(ld->UniformToNatural(u), u, 1e-9);
  SplineLengthData::Free(ld);
}

TEST(GeometrySpline, CircleApproximations) {
  const Real r = 200;
  // The circle primitive becomes a closed Bezier spline; with four spans its
  // points stay within 3e-4 r of the circle and its length within 2e-4.
  Owned circle(BaseObject::Alloc(Osplinecircle));
  circle.op->GetDataInstance()->SetReal(PRIM_CIRCLE_RADIUS, r);
  circle.op->GetDataInstance()->SetReal(PRIM_SPLINE_ANGLE, pi / 2);
  Owned state(CurrentState(circle.op));
  auto* sp = dynamic_cast<SplineObject*>(state.op);
  ASSERT_NE(sp, nullptr);
  EXPECT_EQ(sp->GetPointCount(), 4);
  EXPECT_TRUE(sp->IsClosed());
  EXPECT_EQ(sp->GetInterpolationType(), SPLINETYPE_BEZIER);
  for (int i = 0; i <= 100; ++i) {
    Vector p = sp->GetSplinePoint(i / 100.0);
    EXPECT_NEAR(p.GetLength(), r, 3e-4 * r);
    EXPECT_NEAR(p.z, 0.0, 1e-12);  // XY plane
    // The tangent is perpendicular to the radius on a circle.
    EXPECT_NEAR(Dot(sp->GetSplineTangent(i / 100.0), p.GetNormalized()), 0.0, 2e-3);
  }
  EXPECT_NEAR(Length(sp), 2 * pi * r, 2e-4 * 2 * pi * r);
  // With the default eight spans the length is within 1e-5.
  circle.op->GetDataInstance()->SetReal(PRIM_SPLINE_ANGLE, pi / 4);
  Owned fine(CurrentState(circle.op));
  EXPECT_EQ(static_cast<SplineObject*>(fine.op)->GetPointCount(), 8);
  EXPECT_NEAR(Length(static_cast<SplineObject*>(fine.op)), 2 * pi * r, 1e-5 * 2 * pi * r);

  // A cubic spline through 64 points of the circle: within 1e-5.
  std::vector<Vector> pts;
  for (int i = 0; i < 64; ++i) pts.push_back(Vector(r * std::cos(2 * pi * i / 64), 0, r * std::sin(2 * pi * i / 64)));
  Owned cubic(MakeSpline(pts, SPLINETYPE_CUBIC, true));
  EXPECT_NEAR(Length(static_cast<SplineObject*>(cubic.op)), 2 * pi * r, 1e-5 * 2 * pi * r);
}

TEST(GeometrySpline, HelixPointsAndLength) {
  // Radius 100, two turns, height 200, axis y: length sqrt((4 pi r)^2 + h^2).
  Owned helix(BaseObject::Alloc(Ohelix));
  BaseContainer* bc = helix.op->GetDataInstance();
  bc->SetReal(PRIM_HELIX_RADIUS1, 100);
  bc->SetReal(PRIM_HELIX_RADIUS2, 100);
  bc->SetReal(PRIM_HELIX_START, 0);
  bc->SetReal(PRIM_HELIX_END, 4 * pi);
  bc->SetReal(PRIM_HELIX_HEIGHT, 200);
  Owned state(CurrentState(helix.op));
  auto* sp = dynamic_cast<SplineObject*>(state.op);
  ASSERT_NE(sp, nullptr);
  EXPECT_FALSE(sp->IsClosed());
  ExpectNear(sp->GetSplinePoint(0), Vector(100, 0, 0), 1e-9);
  ExpectNear(sp->GetSplinePoint(1), Vector(100, 200, 0), 1e-9);
  ExpectNear(sp->GetSplinePoint(0.5), Vector(100, 100, 0), 1e-9);  // a whole turn, half the height
  ExpectNear(sp->GetSplinePoint(0.125), Vector(0, 25, 100), 1e-9);  // a quarter turn
  const Real exact = std::sqrt(std::pow(4 * pi * 100, 2) + 200 * 200);
  EXPECT_NEAR(Length(sp), exact, 1e-4 * exact);
}

TEST(GeometrySpline, TangentAndArcLengthAgree) {
  // A Bezier span with uneven handles: stepping evenly in the uniform
  // parameter moves evenly along the curve, in the tangent's direction.
  Owned o(MakeSpline({{0, 0, 0}, {300, 100, 0}, {400, 0, 200}}, SPLINETYPE_BEZIER, false));
  auto* sp = static_cast<SplineObject*>(o.op);
  Tangent* t = sp->GetTangentW();
  t[0].vr = Vector(200, 0, 0);
  t[1].vl = Vector(-10, -50, 0);
  t[1].vr = Vector(10, 50, 0);
  t[2].vl = Vector(0, 0, -150);
  SplineLengthData* ld = SplineLengthData::Alloc();
  ASSERT_TRUE(ld->Init(sp));
  const Real L = ld->GetLength();
  const int n = 50, sub = 400;
  Real prev_t = 0;
  for (int i = 1; i <= n; ++i) {
    Real u = static_cast<Real>(i) / n;
    Real tt = ld->UniformToNatural(u);
    EXPECT_GT(tt, prev_t);
    // A fine polyline between the two places is L / n long, and it starts
    // off in the direction of the tangent.
    Real len = 0;
    Vector a = sp->GetSplinePoint(prev_t);
    Vector first = sp->GetSplinePoint(prev_t + (tt - prev_t) / sub) - a;
    for (int k = 1; k <= sub; ++k) {
      Vector b = sp->GetSplinePoint(prev_t + (tt - prev_t) * k / sub);
      len += (b - a).GetLength();
      a = b;
    }
    EXPECT_NEAR(len, L / n, 1e-4 * L / n);
    EXPECT_GT(Dot(first.GetNormalized(), sp->GetSplineTangent(prev_t)), 0.999);
    EXPECT_NEAR(ld->NaturalToUniform(tt), u, 1e-9);
    prev_t = tt;
  }
  SplineLengthData::Free(ld);
}

TEST(GeometrySpline, UniformToNaturalIsMonotoneAndClamped) {
  Owned o(MakeSpline({{0, 0, 0}, {10, 0, 0}, {10, 500, 0}, {0, 600, 30}}, SPLINETYPE_CUBIC, false));
  SplineLengthData* ld = SplineLengthData::Alloc();
  ASSERT_TRUE(ld->Init(static_cast<SplineObject*>(o.op)));
  EXPECT_EQ(ld->UniformToNatural(-0.5), 0.0);
  EXPECT_EQ(ld->UniformToNatural(0.0), 0.0);
  EXPECT_EQ(ld->UniformToNatural(1.0), 1.0);
  EXPECT_EQ(ld->UniformToNatural(7.0), 1.0);
  EXPECT_EQ(ld->UniformToNatural(std::nan("")), 0.0);
  Real prev = 0;
  for (int i = 1; i <= 1000; ++i) {
    Real t = ld->UniformToNatural(i / 1000.0);
    EXPECT_GE(t, prev);
    prev = t;
  }
  SplineLengthData::Free(ld);
}

TEST(GeometrySpline, LengthDataInitRefusesWhatItCannotMeasure) {
  SplineLengthData* ld = SplineLengthData::Alloc();
  EXPECT_FALSE(ld->Init(nullptr));
  Owned empty(SplineObject::Alloc(0, SPLINETYPE_LINEAR));
  EXPECT_FALSE(ld->Init(static_cast<SplineObject*>(empty.op)));
  Owned one(MakeSpline({{1, 2, 3}}, SPLINETYPE_LINEAR, false));
  EXPECT_FALSE(ld->Init(static_cast<SplineObject*>(one.op), 1));  // no segment 1
  ASSERT_TRUE(ld->Init(static_cast<SplineObject*>(one.op), 0));
  EXPECT_EQ(ld->GetLength(), 0.0);
  EXPECT_EQ(ld->UniformToNatural(0.4), 0.4);
  SplineLengthData::Free(ld);
  ExpectNear(static_cast<SplineObject*>(empty.op)->GetSplinePoint(0.5), Vector(), 0);
}

TEST(GeometrySpline, SegmentsAreEvaluatedSeparately) {
  Owned o(MakeSpline({{0, 0, 0}, {10, 0, 0}, {0, 5, 0}, {0, 5, 40}, {0, 5, 80}}, SPLINETYPE_LINEAR, false));
  auto* sp = static_cast<SplineObject*>(o.op);
  ASSERT_TRUE(sp->ResizeObject(5, 2));
  sp->GetSegmentW()[0].cnt = 2;
  sp->GetSegmentW()[1].cnt = 3;
  EXPECT_EQ(sp->GetSegmentCount(), 2);
  ExpectNear(sp->GetSplinePoint(0.5, 0), Vector(5, 0, 0), 1e-12);
  ExpectNear(sp->GetSplinePoint(0.75, 1), Vector(0, 5, 60), 1e-12);
  ExpectNear(sp->GetSplinePoint(0.5, 2), Vector(), 0);
  SplineLengthData* ld = SplineLengthData::Alloc();
  ASSERT_TRUE(ld->Init(sp, 1));
  EXPECT_NEAR(ld->GetLength(), 80.0, 1e-9);
  SplineLengthData::Free(ld);
}

TEST(GeometrySpline, ResizeObjectKeepsPoints) {
  Owned o(MakeSpline({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, SPLINETYPE_BEZIER, false));
  auto* sp = static_cast<SplineObject*>(o.op);
  sp->GetTangentW()[1].vl = Vector(-1, 0, 0);
  ASSERT_TRUE(sp->ResizeObject(5, 1));
  EXPECT_EQ(sp->GetPointCount(), 5);
  EXPECT_EQ(sp->GetTangentCount(), 5);
  ASSERT_EQ(sp->GetSegmentCount(), 1);
  EXPECT_EQ(sp->GetSegmentR()[0].cnt, 5);
  ExpectNear(sp->GetPointR()[2], Vector(7, 8, 9), 0);
  ExpectNear(sp->GetPointR()[4], Vector(), 0);
  ExpectNear(sp->GetTangentR()[1].vl, Vector(-1, 0, 0), 0);
  ASSERT_TRUE(sp->ResizeObject(2, 1));
  ExpectNear(sp->GetPointR()[1], Vector(4, 5, 6), 0);
  ASSERT_TRUE(sp->ResizeObject(0, 0));
  EXPECT_EQ(sp->GetPointCount(), 0);
  EXPECT_EQ(sp->GetPointR(), nullptr);
  EXPECT_FALSE(sp->ResizeObject(-1, 0));

  Owned p(PolygonObject::Alloc(3, 1));
  auto* poly = static_cast<PolygonObject*>(p.op);
  poly->GetPointW()[2] = Vector(1, 1, 1);
  poly->GetPolygonW()[0] = CPolygon(0, 1, 2);
  ASSERT_TRUE(poly->ResizeObject(4, 2));
  ExpectNear(poly->GetPointR()[2], Vector(1, 1, 1), 0);
  EXPECT_EQ(poly->GetPolygonR()[0], CPolygon(0, 1, 2, 2));
  EXPECT_EQ(poly->GetPolygonR()[1], CPolygon());
}

TEST(GeometrySpline, LineObjectBelongsToTheCaller) {
  Owned circle(BaseObject::Alloc(Osplinecircle));
  circle.op->GetDataInstance()->SetReal(PRIM_SPLINE_ANGLE, pi / 2);
  Owned state(CurrentState(circle.op));
  auto* sp = static_cast<SplineObject*>(state.op);
  LineObject* line = sp->GetLineObject(nullptr, 1.0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->GetType(), Oline);
  EXPECT_EQ(line->GetPointCount(), 4 * 16);  // closed: no repeated first point
  ASSERT_EQ(line->GetSegmentCount(), 1);
  EXPECT_TRUE(line->GetSegmentR()[0].closed);
  EXPECT_EQ(line->GetTagDataCount(Tpoint), 64);
  ExpectNear(line->GetPointR()[16], sp->GetSplinePoint(0.25), 1e-9);
  BaseObject* b = line;
  BaseObject::Free(b);  // the caller frees it; ASan reports a leak otherwise

  // A linear open spline gives its own points.
  Owned lin(MakeSpline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, SPLINETYPE_LINEAR, false));
  LineObject* l2 = static_cast<SplineObject*>(lin.op)->GetLineObject(nullptr, 4.0);
  ASSERT_EQ(l2->GetPointCount(), 3);
  EXPECT_FALSE(l2->GetSegmentR()[0].closed);
  b = l2;
  BaseObject::Free(b);
}

// ---------------------------------------------------------------- tags and boxes

TEST(GeometryObjects, TagDataThroughTheObject) {
  Owned p(PolygonObject::Alloc(4, 1));
  auto* poly = static_cast<PolygonObject*>(p.op);
  EXPECT_EQ(poly->GetTagDataCount(Tpoint), 4);
  EXPECT_EQ(poly->GetTagDataR(Tpoint), poly->GetPointR());
  EXPECT_EQ(poly->GetTagDataCount(Tpolygon), 1);
  EXPECT_EQ(poly->GetTagDataR(Tvertexmap), nullptr);
  EXPECT_EQ(poly->GetTagDataCount(Tvertexmap), 0);
  auto* vmap = VariableTag::Alloc(Tvertexmap, 4);
  ASSERT_NE(vmap, nullptr);
  static_cast<Real*>(vmap->GetDataAddressW())[3] = 0.5;
  poly->InsertTag(vmap);
  EXPECT_EQ(poly->GetTagDataCount(Tvertexmap), 4);
  EXPECT_EQ(static_cast<const Real*>(poly->GetTagDataR(Tvertexmap))[3], 0.5);
  EXPECT_EQ(vmap->GetDataSize(), static_cast<LONG>(sizeof(Real)));
  EXPECT_EQ(VariableTag::Alloc(Tphong, 1), nullptr);
  EXPECT_EQ(VariableTag::Alloc(Tpoint, -1), nullptr);
  // Plain tags of the builders exist too.
  BaseTag* phong = BaseTag::Alloc(Tphong);
  ASSERT_NE(phong, nullptr);
  BaseTag::Free(phong);

  // A clone carries copies of the arrays.
  auto* clone = static_cast<PolygonObject*>(poly->GetClone());
  ASSERT_NE(clone, nullptr);
  poly->GetPointW()[0] = Vector(9, 9, 9);
  EXPECT_EQ(clone->GetPointR()[0], Vector());
  EXPECT_EQ(clone->GetTagDataCount(Tvertexmap), 4);
  BaseObject* c = clone;
  BaseObject::Free(c);
}

TEST(GeometryObjects, BoundingBoxes) {
  struct Case {
    const char* what;
    BaseObject* op;
    Vector mp, rad;
  };
  auto cube = BaseObject::Alloc(Ocube);
  cube->GetDataInstance()->SetVector(PRIM_CUBE_LEN, Vector(200, 100, 400));
  auto cyl = BaseObject::Alloc(Ocylinder);
  cyl->GetDataInstance()->SetReal(PRIM_CYLINDER_RADIUS, 30);
  cyl->GetDataInstance()->SetReal(PRIM_CYLINDER_HEIGHT, 100);
  auto cylx = static_cast<BaseObject*>(cyl->GetClone());
  cylx->GetDataInstance()->SetLong(PRIM_AXIS, PRIM_AXIS_XN);
  auto land = BaseObject::Alloc(Olandscape);
  land->GetDataInstance()->SetVector(PRIM_LANDSCAPE_SIZE, Vector(1000, 100, 600));
  auto poly = PolygonObject::Alloc(3, 1);
  poly->GetPointW()[0] = Vector(-10, 0, 5);
  poly->GetPointW()[1] = Vector(30, 4, 5);
  poly->GetPointW()[2] = Vector(0, -2, 25);
  auto ffd = BaseObject::Alloc(Offd);
  auto circle = BaseObject::Alloc(Osplinecircle);
  circle->GetDataInstance()->SetReal(PRIM_CIRCLE_RADIUS, 50);
  auto null = BaseObject::Alloc(Onull);
  Case cases[] = {
      {"cube", cube, Vector(), Vector(100, 50, 200)},
      {"cylinder along y", cyl, Vector(), Vector(30, 50, 30)},
      {"cylinder along -x", cylx, Vector(), Vector(50, 30, 30)},
      {"landscape", land, Vector(0, 50, 0), Vector(500, 50, 300)},
      {"polygon object", poly, Vector(10, 1, 15), Vector(20, 3, 10)},
      {"ffd", ffd, Vector(), Vector(150, 150, 150)},
      {"circle", circle, Vector(), Vector(50, 50, 0)},
      {"null", null, Vector(), Vector()},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectNear(c.op->GetMp(), c.mp, 1e-9);
    ExpectNear(c.op->GetRad(), c.rad, 1e-9);
    BaseObject::Free(c.op);
  }
}

// The box is kept between calls; every way of changing the points must show
// in the next answer, and a write must mark the object changed.
TEST(GeometryObjects, BoundingBoxFollowsEveryPointChange) {
  Owned o(PolygonObject::Alloc(2, 0));
  auto* poly = static_cast<PolygonObject*>(o.op);
  poly->GetPointW()[0] = Vector(-10, 0, 0);
  poly->GetPointW()[1] = Vector(10, 2, 4);
  ExpectNear(poly->GetMp(), Vector(0, 1, 2), 1e-12);
  ExpectNear(poly->GetRad(), Vector(10, 1, 2), 1e-12);

  // A write through a pointer taken before the box was asked for.
  Vector* p = poly->GetPointW();
  ExpectNear(poly->GetRad(), Vector(10, 1, 2), 1e-12);
  const ULONG dirty = poly->GetDirty();
  p = poly->GetPointW();
  EXPECT_GT(poly->GetDirty(), dirty);
  p[1] = Vector(30, 2, 4);
  ExpectNear(poly->GetRad(), Vector(20, 1, 2), 1e-12);

  // Growing the object (new points are zero) and shrinking it again.
  poly->ResizeObject(3, 0);
  poly->GetPointW()[2] = Vector(0, 0, -16);
  ExpectNear(poly->GetRad(), Vector(20, 1, 10), 1e-12);
  poly->ResizePoints(1);
  ExpectNear(poly->GetRad(), Vector(), 1e-12);
  ExpectNear(poly->GetMp(), Vector(-10, 0, 0), 1e-12);

  // Through the point tag itself, and with the tag gone.
  auto* tag = static_cast<VariableTag*>(poly->GetTag(Tpoint));
  static_cast<Vector*>(tag->GetDataAddressW())[0] = Vector(5, 5, 5);
  ExpectNear(poly->GetMp(), Vector(5, 5, 5), 1e-12);
  poly->KillTag(Tpoint);
  ExpectNear(poly->GetMp(), Vector(), 1e-12);
  poly->ResizePoints(2);
  poly->GetPointW()[1] = Vector(2, 0, 0);
  ExpectNear(poly->GetMp(), Vector(1, 0, 0), 1e-12);

  // A copy answers for its own points.
  Owned copy(static_cast<BaseObject*>(poly->GetClone()));
  static_cast<PolygonObject*>(copy.op)->GetPointW()[1] = Vector(-2, 0, 0);
  ExpectNear(copy.op->GetMp(), Vector(-1, 0, 0), 1e-12);
  ExpectNear(poly->GetMp(), Vector(1, 0, 0), 1e-12);
}

TEST(GeometryObjects, FfdGridFollowsItsCountsOnUpdate) {
  Owned o(BaseObject::Alloc(Offd));
  auto* ffd = static_cast<FfdObject*>(o.op);
  BaseContainer* bc = ffd->GetDataInstance();
  bc->SetVector(FFDOBJECT_SIZE, Vector(200, 100, 400));
  bc->SetLong(FFDOBJECT_SUBX, 5);
  bc->SetLong(FFDOBJECT_SUBY, 2);
  bc->SetLong(FFDOBJECT_SUBZ, 3);
  EXPECT_EQ(ffd->GetPointCount(), 0);
  ffd->Message(MSG_UPDATE);
  ASSERT_EQ(ffd->GetPointCount(), 30);
  // x fastest, then y, then z.
  ExpectNear(ffd->GetPointR()[0], Vector(-100, -50, -200), 1e-12);
  ExpectNear(ffd->GetPointR()[1], Vector(-50, -50, -200), 1e-12);
  ExpectNear(ffd->GetPointR()[5], Vector(-100, 50, -200), 1e-12);
  ExpectNear(ffd->GetPointR()[10], Vector(-100, -50, 0), 1e-12);
  ExpectNear(ffd->GetPointR()[29], Vector(100, 50, 200), 1e-12);
  // Moved points stay while the counts fit.
  ffd->GetPointW()[3] = Vector(1, 2, 3);
  ffd->Message(MSG_UPDATE);
  ExpectNear(ffd->GetPointR()[3], Vector(1, 2, 3), 0);
  bc->SetLong(FFDOBJECT_SUBZ, 1);  // taken as 2
  ffd->Message(MSG_UPDATE);
  EXPECT_EQ(ffd->GetPointCount(), 20);
}

// The cache pass sizes every FFD's grid to its counts, whichever way the FFD
// came (allocated, cloned) and after all earlier FFDs were freed.
TEST(GeometryObjects, CachePassKeepsEveryFfdGridInStep) {
  BaseDocument* doc = BaseDocument::Alloc();
  auto grid_after_pass = [&](BaseObject* op, LONG nx) {
    op->GetDataInstance()->SetLong(FFDOBJECT_SUBX, nx);
    doc->ExecutePasses(nullptr, false, false, true);
    return static_cast<FfdObject*>(op)->GetPointCount();
  };
  BaseObject* first = BaseObject::Alloc(Offd);
  doc->InsertObject(first, nullptr, nullptr);
  EXPECT_EQ(grid_after_pass(first, 4), 4 * 3 * 3);
  BaseObject* clone = static_cast<BaseObject*>(first->GetClone());
  ASSERT_NE(clone, nullptr);
  BaseObject::Free(first);
  doc->InsertObject(clone, nullptr, nullptr);
  EXPECT_EQ(grid_after_pass(clone, 5), 5 * 3 * 3);
  BaseObject::Free(clone);
  BaseObject* later = BaseObject::Alloc(Offd);
  BaseObject* parent = BaseObject::Alloc(Onull);
  doc->InsertObject(parent, nullptr, nullptr);
  doc->InsertObject(later, parent, nullptr);
  EXPECT_EQ(grid_after_pass(later, 6), 6 * 3 * 3);
  BaseDocument::Free(doc);
}

// ---------------------------------------------------------------- modelling commands

TEST(GeometryCommands, LandscapeGridRowsRunAlongZ) {
  Owned land(BaseObject::Alloc(Olandscape));
  BaseContainer* bc = land.op->GetDataInstance();
  bc->SetVector(PRIM_LANDSCAPE_SIZE, Vector(1000, 100, 1000));
  bc->SetLong(PRIM_LANDSCAPE_SUBX, 10);
  bc->SetLong(PRIM_LANDSCAPE_SUBZ, 10);
  Owned a(CurrentState(land.op));
  Owned b(CurrentState(land.op));
  auto* pa = dynamic_cast<PolygonObject*>(a.op);
  auto* pb = dynamic_cast<PolygonObject*>(b.op);
  ASSERT_NE(pa, nullptr);
  ASSERT_EQ(pa->GetPointCount(), 121);
  EXPECT_EQ(pa->GetPolygonCount(), 100);
  for (LONG r = 0; r <= 10; ++r)
    for (LONG c = 0; c <= 10; ++c) {
      const Vector& p = pa->GetPointR()[r * 11 + c];
      EXPECT_DOUBLE_EQ(p.x, -500 + 100 * c);
      EXPECT_DOUBLE_EQ(p.z, -500 + 100 * r);
      EXPECT_GE(p.y, 0.0);
      EXPECT_LE(p.y, 100.0);
      EXPECT_EQ(p.y, LandscapeHeight(Olandscape, *bc, c, r));
      EXPECT_EQ(p, pb->GetPointR()[r * 11 + c]);  // deterministic
    }
  // The cell at the centre holds grid points 60, 71 and 72 as the corners
  // (c, r), (c, r + 1) and (c + 1, r + 1), and faces up.
  ExpectNear(pa->GetPointR()[60], Vector(0, pa->GetPointR()[60].y, 0), 0);
  const CPolygon& q = pa->GetPolygonR()[55];
  EXPECT_EQ(q, CPolygon(60, 71, 72, 61));
  const Vector* p = pa->GetPointR();
  EXPECT_GT(Cross(p[q.b] - p[q.a], p[q.d] - p[q.a]).y, 0.0);
  // Not flat.
  EXPECT_NE(p[0].y, p[60].y);
}

TEST(GeometryCommands, CurrentStateOfPrimitivesAndPointObjects) {
  Owned cube(BaseObject::Alloc(Ocube));
  cube.op->SetRelPos(Vector(5, 6, 7));
  cube.op->SetName("box");
  Owned cs(CurrentState(cube.op));
  auto* poly = dynamic_cast<PolygonObject*>(cs.op);
  ASSERT_NE(poly, nullptr);
  EXPECT_EQ(poly->GetPointCount(), 8);
  EXPECT_EQ(poly->GetPolygonCount(), 6);
  EXPECT_EQ(poly->GetMl().off, Vector(5, 6, 7));
  EXPECT_EQ(poly->GetName(), String("box"));
  // Every face points away from the centre.
  for (LONG i = 0; i < 6; ++i) {
    const CPolygon& q = poly->GetPolygonR()[i];
    const Vector* p = poly->GetPointR();
    Vector n = Cross(p[q.b] - p[q.a], p[q.d] - p[q.a]);
    EXPECT_GT(Dot(n, (p[q.a] + p[q.c]) * 0.5), 0.0);
  }

  Owned cyl(BaseObject::Alloc(Ocylinder));
  Owned cy(CurrentState(cyl.op));
  ASSERT_NE(dynamic_cast<PolygonObject*>(cy.op), nullptr);
  EXPECT_EQ(static_cast<PolygonObject*>(cy.op)->GetPointCount(), 5 * 36 + 2);
  ExpectNear(cy.op->GetRad(), Vector(50, 100, 50), 1e-9);

  // An instance shows what its link shows.
  Owned inst(BaseObject::Alloc(Oinstance));
  inst.op->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, cube.op);
  Owned is(CurrentState(inst.op));
  EXPECT_EQ(static_cast<PolygonObject*>(is.op)->GetPointCount(), 8);
  // An instance of itself ends instead of looping.
  inst.op->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, inst.op);
  ModelingCommandData md;
  md.op = inst.op;
  EXPECT_FALSE(SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, md));

  // A null has no geometry; an unknown command does nothing.
  Owned null(BaseObject::Alloc(Onull));
  ModelingCommandData mn;
  mn.op = null.op;
  EXPECT_FALSE(SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, mn));
  EXPECT_EQ(mn.result->GetCount(), 0);
  ModelingCommandData mu;
  mu.op = cube.op;
  EXPECT_FALSE(SendModelingCommand(12345, mu));
}

TEST(GeometryCommands, SweepFollowsItsRail) {
  Owned sweep(BaseObject::Alloc(Osweep));
  SplineObject* profile = MakeSpline({{-5, 0, 0}, {5, 0, 0}}, SPLINETYPE_LINEAR, false);
  SplineObject* rail = MakeSpline({{0, 0, 0}, {0, 0, 100}, {0, 0, 200}}, SPLINETYPE_LINEAR, false);
  rail->InsertUnder(sweep.op);
  profile->InsertUnder(sweep.op);  // first child: the profile
  Owned s(CurrentState(sweep.op));
  auto* poly = dynamic_cast<PolygonObject*>(s.op);
  ASSERT_NE(poly, nullptr);
  EXPECT_EQ(poly->GetPointCount(), 6);
  EXPECT_EQ(poly->GetPolygonCount(), 2);
  ExpectNear(sweep.op->GetRad(), Vector(5, 0, 100), 1e-9);
  ExpectNear(sweep.op->GetMp(), Vector(0, 0, 100), 1e-9);
}

TEST(GeometryCommands, HeightProfileCarriesPointsOntoTheHighestSurface) {
  BaseDocument* doc = BaseDocument::Alloc();
  // A cube whose top is at y = 50 over x in [-50, 50], and a sloped
  // triangle y = x / 10 under x in [100, 300].
  BaseObject* cube = BaseObject::Alloc(Ocube);
  cube->GetDataInstance()->SetVector(PRIM_CUBE_LEN, Vector(100, 100, 100));
  doc->InsertObject(cube, nullptr, nullptr);
  PolygonObject* slope = PolygonObject::Alloc(3, 1);
  slope->GetPointW()[0] = Vector(100, 10, -100);
  slope->GetPointW()[1] = Vector(100, 10, 100);
  slope->GetPointW()[2] = Vector(300, 30, 0);
  slope->GetPolygonW()[0] = CPolygon(0, 1, 2);
  doc->InsertObject(slope, nullptr, nullptr);

  SplineObject* profile = MakeSpline({{-200, 0, 0}, {0, 0, 0}, {40, 0, 0}, {150, 0, 0}, {250, 0, 0}}, SPLINETYPE_LINEAR, false);
  BaseContainer settings;
  settings.SetReal(2022, 3.0);
  ModelingCommandData md;
  md.doc = doc;
  md.op = profile;
  md.bc = &settings;
  ASSERT_TRUE(SendModelingCommand(MCOMMAND_HEIGHTPROFILE, md));
  const Vector* p = profile->GetPointR();
  EXPECT_EQ(p[0].y, 0.0);  // nothing there
  EXPECT_NEAR(p[1].y, 50.0, 1e-9);
  EXPECT_NEAR(p[2].y, 50.0, 1e-9);
  EXPECT_NEAR(p[3].y, 15.0, 1e-9);
  EXPECT_NEAR(p[4].y, 25.0, 1e-9);
  EXPECT_EQ(p[3].x, 150.0);
  // No document: refused.
  md.doc = nullptr;
  EXPECT_FALSE(SendModelingCommand(MCOMMAND_HEIGHTPROFILE, md));
  BaseObject* b = profile;
  BaseObject::Free(b);
  BaseDocument::Free(doc);
}

TEST(GeometryCommands, FailuresCanBeInjected) {
  Owned cube(BaseObject::Alloc(Ocube));
  hostgeo::FailModelingCommand(2);
  ModelingCommandData a, b;
  a.op = b.op = cube.op;
  EXPECT_TRUE(SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, a));
  EXPECT_FALSE(SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT, b));
  EXPECT_EQ(b.result->GetCount(), 0);
  BaseObject* made = static_cast<BaseObject*>(a.result->GetIndex(0));
  BaseObject::Free(made);

  hostmem::FailAllocation(1);
  EXPECT_EQ(SplineLengthData::Alloc(), nullptr);
  hostmem::FailAllocation(1);
  EXPECT_EQ(SplineObject::Alloc(4, SPLINETYPE_BEZIER), nullptr);
  hostmem::FailAllocation(1);
  EXPECT_EQ(SplineData::Alloc(), nullptr);
  hostmem::FailAllocation(1);
  EXPECT_EQ(BaseObject::Alloc(Ocube), nullptr);
  hostmem::FailAllocation(0);
  EXPECT_EQ(SplineObject::Alloc(4, 2), nullptr);  // unknown interpolation
  SplineData* sd = SplineData::Alloc();
  ASSERT_NE(sd, nullptr);
  SplineData::Free(sd);
}

// ---------------------------------------------------------------- spline curves

TEST(GeometrySplineData, KnotsStaySortedAndReset) {
  SplineData sd;
  sd.SetRange(0, 6000, 100, 0, 500, 10);
  Real r[6];
  sd.GetRange(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
  EXPECT_EQ(r[1], 6000);
  EXPECT_EQ(r[4], 500);
  EXPECT_EQ(sd.InsertKnot(0, 420, 0x20), 0);
  EXPECT_EQ(sd.InsertKnot(6000, 200, 0x20), 1);
  EXPECT_EQ(sd.InsertKnot(3500, 530), 1);
  EXPECT_EQ(sd.InsertKnot(3500, 100), 2);  // equal x: after the earlier one
  EXPECT_EQ(sd.InsertKnot(std::nan(""), 1), -1);
  ASSERT_EQ(sd.GetKnotCount(), 4);
  EXPECT_EQ(sd.GetKnot(1)->pos.y, 530);
  EXPECT_EQ(sd.GetKnot(2)->pos.y, 100);
  EXPECT_EQ(sd.GetKnot(3)->flags, 0x20);
  EXPECT_EQ(sd.GetKnot(4), nullptr);
  EXPECT_EQ(sd.GetKnot(-1), nullptr);
  // Moving a knot past its neighbours keeps the order.
  SplineKnot k = *sd.GetKnot(0);
  k.pos.x = 7000;
  EXPECT_TRUE(sd.SetKnot(0, k));
  EXPECT_EQ(sd.GetKnot(3)->pos.x, 7000);
  EXPECT_FALSE(sd.SetKnot(9, k));

  auto copy = sd.Clone();
  EXPECT_TRUE(copy->Equals(sd));
  sd.ResetKnots(-1);
  EXPECT_EQ(sd.GetKnotCount(), 0);
  EXPECT_FALSE(copy->Equals(sd));
  EXPECT_EQ(sd.GetPoint(10).y, 0.0);
  sd.ResetKnots(3);
  ASSERT_EQ(sd.GetKnotCount(), 3);
  EXPECT_EQ(sd.GetKnot(1)->pos, Vector(3000, 250, 0));
}

TEST(GeometrySplineData, Evaluation) {
  SplineData sd;
  sd.SetRange(0, 100, 1, 0, 100, 1);
  sd.InsertKnot(0, 10);
  sd.InsertKnot(50, 30);
  sd.InsertKnot(100, 90);
  // Bezier with zero tangents: straight between knots.
  EXPECT_NEAR(sd.GetPoint(25).y, 20.0, 1e-9);
  EXPECT_NEAR(sd.GetPoint(75).y, 60.0, 1e-9);
  EXPECT_EQ(sd.GetPoint(75).x, 75.0);
  // Outside the knots: the end values.
  EXPECT_EQ(sd.GetPoint(-5).y, 10.0);
  EXPECT_EQ(sd.GetPoint(500).y, 90.0);
  sd.SetAllInterpolation(SPLINEKNOT_LINEAR);
  EXPECT_NEAR(sd.GetPoint(60).y, 42.0, 1e-12);
  // Cubic through knots on a parabola y = x^2 / 100: at the knots exactly,
  // between them close to it.
  SplineData c;
  for (Real x : {0.0, 25.0, 50.0, 75.0, 100.0}) c.InsertKnot(x, x * x / 100);
  c.SetAllInterpolation(SPLINEKNOT_CUBIC);
  EXPECT_NEAR(c.GetPoint(50).y, 25.0, 1e-12);
  EXPECT_NEAR(c.GetPoint(62.5).y, 39.0625, 0.2);
  // Bezier tangents bend the curve: the hyperbola preset's middle knot.
  SplineData h;
  h.InsertKnot(0, 7);
  h.InsertKnot(80, 30);
  h.InsertKnot(100, 100);
  SplineKnot k = *h.GetKnot(1);
  k.tangent_left = Vector(-6.25, -10.75, 0);
  k.tangent_right = Vector(6.25, 10.75, 0);
  h.SetKnot(1, k);
  EXPECT_NEAR(h.GetPoint(80).y, 30.0, 1e-9);
  EXPECT_LT(h.GetPoint(90).y, 65.0);  // below the straight line, pulled by the handle
  EXPECT_GT(h.GetPoint(90).y, 30.0);
  Real prev = -1;
  for (int x = 0; x <= 100; ++x) {
    Real y = h.GetPoint(x).y;
    EXPECT_GE(y, prev - 1e-9);
    prev = y;
  }
}

}  // namespace
