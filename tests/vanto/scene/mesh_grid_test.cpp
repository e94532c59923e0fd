// The grid over a ground mesh against the plain scan of every polygon: the
// same polygons hold a point, in the same order, and the same neighbour is
// found across an edge; and the run's ground search through the grid gives
// the same records as the search without it, hit for hit.
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "carsim/polygon_geometry.h"
#include "ground_fixture.h"
#include "scene/mesh_grid.h"

namespace groundtest {
namespace {

// A terrain of bumpy quads and triangles with a bending road of quads above
// it, plus polygons that a box does not bound well: a bow-tie, a needle, a
// folded quad, one turned the other way, one with a broken corner index and
// one far larger than the rest.
struct RoadOverTerrain {
  std::vector<Vector> points;
  std::vector<CPolygon> polygons;

  LONG Add(const Vector& p) {
    points.push_back(p);
    return static_cast<LONG>(points.size()) - 1;
  }

  // The middle of the road at station t in [0, 40]: it runs from z = 500
  // towards -z, bending to +x.
  static Vector RoadCentre(double t) {
    const double a = t * 0.03;
    return Vector(-300.0 + 600.0 * (1.0 - std::cos(a)), 60.0 + t, 500.0 - 600.0 * std::sin(a));
  }

  RoadOverTerrain() {
    const int n = 24;
    const double cell = 50.0;
    for (int r = 0; r <= n; ++r)
      for (int c = 0; c <= n; ++c)
        Add(Vector((c - n / 2) * cell, 20.0 * std::sin(c * 0.7) * std::cos(r * 0.4), (r - n / 2) * cell));
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) {
        const LONG k = r * (n + 1) + c;
        if ((r + c) % 3 == 0) {
          polygons.emplace_back(k, k + n + 1, k + n + 2);
          polygons.emplace_back(k, k + n + 2, k + 1);
        } else {
          polygons.emplace_back(k, k + n + 1, k + n + 2, k + 1);
        }
      }
    // The road: 40 quads along a bend, 80 wide, 60 above the terrain.
    const LONG first = static_cast<LONG>(points.size());
    for (int i = 0; i <= 40; ++i) {
      const Vector c = RoadCentre(i), across(std::cos(i * 0.03), 0.0, std::sin(i * 0.03));
      Add(c - across * 40.0);
      Add(c + across * 40.0);
    }
    for (int i = 0; i < 40; ++i) {
      const LONG k = first + 2 * i;
      polygons.emplace_back(k, k + 1, k + 3, k + 2);
    }
    const LONG a = Add(Vector(100, 90, 100)), b = Add(Vector(200, 90, 200)), c = Add(Vector(200, 90, 100)),
               d = Add(Vector(100, 90, 200));
    polygons.emplace_back(a, b, c, d);  // bow-tie
    const LONG e = Add(Vector(-300, 95, -300)), f = Add(Vector(300, 95, -299.9999)), g = Add(Vector(0, 95, -300.0001));
    polygons.emplace_back(e, f, g);     // needle
    polygons.emplace_back(a, c, c, a);  // folded onto an edge
    polygons.emplace_back(a, c, b);     // the other way round
    polygons.emplace_back(e, f, g, static_cast<LONG>(points.size()) + 5);  // broken corner
    const LONG h = Add(Vector(-5000, -50, -5000)), i = Add(Vector(-5000, -50, 5000)), j = Add(Vector(5000, -50, 5000)),
               k = Add(Vector(5000, -50, -5000));
    polygons.emplace_back(h, i, j, k);  // under everything
  }
};

// Polygons holding p on XZ (world corners), ascending: the plain scan.
std::vector<int32> ScanHolders(const std::vector<Vector>& world, const std::vector<CPolygon>& polygons,
                               const Vector& p) {
  std::vector<int32> out;
  const LONG np = static_cast<LONG>(world.size());
  for (size_t k = 0; k < polygons.size(); ++k) {
    const CPolygon& q = polygons[k];
    if (q.a < 0 || q.a >= np || q.b < 0 || q.b >= np || q.c < 0 || q.c >= np || q.d < 0 || q.d >= np) continue;
    if (PointInPolygonXZ(world.data(), q.a, q.b, q.c, q.d, p)) out.push_back(static_cast<int32>(k));
  }
  return out;
}

std::vector<int32> GridHolders(const MeshGrid& grid, const std::vector<CPolygon>& polygons, const Vector& p) {
  std::vector<int32> out;
  int32 last = -1;
  bool ascending = true;
  grid.ForEachCandidate(p, [&](int32 k) {
    ascending = ascending && k > last;
    last = k;
    const CPolygon& q = polygons[k];
    const LONG np = grid.PointCount();
    if (q.a >= 0 && q.a < np && q.b >= 0 && q.b < np && q.c >= 0 && q.c < np && q.d >= 0 && q.d < np &&
        PointInPolygonXZ(grid.World(), q.a, q.b, q.c, q.d, p))
      out.push_back(k);
    return true;
  });
  EXPECT_TRUE(ascending);
  return out;
}

TEST(MeshGrid, OffersEveryPolygonTheScanFindsInOrder) {
  const RoadOverTerrain mesh;
  // Turned, tilted a little and scaled, off the origin.
  Matrix mg = HPBToMatrix(Vector(0.4, 0.05, -0.03), ROTATIONORDER_HPB);
  mg.v1 *= 1.5;
  mg.off = Vector(12345.678, -20.0, -9876.5);
  MeshGrid grid;
  grid.Build(mesh.points.data(), static_cast<int32>(mesh.points.size()), mesh.polygons.data(),
             static_cast<int32>(mesh.polygons.size()), mg);
  std::vector<Vector> world;
  for (const Vector& p : mesh.points) world.push_back(mg * p);
  ASSERT_EQ(grid.PointCount(), static_cast<int32>(world.size()));
  for (size_t i = 0; i < world.size(); ++i) ASSERT_EQ(grid.World()[i], world[i]);

  // Random points over the mesh and round it, every corner and edge
  // middle (where rounding decides), and points no box can place.
  std::vector<Vector> probes;
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1.2, 1.2);
  for (int i = 0; i < 20000; ++i) probes.push_back(mg * Vector(u(rng) * 800.0, 0.0, u(rng) * 800.0));
  for (int i = 0; i < 2000; ++i) probes.push_back(mg * Vector(u(rng) * 6000.0, 0.0, u(rng) * 6000.0));
  for (const CPolygon& q : mesh.polygons) {
    const LONG c[4] = {q.a, q.b, q.c, q.d};
    for (int e = 0; e < 4; ++e) {
      if (c[e] < 0 || c[e] >= static_cast<LONG>(world.size()) || c[(e + 1) % 4] >= static_cast<LONG>(world.size()))
        continue;
      probes.push_back(world[c[e]]);
      probes.push_back((world[c[e]] + world[c[(e + 1) % 4]]) * 0.5);
    }
  }
  const double inf = std::numeric_limits<double>::infinity();
  probes.push_back(Vector(inf, 0, 0));
  probes.push_back(Vector(0, 0, -inf));
  probes.push_back(Vector(std::nan(""), 0, 0));
  probes.push_back(Vector(1e200, 0, -1e200));

