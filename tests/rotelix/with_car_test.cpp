// The tag against the real Car: both plug-ins loaded as the host loads them.
#include <gtest/gtest.h>

#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_services.h"
#include "rotelix_ids.h"

namespace {

class WithCarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    String error;
    ASSERT_TRUE(PluginHost::Get().LoadModule(Filename(CARSIM_PLUGIN_ROOT "/vanto"), &error)) << error;
    ASSERT_TRUE(PluginHost::Get().LoadModule(Filename(CARSIM_PLUGIN_ROOT "/rotelix"), &error)) << error;
    doc = BaseDocument::Alloc();
    car = BaseObject::Alloc(ID_CAR);
    ASSERT_NE(car, nullptr);
    doc->InsertObject(car, nullptr, nullptr);
    car->Message(MSG_MENUPREPARE, doc);  // the Car builds its default rig
    tag = car->MakeTag(ID_ROTELIX);
    ASSERT_NE(tag, nullptr);
  }
  void TearDown() override {
    BaseDocument::Free(doc);
    PluginHost::Get().UnloadAll();
  }
  void Press(LONG id) {
    DescID d(id);
    tag->Message(MSG_DESCRIPTION_COMMAND, &d);
  }
  BaseObject* Link(LONG id) { return tag->GetDataInstance()->GetObjectLink(id, doc); }
  BaseObject* CarLink(LONG id) { return car->GetDataInstance()->GetObjectLink(id, doc); }

  BaseDocument* doc = nullptr;
  BaseObject* car = nullptr;
  BaseTag* tag = nullptr;
};

TEST_F(WithCarTest, TheCarAcceptsTheTagAndBuildsExtraAxles) {
  EXPECT_TRUE(tag->Message(MSG_MENUPREPARE));
  ASSERT_NE(CarLink(RIG_BODY), nullptr);

  Press(ROTELIX_ADD_AXLE);
  ASSERT_EQ(tag->GetDataInstance()->GetLong(ROTELIX_AXLE_COUNT), 1);
  EXPECT_NE(CarLink(RIG_HUB + 4), nullptr);
  EXPECT_NE(CarLink(RIG_HUB + 5), nullptr);

  Press(ROTELIX_BUILD_SKIDS);
  EXPECT_TRUE(Link(ROTELIX_SKID_LINK) && Link(ROTELIX_SKID_LINK)->IsInstanceOf(Osweep));
  EXPECT_TRUE(Link(ROTELIX_SKID_LINK + 1) && Link(ROTELIX_SKID_LINK + 1)->IsInstanceOf(Osweep));
  Press(ROTELIX_BUILD_SPRINGS);
  EXPECT_TRUE(Link(ROTELIX_SPRING_LINK) && Link(ROTELIX_SPRING_LINK)->IsInstanceOf(Ohelix));
  EXPECT_TRUE(Link(ROTELIX_SPRING_LINK + 1) && Link(ROTELIX_SPRING_LINK + 1)->IsInstanceOf(Ohelix));

  Press(ROTELIX_REMOVE_AXLE);
  EXPECT_EQ(tag->GetDataInstance()->GetLong(ROTELIX_AXLE_COUNT), 0);
}

TEST_F(WithCarTest, TrackRigFollowsTheCar) {
  BaseContainer& bc = *tag->GetDataInstance();
  bc.SetBool(ROTELIX_ON, true);
  for (LONG id : {ROTELIX_BUILD_FRONT, ROTELIX_BUILD_REAR, ROTELIX_ADD_ROLLER, ROTELIX_BUILD_TRACKS,
                  ROTELIX_BUILD_TREADS})
    Press(id);
  doc->SetTime(BaseTime(0.0, 30.0));
  ASSERT_TRUE(doc->ExecutePasses(nullptr, true, true, false));
  BaseObject* track = Link(ROTELIX_TRACK_LINK);
  ASSERT_TRUE(track && track->IsInstanceOf(Ospline));
  auto* sp = static_cast<SplineObject*>(track);
  EXPECT_EQ(sp->GetPointCount(), 2 + 2 + 3 + 2 + 2);
  LONG links = 0;
  for (BaseObject* op = Link(ROTELIX_TREAD_LINK); op; op = op->GetNext()) ++links;
  EXPECT_GT(links, 10);

  // The car moves forward (a Car without a Sim goes back to rest in its own
  // evaluation, so the move comes after it): the tread links move on.
  doc->SetTime(BaseTime(1.0, 30.0));
  ASSERT_TRUE(doc->ExecutePasses(nullptr, true, true, false));
  const Vector before = Link(ROTELIX_TREAD_LINK)->GetRelPos();
  car->SetRelPos(Vector(0, 0, 25));
  doc->SetTime(BaseTime(2.0, 30.0));
  tag->GetNodeData<TagData>()->Execute(tag, doc, car, nullptr, EXECUTIONPRIORITY_EXPRESSION, 0);
  EXPECT_GT((Link(ROTELIX_TREAD_LINK)->GetRelPos() - before).GetLength(), 1.0);
  EXPECT_EQ(sp->GetPointCount(), 11);
}

}  // namespace
