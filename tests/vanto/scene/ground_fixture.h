// A document with vanto registered in-process, and small builders of ground
// geometry for the ground tag and ground contact tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "plugin_in_process.h"
#include "car/car_params.h"
#include "scene/carstate.h"
#include "scene/ground.h"
#include "scene/scene_links.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_services.h"
#include "frame/plugin_main.h"
#include "carsim/link_message.h"
#include "tags/tag_ground.h"

namespace groundtest {

class GroundTest : public testsupport::PluginDocumentTest {
 protected:
  GroundTest() : PluginDocumentTest(kPluginFolder) {}

  BaseObject* NewObject(LONG type, BaseObject* parent = nullptr) {
    BaseObject* op = BaseObject::Alloc(type);
    EXPECT_NE(op, nullptr);
    if (op) doc->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    return op;
  }

  // A polygon object of the given points and polygons under parent.
  PolygonObject* NewMesh(BaseObject* parent, std::initializer_list<Vector> points,
                         std::initializer_list<CPolygon> polygons) {
    PolygonObject* op = PolygonObject::Alloc(static_cast<LONG>(points.size()), static_cast<LONG>(polygons.size()));
    EXPECT_NE(op, nullptr);
    LONG i = 0;
    for (const Vector& p : points) op->GetPointW()[i++] = p;
    i = 0;
    for (const CPolygon& q : polygons) op->GetPolygonW()[i++] = q;
    doc->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    return op;
  }

  // One upward-facing quad over x, z in [x0, x1] x [z0, z1] whose height is
  // y0 + sx * x + sz * z.
  PolygonObject* NewSlope(BaseObject* parent, double x0, double x1, double z0, double z1, double y0, double sx,
                          double sz) {
    auto y = [&](double x, double z) { return y0 + sx * x + sz * z; };
    return NewMesh(parent,
                   {Vector(x0, y(x0, z0), z0), Vector(x0, y(x0, z1), z1), Vector(x1, y(x1, z1), z1),
                    Vector(x1, y(x1, z0), z0)},
                   {CPolygon(0, 1, 2, 3)});
  }

  // A grid of nx x nz upward-facing quads of the given cell size over the
  // origin, flat at height y.
  PolygonObject* NewGrid(BaseObject* parent, LONG nx, LONG nz, double cell, double y) {
    PolygonObject* op = PolygonObject::Alloc((nx + 1) * (nz + 1), nx * nz);
    EXPECT_NE(op, nullptr);
    Vector* p = op->GetPointW();
    for (LONG r = 0; r <= nz; ++r)
      for (LONG c = 0; c <= nx; ++c)
        p[r * (nx + 1) + c] = Vector((c - nx * 0.5) * cell, y, (r - nz * 0.5) * cell);
    CPolygon* v = op->GetPolygonW();
    for (LONG r = 0; r < nz; ++r)
      for (LONG c = 0; c < nx; ++c) {
        const LONG k = r * (nx + 1) + c;
        v[r * nx + c] = CPolygon(k, k + nx + 1, k + nx + 2, k + 1);
      }
    doc->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    return op;
  }

  // An empty ground group linked in bc (link 1940), the default ground at
  // height 0 with the given grip.
  BaseObject* NewGroundGroup(BaseContainer& bc, double grip) {
    BaseObject* group = NewObject(Onull);
    bc.SetLink(CAR_GROUND_GROUP, group);
    bc.SetReal(CAR_GROUND_HEIGHT, 0.0);
    bc.SetReal(CAR_GROUND_GRIP, grip);
    return group;
  }

  static BaseTag* AddGroundTag(BaseObject* op, double grip = 0.98, LONG mode = 1) {
    BaseTag* tag = op->MakeTag(ID_VANTOGROUND);
    EXPECT_NE(tag, nullptr);
    if (tag) {
      tag->GetDataInstance()->SetReal(GROUNDTAG_GRIP, grip);
      tag->GetDataInstance()->SetLong(GROUNDTAG_CONTACT_MODE, mode);
    }
    return tag;
  }
  static VantoGround* TagData(BaseTag* tag) { return tag->GetNodeData<VantoGround>(); }

  // A landscape primitive of that size and segment counts.
  BaseObject* NewLandscape(BaseObject* parent, const Vector& size, LONG nx, LONG nz, LONG type = Olandscape) {
    BaseObject* op = NewObject(type, parent);
    const LONG base = type == Orelief ? PRIM_RELIEF_SIZE : PRIM_LANDSCAPE_SIZE;
    op->GetDataInstance()->SetVector(base, size);
    op->GetDataInstance()->SetLong(base + 1, nx);
    op->GetDataInstance()->SetLong(base + 2, nz);
    return op;
  }

  static constexpr const char* kPluginFolder = CARSIM_SOURCE_DIR "/vanto";
};

// Sends command 4 for the point (x, y, z); the buffer comes back as written.
struct GridAnswer {
  Bool ok = false;
  double buffer[12] = {};
};
inline GridAnswer AskGrid(BaseTag* tag, double x, double y, double z) {
  GridAnswer a;
  a.buffer[0] = x;
  a.buffer[1] = y;
  a.buffer[2] = z;
  SimLinkMessage msg{SIMLINK_GROUND_QUERY, a.buffer};
  a.ok = tag->Message(MSG_SIMLINK, &msg);
  return a;
}
inline Vector AnswerPoint(const GridAnswer& a, int k) {
  return Vector(a.buffer[3 * k], a.buffer[3 * k + 1], a.buffer[3 * k + 2]);
}

// A car record with `wheels` wheels of radius r metres, 100 units a metre,
// ground group `group` linked in bc (when given).
inline std::unique_ptr<CarState> MakeCar(double radius = 0.3, int wheels = 4) {
  auto car = std::make_unique<CarState>();
  car->settings.unitsPerMetre = 100.0;
  car->wheelCount = wheels;
  car->dynamics.wheelCount = wheels;
  for (int w = 0; w < wheels; ++w) car->dynamics.wheels[w].radius = radius;
  return car;
}

}  // namespace groundtest