  int held = 0;
  for (const Vector& p : probes) {
    const std::vector<int32> expected = ScanHolders(world, mesh.polygons, p);
    held += !expected.empty();
    ASSERT_EQ(GridHolders(grid, mesh.polygons, p), expected) << p.x << " " << p.z;
  }
  EXPECT_GT(held, 10000);  // the probes do land on the mesh
}

TEST(MeshGrid, FindsTheSameNeighbourAsTheScan) {
  const RoadOverTerrain mesh;
  MeshGrid grid;
  const int32 count = static_cast<int32>(mesh.polygons.size());
  grid.Build(mesh.points.data(), static_cast<int32>(mesh.points.size()), mesh.polygons.data(), count, Matrix());
  int found = 0;
  for (int32 k = 0; k < count; ++k) {
    const CPolygon& q = mesh.polygons[k];
    const LONG c[4] = {q.a, q.b, q.c, q.d};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        for (int32 excluded : {k, -1}) {
          const int32 expected = FindPolygonWithEdge(c[i], c[j], mesh.polygons.data(), count, excluded);
          found += expected >= 0;
          ASSERT_EQ(grid.PolygonWithEdge(c[i], c[j], excluded), expected) << k << " " << i << " " << j;
        }
  }
  EXPECT_GT(found, 1000);
  // Point indices that no sound polygon uses.
  const LONG broken = static_cast<LONG>(mesh.points.size()) + 5;
  for (LONG a : {LONG(-1), broken})
    EXPECT_EQ(grid.PolygonWithEdge(a, mesh.polygons[count - 2].a, -1),
              FindPolygonWithEdge(a, mesh.polygons[count - 2].a, mesh.polygons.data(), count, -1));
}

// ---------------------------------------------------------------- the run's search

class MeshGridSearchTest : public GroundTest {
 protected:
  void SetUp() override {
    GroundTest::SetUp();
    group = NewGroundGroup(bc, 0.9);
    const RoadOverTerrain m;
    // Without the polygon under everything: a wheel on it would never
    // walk.
    const LONG polygons = static_cast<LONG>(m.polygons.size()) - 1;
    PolygonObject* terrain = PolygonObject::Alloc(static_cast<LONG>(m.points.size()), polygons);
    ASSERT_NE(terrain, nullptr);
    std::copy(m.points.begin(), m.points.end(), terrain->GetPointW());
    std::copy(m.polygons.begin(), m.polygons.begin() + polygons, terrain->GetPolygonW());
    terrain->SetRelPos(Vector(30.0, -10.0, 20.0));
    terrain->SetRelRot(Vector(0.2, 0.0, 0.0));
    doc->InsertObject(terrain, group, nullptr);
    AddGroundTag(terrain, 0.8, 1);
    // A second, flat piece of the road after the terrain in the list.
    NewGrid(group, 10, 10, 40.0, 75.0);
  }
  void TearDown() override {
    groundcontact::SetSearchGrid(true);
    GroundTest::TearDown();
  }

