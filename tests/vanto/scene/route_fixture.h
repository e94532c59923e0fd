// Routes for the tests: splines and sweeps under a route group, their route
// tags and speed tables, on top of the Sim fixture (vanto registered,
// 100 scene units per metre).
#pragma once

#include <initializer_list>
#include <utility>

#include "../sim/sim_fixture.h"
#include "scene/autopilot.h"
#include "scene/frames.h"
#include "tags/tag_route.h"

namespace routetest {

class RouteTest : public simtest::VantoTest {
 protected:
  // A linear (or cubic) spline through the points, appended under parent.
  SplineObject* Spline(BaseObject* parent, std::initializer_list<Vector> points, const char* name = "route",
                       LONG type = SPLINETYPE_LINEAR) {
    SplineObject* sp = SplineObject::Alloc(static_cast<LONG>(points.size()), type);
    EXPECT_NE(sp, nullptr);
    LONG i = 0;
    for (const Vector& p : points) sp->GetPointW()[i++] = p;
    sp->SetName(name);
    doc->InsertObject(sp, parent, parent ? parent->GetDownLast() : nullptr);
    return sp;
  }

  // A sweep under parent: a flat road profile from x = -w to w (three points,
  // drawn from +x to -x so that the binding has to order it), then the rail.
  BaseObject* SweepRoute(BaseObject* parent, std::initializer_list<Vector> rail, double w = 400.0) {
    BaseObject* sweep = BaseObject::Alloc(Osweep);
    sweep->SetName("road");
    doc->InsertObject(sweep, parent, parent ? parent->GetDownLast() : nullptr);
    Spline(sweep, {Vector(w, 0, 0), Vector(0, 0, 0), Vector(-w, 0, 0)}, "profile");
    Spline(sweep, rail, "rail");
    return sweep;
  }

  // A route tag with entries (km/h, fraction of the length).
  static BaseTag* Tag(BaseObject* op, std::initializer_list<std::pair<double, double>> entries = {}) {
    BaseTag* tag = op->MakeTag(ID_VANTOROUTE);
    EXPECT_NE(tag, nullptr);
    BaseContainer* bc = tag->GetDataInstance();
    LONG i = 0;
    for (const auto& [speed, position] : entries) {
      bc->SetReal(ROUTETAG_SPEED + 2 * i, speed);
      bc->SetReal(ROUTETAG_POSITION + 2 * i, position);
      ++i;
    }
    bc->SetLong(ROUTETAG_COUNT, i);
    return tag;
  }

  static void Press(BaseTag* tag, LONG button) {
    DescID id(button);
    tag->Message(MSG_DESCRIPTION_COMMAND, &id);
  }
};

}  // namespace routetest