  // Wheel records along a path and point queries at every step.
  struct Trace {
    std::vector<SceneGroundHit> wheel, point;
  };
  Trace Drive(bool grid) {
    groundcontact::SetSearchGrid(grid);
    auto car = MakeCar(0.3);
    groundcontact::PrepareGround(doc, bc, *car, 0);
    groundcontact::ReadWheelGroundTags(*car, bc);
    Trace t;
    // Along the road, swerving off it to both sides, and on past its end
    // over the terrain and the flat piece.
    const Matrix mg = group->GetDown()->GetMg();
    for (int i = 0; i < 1500; ++i) {
      const double s = i * 0.04;
      const Vector c = RoadOverTerrain::RoadCentre(s);
      const Vector p = mg * Vector(c.x + 70.0 * std::sin(s * 0.8), 0.0, c.z + 60.0 * (s > 40.0 ? s - 40.0 : 0.0)) +
                       Vector(0.0, 140.0, 0.0);
      QueryGround(doc, bc, p, 0, *car);
      t.wheel.push_back(car->wheelGroundRecords[0]);
      SceneGroundHit hit = car->defaultGround;
      QueryGroundPoint(doc, bc, p + Vector(0.0, -40.0, 0.0), hit, *car);
      t.point.push_back(hit);
    }
    return t;
  }
  static void ExpectSame(const SceneGroundHit& a, const SceneGroundHit& b, const char* what, size_t i) {
    SCOPED_TRACE(std::string(what) + " " + std::to_string(i));
    EXPECT_EQ(a.groundObject, b.groundObject);
    EXPECT_EQ(a.polygonIndex, b.polygonIndex);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.hitPoint, b.hitPoint);
    EXPECT_EQ(a.hostNormal, b.hostNormal);
    EXPECT_EQ(a.planeOffset, b.planeOffset);
    EXPECT_EQ(a.friction, b.friction);
    EXPECT_EQ(a.lastPoint, b.lastPoint);
  }

  BaseObject* group = nullptr;
  BaseContainer bc;
};

TEST_F(MeshGridSearchTest, SameHitsWithAndWithoutTheGrid) {
  const Trace plain = Drive(false), gridded = Drive(true);
  ASSERT_EQ(plain.wheel.size(), gridded.wheel.size());
  int walks = 0, switches = 0, misses = 0;
  for (size_t i = 0; i < plain.wheel.size(); ++i) {
    ExpectSame(plain.wheel[i], gridded.wheel[i], "wheel", i);
    ExpectSame(plain.point[i], gridded.point[i], "point", i);
    if (HasFailure()) return;
    if (i == 0) continue;
    walks += plain.wheel[i].polygonIndex != plain.wheel[i - 1].polygonIndex;
    switches += plain.point[i].groundObject != plain.point[i - 1].groundObject;
    misses += plain.point[i].groundObject == nullptr;
  }
  // The wheel walks across polygons and the search finds road, terrain,
  // the flat piece and nothing.
  EXPECT_GT(walks, 30);
  EXPECT_GT(switches, 3);
  EXPECT_GT(misses, 0);
}

// A mesh changed between queries is searched as it is now.
TEST_F(MeshGridSearchTest, FollowsAChangedMesh) {
  auto* terrain = static_cast<PolygonObject*>(group->GetDown());
  auto car = MakeCar(0.3);
  groundcontact::PrepareGround(doc, bc, *car, 0);
  // Over the terrain, off the road.
  const Vector p = terrain->GetMg() * Vector(450.0, 0.0, -450.0) + Vector(0.0, 500.0, 0.0);
  SceneGroundHit hit = car->defaultGround;
  QueryGroundPoint(doc, bc, p, hit, *car);
  ASSERT_EQ(hit.groundObject, terrain);
  const double before = hit.height;
  // Raised through the point array, then moved: each is seen at once.
  Vector* points = terrain->GetPointW();
  for (LONG i = 0; i < terrain->GetPointCount(); ++i) points[i].y += 100.0;
  QueryGroundPoint(doc, bc, p, hit, *car);
  EXPECT_NEAR(hit.height, before + 100.0, 1e-9);
  terrain->SetRelPos(terrain->GetRelPos() + Vector(0.0, 50.0, 0.0));
  QueryGroundPoint(doc, bc, p, hit, *car);
  EXPECT_NEAR(hit.height, before + 150.0, 1e-9);
}

}  // namespace
}  // namespace groundtest
