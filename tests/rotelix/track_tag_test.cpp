#include <algorithm>

#include "rotelix_test_support.h"

namespace {

using TagTest = RotelixTest;

TEST_F(TagTest, NewTagHasItsDefaults) {
  BaseTag* tag = NewTag(NewCar());
  const BaseContainer& bc = Bc(tag);
  EXPECT_EQ(bc.GetString(ADDON_TAG_VERSION), "Rotelix 1.01.0");
  EXPECT_EQ(bc.GetLong(ADDON_TAG_OWNER), ID_CAR);
  EXPECT_FALSE(bc.GetBool(ROTELIX_ON));
  EXPECT_EQ(bc.GetLong(ROTELIX_SPROCKET_MODE), 1);
  EXPECT_EQ(bc.GetLong(ROTELIX_AXLE_COUNT), 0);
  EXPECT_EQ(bc.GetLong(ROTELIX_ROLLER_COUNT), 0);
  EXPECT_EQ(bc.GetReal(ROTELIX_FRONT_RADIUS), 30.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_REAR_RADIUS), 30.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_FRONT_TRAVEL), 10.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_REAR_TRAVEL), 10.0);
  EXPECT_TRUE(bc.GetBool(ROTELIX_FRONT_TENSIONER));
  EXPECT_FALSE(bc.GetBool(ROTELIX_REAR_TENSIONER));
  EXPECT_EQ(bc.GetReal(ROTELIX_ROLLER_RADIUS), 10.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_TREAD_LENGTH), 20.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_TRACK_INSET), 5.0);
  EXPECT_EQ(bc.GetReal(ROTELIX_TREAD_OFFSET), 0.0);
  for (LONG n = 0; n < 10; ++n) {
    EXPECT_TRUE(bc.GetBool(ROTELIX_AXLE_SWITCH + n)) << n;
    EXPECT_TRUE(bc.GetBool(ROTELIX_TRACK_AXLE + n)) << n;
  }
  EXPECT_EQ(State(tag).isSetUp, 0);
  EXPECT_EQ(State(tag).groupCount, 0);
}

TEST_F(TagTest, RegisteredAsVisibleExpressionTag) {
  BasePlugin* p = FindPlugin(ID_ROTELIX, PLUGINTYPE_TAG);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "Rotelix");
  EXPECT_EQ(p->info, TAG_VISIBLE | TAG_EXPRESSION);
  EXPECT_EQ(p->description, "Trotelix");
}

// Out of memory the allocator answers null, as the host expects.
TEST_F(TagTest, AllocAnswersNullWhenMemoryFails) {
  hostmem::FailAllocation(1);
  EXPECT_EQ(Rotelix::Alloc(), nullptr);
  hostmem::FailAllocation(0);
}

TEST_F(TagTest, OlderSceneGetsTheCurrentVersionText) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetString(ADDON_TAG_VERSION, "Rotelix 0.9");
  EXPECT_TRUE(tag->Message(MSG_MULTI_DOCUMENTIMPORTED));
  EXPECT_EQ(Bc(tag).GetString(ADDON_TAG_VERSION), "Rotelix 1.01.0");
}

TEST_F(TagTest, AcceptsOnlyACarNewerThanOnePointFive) {
  struct Case {
    const char* version;
    Bool accepted;
  } cases[] = {{"VANTO! 1.70.4", true}, {"VANTO! 1.50.0", false}, {"VANTO! 1.51.0", true}, {"", false},
               {"VANTO! x.yz", false},
               // Characters 7 to 10 must read "d.dd" exactly.
               {"VANTO! 1.7x", false}, {"VANTO! inf", false}, {"VANTO! infinity", false}, {"VANTO!  1.70", false},
               {"VANTO! 2e10", false}, {"VANTO! 1.70", true}, {"VANTO! 9.99", true}};
  for (const Case& c : cases) {
    BaseObject* car = NewCar();
    car->GetDataInstance()->SetString(CAR_VERSION, c.version);
    EXPECT_EQ(NewTag(car)->Message(MSG_MENUPREPARE), c.accepted) << c.version;
  }
  BaseTag* onNull = NewTag(NewNull(nullptr, "Null"));
  EXPECT_FALSE(onNull->Message(MSG_MENUPREPARE));

  // A car outside any document: the verdict needs the host's active document.
  BaseObject* loose = BaseObject::Alloc(ID_CAR);
  loose->GetDataInstance()->SetString(CAR_VERSION, "VANTO! 1.70.4");
  BaseTag* tag = NewTag(loose);
  EXPECT_FALSE(tag->Message(MSG_MENUPREPARE));
  SetActiveDocument(doc);
  EXPECT_TRUE(tag->Message(MSG_MENUPREPARE));
  SetActiveDocument(nullptr);
  BaseObject::Free(loose);
}

TEST_F(TagTest, ExactlyOneEndPairIsTheTensioner) {
  BaseTag* tag = NewTag(NewCar());
  Set(tag, ROTELIX_REAR_TENSIONER, true);
  EXPECT_FALSE(Bc(tag).GetBool(ROTELIX_FRONT_TENSIONER));
  Set(tag, ROTELIX_REAR_TENSIONER, false);
  EXPECT_TRUE(Bc(tag).GetBool(ROTELIX_FRONT_TENSIONER));
  Set(tag, ROTELIX_FRONT_TENSIONER, false);
  EXPECT_TRUE(Bc(tag).GetBool(ROTELIX_REAR_TENSIONER));
  EXPECT_TRUE(FakeCar::log.empty());
}

TEST_F(TagTest, AxleCodeCarriesTemplateAndSwitch) {
  BaseContainer bc;
  struct Case {
    LONG wheels;
    Bool on;
    LONG code;
  } cases[] = {{1, false, 0x101}, {0, false, 0x100}, {0, true, 0}, {1, true, 1}};
  for (const Case& c : cases) {
    bc.SetLong(ROTELIX_AXLE_TEMPLATE + 3, c.wheels);
    bc.SetBool(ROTELIX_AXLE_SWITCH + 3, c.on);
    EXPECT_EQ(AxleCode(bc, 3), c.code);
  }
}

TEST_F(TagTest, ChangingAnExistingAxleTellsTheCar) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 2);
  Set(tag, ROTELIX_AXLE_TEMPLATE + 1, 1);
  Set(tag, ROTELIX_AXLE_SWITCH + 1, false);
  Set(tag, ROTELIX_AXLE_TEMPLATE + 2, 1);  // axle 2 does not exist
  Set(tag, ROTELIX_AXLE_SWITCH + 2, false);
  Set(tag, ROTELIX_FRONT_RADIUS, 12.0);
  ASSERT_EQ(FakeCar::log.size(), 2u);
  for (const RigCommand& c : FakeCar::log) {
    EXPECT_EQ(c.kind, RIGCOMMAND_SET_AXLE_TYPE);
    EXPECT_EQ(c.index, 1);
  }
  EXPECT_EQ(FakeCar::log[0].value, 1);
  EXPECT_EQ(FakeCar::log[1].value, 0x101);
}

TEST_F(TagTest, AddAxleCountsOnlyWhatTheCarBuilt) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLong(ROTELIX_AXLE_TEMPLATE, 1);
  Press(tag, ROTELIX_ADD_AXLE);
  ASSERT_EQ(FakeCar::log.size(), 1u);
  EXPECT_EQ(FakeCar::log[0].kind, RIGCOMMAND_ADD_AXLE);
  EXPECT_EQ(FakeCar::log[0].index, 0);
  EXPECT_EQ(FakeCar::log[0].value, 1);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 1);

  FakeCar::addResult = 0;  // the car could not build it
  Press(tag, ROTELIX_ADD_AXLE);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 1);
  FakeCar::addResult = 1;
  FakeCar::answer = false;  // the car refused the message
  Press(tag, ROTELIX_ADD_AXLE);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 1);
}

TEST_F(TagTest, AddAxleStopsAtEightEvenWhenPressedDirectly) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 8);
  Press(tag, ROTELIX_ADD_AXLE);
  EXPECT_TRUE(FakeCar::log.empty());
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 8);
}

TEST_F(TagTest, RemoveAxleTakesTheLastOne) {
  BaseTag* tag = NewTag(NewCar());
  Press(tag, ROTELIX_REMOVE_AXLE);
  EXPECT_TRUE(FakeCar::log.empty());
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 3);
  Press(tag, ROTELIX_REMOVE_AXLE);
  ASSERT_EQ(FakeCar::log.size(), 1u);
  EXPECT_EQ(FakeCar::log[0].kind, RIGCOMMAND_REMOVE_AXLE);
  EXPECT_EQ(FakeCar::log[0].index, 2);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 2);
  FakeCar::answer = false;
  Press(tag, ROTELIX_REMOVE_AXLE);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 2);

  // A stored count above 8 (from a scene file): the request names the last
  // axle a car can have, and the count follows the car's answer.
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 12);
  Press(tag, ROTELIX_REMOVE_AXLE);
  EXPECT_EQ(FakeCar::log.back().index, 7);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 12);
  FakeCar::answer = true;
  Press(tag, ROTELIX_REMOVE_AXLE);
  EXPECT_EQ(FakeCar::log.back().index, 7);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 7);
}

TEST_F(TagTest, AxleObjectButtonsLinkBothResultsOrNothing) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 2);
  Bc(tag).SetBool(ROTELIX_AXLE_SWITCH + 1, false);
  BaseObject* a = NewNull(nullptr, "a");
  BaseObject* b = NewNull(nullptr, "b");

  FakeCar::result0 = a;  // only one object made: nothing is linked
  Press(tag, ROTELIX_BUILD_SKIDS + 1);
  EXPECT_EQ(Link(tag, ROTELIX_SKID_LINK + 2), nullptr);

  FakeCar::result1 = b;
  Press(tag, ROTELIX_BUILD_SKIDS + 1);
  Press(tag, ROTELIX_BUILD_SPRINGS + 0);
  Press(tag, ROTELIX_BUILD_SPRINGS + 2);  // no such axle: not sent
  ASSERT_EQ(FakeCar::log.size(), 3u);
  EXPECT_EQ(FakeCar::log[1].kind, RIGCOMMAND_SKID_MARKS);
  EXPECT_EQ(FakeCar::log[1].index, 1);
  EXPECT_EQ(FakeCar::log[1].value, 0x100);
  EXPECT_EQ(FakeCar::log[1].result0, nullptr);  // requests start without results
  EXPECT_EQ(FakeCar::log[2].kind, RIGCOMMAND_SPRINGS);
  EXPECT_EQ(Link(tag, ROTELIX_SKID_LINK + 2), a);
  EXPECT_EQ(Link(tag, ROTELIX_SKID_LINK + 3), b);
  EXPECT_EQ(Link(tag, ROTELIX_SPRING_LINK + 0), a);
  EXPECT_EQ(Link(tag, ROTELIX_SPRING_LINK + 1), b);

  FakeCar::answer = false;
  Bc(tag).SetLink(ROTELIX_SPRING_LINK, nullptr);
  Press(tag, ROTELIX_BUILD_SPRINGS + 0);
  EXPECT_EQ(Link(tag, ROTELIX_SPRING_LINK), nullptr);
}

TEST_F(TagTest, RigCommandsGoOnlyToACar) {
  BaseObject* null = NewNull(nullptr, "Null");
  BaseTag* tag = NewTag(null);
  RigCommand cmd{RIGCOMMAND_ADD_AXLE, 0, 0, 0, nullptr, nullptr};
  EXPECT_FALSE(SendRigCommand(null, cmd));
  Press(tag, ROTELIX_ADD_AXLE);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_AXLE_COUNT), 0);
}

TEST_F(TagTest, EndPairsStandOneDiameterBeyondTheOutermostAxle) {
  BaseObject* car = NewCar({{30.0, 150.0}, {30.0, -120.0}}, 80.0);
  BaseTag* tag = NewTag(car);
  Press(tag, ROTELIX_BUILD_FRONT);
  Press(tag, ROTELIX_BUILD_REAR);
  ExpectNear(Bc(tag).GetVector(ROTELIX_FRONT_REST), Vector(80, 0, 210));
  ExpectNear(Bc(tag).GetVector(ROTELIX_REAR_REST), Vector(80, 0, -210));
  BaseObject* f0 = Link(tag, ROTELIX_FRONT_LINK);
  BaseObject* f1 = Link(tag, ROTELIX_FRONT_LINK + 1);
  BaseObject* r0 = Link(tag, ROTELIX_REAR_LINK);
  ASSERT_TRUE(f0 && f1 && r0);
  ExpectNear(f0->GetRelPos(), Vector(-80, 0, 210));
  ExpectNear(f1->GetRelPos(), Vector(80, 0, 210));
  ExpectNear(f1->GetRelRot(), Vector(pi, 0, 0));
  ExpectNear(r0->GetRelPos(), Vector(-80, 0, -210));
  EXPECT_EQ(f0->GetName(), "End Wheel Front L");
  EXPECT_EQ(f1->GetName(), "End Wheel Front R");

  // All in one rig folder under the body, in the order made.
  BaseObject* folder = f0->GetUp();
  EXPECT_EQ(folder->GetName(), "Track Rig");
  EXPECT_EQ(folder->GetUp(), car->GetDataInstance()->GetObjectLink(RIG_BODY, doc));
  EXPECT_EQ(folder->GetDown(), f0);
  EXPECT_EQ(f0->GetNext(), f1);
  EXPECT_EQ(CountChildren(folder), 4);
  EXPECT_EQ(doc->GetActiveObject(), Link(tag, ROTELIX_REAR_LINK + 1));

  // Pressed again: the existing pair is selected, nothing new is made.
  Press(tag, ROTELIX_BUILD_FRONT);
  EXPECT_EQ(doc->GetActiveObject(), f1);
  EXPECT_EQ(CountChildren(folder), 4);
}

TEST_F(TagTest, BuildersNeedTheBody) {
  BaseObject* car = NewCar();
  car->GetDataInstance()->SetLink(RIG_BODY, nullptr);
  BaseTag* tag = NewTag(car);
  Press(tag, ROTELIX_BUILD_FRONT);
  Press(tag, ROTELIX_ADD_ROLLER);
  Press(tag, ROTELIX_BUILD_TRACKS);
  EXPECT_EQ(Link(tag, ROTELIX_FRONT_LINK), nullptr);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_ROLLER_COUNT), 0);
  EXPECT_EQ(Link(tag, ROTELIX_TRACK_LINK), nullptr);
  BaseObject* first = nullptr;
  EXPECT_FALSE(CreateTreadLinks(doc, car, Bc(tag), State(tag), &first, &first));
}

TEST_F(TagTest, FailedAllocationLeavesLinksAndCounts) {
  BaseTag* tag = NewTag(NewCar());
  Press(tag, ROTELIX_BUILD_FRONT);  // makes the folder
  BaseObject* folder = Link(tag, ROTELIX_FRONT_LINK)->GetUp();
  Bc(tag).SetLink(ROTELIX_FRONT_LINK, nullptr);
  hostmem::FailAllocation(2);  // the side-1 Null
  Press(tag, ROTELIX_BUILD_REAR);
  hostmem::FailAllocation(0);
  EXPECT_EQ(Link(tag, ROTELIX_REAR_LINK), nullptr);
  EXPECT_EQ(Link(tag, ROTELIX_REAR_LINK + 1), nullptr);
  EXPECT_EQ(CountChildren(folder), 3);  // the side-0 Null that was made stays
}

TEST_F(TagTest, ReturnRollersLineUpAlongZ) {
  BaseTag* tag = NewTag(NewCar({{30.0, 150.0}, {30.0, -120.0}}, 80.0));
  for (int i = 0; i < 3; ++i) Press(tag, ROTELIX_ADD_ROLLER);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_ROLLER_COUNT), 3);
  for (LONG k = 0; k < 3; ++k) {
    BaseObject* a = Link(tag, ROTELIX_ROLLER_LINK + 2 * k);
    BaseObject* b = Link(tag, ROTELIX_ROLLER_LINK + 2 * k + 1);
    ASSERT_TRUE(a && b);
    ExpectNear(a->GetRelPos(), Vector(-80, 0, 25.0 * k));
    ExpectNear(b->GetRelPos(), Vector(80, 0, 25.0 * k));
    ExpectNear(b->GetRelRot(), Vector(pi, 0, 0));
  }
  EXPECT_EQ(doc->GetActiveObject(), Link(tag, ROTELIX_ROLLER_LINK + 5));

  // A user-moved roller sets where the next one goes.
  Link(tag, ROTELIX_ROLLER_LINK + 4)->SetRelPos(Vector(-80, 40, 100));
  Press(tag, ROTELIX_ADD_ROLLER);
  ExpectNear(Link(tag, ROTELIX_ROLLER_LINK + 6)->GetRelPos(), Vector(-80, 40, 125));

  Press(tag, ROTELIX_SELECT_ROLLER + 1);
  EXPECT_EQ(doc->GetActiveObject(), Link(tag, ROTELIX_ROLLER_LINK + 3));
}

TEST_F(TagTest, RollerButtonsRespectTheLimitOfEight) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLong(ROTELIX_ROLLER_COUNT, 8);
  Press(tag, ROTELIX_ADD_ROLLER);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_ROLLER_COUNT), 8);
  EXPECT_EQ(Link(tag, ROTELIX_ROLLER_LINK + 16), nullptr);
}

TEST_F(TagTest, RemovingARollerKeepsOneThatCarriesTheUsersObjects) {
  BaseTag* tag = NewTag(NewCar());
  Press(tag, ROTELIX_ADD_ROLLER);
  Press(tag, ROTELIX_ADD_ROLLER);
  BaseObject* side0 = Link(tag, ROTELIX_ROLLER_LINK + 2);
  NewNull(side0, "user's wheel");
  Press(tag, ROTELIX_REMOVE_ROLLER);
  EXPECT_EQ(Bc(tag).GetLong(ROTELIX_ROLLER_COUNT), 1);
  EXPECT_EQ(Link(tag, ROTELIX_ROLLER_LINK + 2), side0);
  EXPECT_NE(side0->GetDocument(), nullptr);
  EXPECT_EQ(Link(tag, ROTELIX_ROLLER_LINK + 3), nullptr);  // freed, the link reads as empty
  EXPECT_NE(Link(tag, ROTELIX_ROLLER_LINK + 1), nullptr);
}

TEST_F(TagTest, TrackSplinesAreClosedBezierSplinesOnePointPerAxle) {
  BaseObject* car = NewCar();
  BaseTag* tag = NewTag(car);
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 3);
  BaseObject* a = nullptr;
  BaseObject* b = nullptr;
  ASSERT_TRUE(CreateTrackSplines(doc, car, Bc(tag), State(tag), &a, &b));
  for (BaseObject* op : {a, b}) {
    ASSERT_TRUE(op->IsInstanceOf(Ospline));
    auto* sp = static_cast<SplineObject*>(op);
    EXPECT_EQ(sp->GetPointCount(), 5);
    EXPECT_EQ(sp->GetInterpolationType(), SPLINETYPE_BEZIER);
    EXPECT_TRUE(sp->IsClosed());
    ASSERT_NE(sp->GetSegmentR(), nullptr);
    EXPECT_EQ(sp->GetSegmentR()->cnt, 5);
    EXPECT_TRUE(sp->GetSegmentR()->closed);
    EXPECT_EQ(GetColorProperties(sp).usecolor, ID_BASEOBJECT_USECOLOR_ALWAYS);
    ExpectNear(GetColorProperties(sp).color, kTrackColour);
  }
  ExpectNear(a->GetRelPos(), Vector(-80, 0, 0));
  ExpectNear(b->GetRelPos(), Vector(80, 0, 0));
  EXPECT_EQ(a->GetUp()->GetDown(), a);  // side 0 above side 1
  EXPECT_EQ(a->GetNext(), b);
}

TEST_F(TagTest, AnExistingRigFolderIsReused) {
  BaseObject* car = NewCar();
  BaseObject* body = car->GetDataInstance()->GetObjectLink(RIG_BODY, doc);
  BaseObject* cube = BaseObject::Alloc(Ocube);
  cube->SetName("Track Rig");
  doc->InsertObject(cube, body, nullptr);
  BaseTag* tag = NewTag(car);
  Press(tag, ROTELIX_BUILD_FRONT);
  EXPECT_EQ(Link(tag, ROTELIX_FRONT_LINK)->GetUp(), cube);
}

TEST_F(TagTest, TreadLinksNeedBothTracks) {
  BaseObject* car = NewCar();
  BaseTag* tag = NewTag(car);
  Bc(tag).SetBool(ROTELIX_ON, true);
  Press(tag, ROTELIX_BUILD_TREADS);
  EXPECT_EQ(Link(tag, ROTELIX_TREAD_LINK), nullptr);
  Press(tag, ROTELIX_BUILD_TRACKS);
  Press(tag, ROTELIX_BUILD_TREADS);
  BaseObject* t0 = Link(tag, ROTELIX_TREAD_LINK);
  BaseObject* t1 = Link(tag, ROTELIX_TREAD_LINK + 1);
  ASSERT_TRUE(t0 && t1);
  EXPECT_EQ(t0->GetUp(), Track(tag, 0));
  EXPECT_EQ(t1->GetUp(), Track(tag, 1));
  EXPECT_EQ(t0->GetName(), "Tread Link");
}

TEST_F(TagTest, EnablingFollowsTimeSwitchAndCounts) {
  BaseTag* tag = NewTag(NewCar());
  auto on = [&](LONG id) { return hostdesc::IsEnabled(tag, DescID(id)); };
  EXPECT_TRUE(on(ROTELIX_ADD_AXLE));
  EXPECT_FALSE(on(ROTELIX_REMOVE_AXLE));
  for (LONG id : {1500, 1502, 1505, 1530, 1552, 1605}) EXPECT_FALSE(on(id)) << id;  // rig switched off

  Bc(tag).SetBool(ROTELIX_ON, true);
  EXPECT_TRUE(on(ROTELIX_ADD_ROLLER));
  EXPECT_FALSE(on(ROTELIX_REMOVE_ROLLER));
  EXPECT_TRUE(on(ROTELIX_FRONT_TRAVEL));
  EXPECT_FALSE(on(ROTELIX_REAR_TRAVEL));
  EXPECT_FALSE(on(ROTELIX_BUILD_TREADS));
  Press(tag, ROTELIX_BUILD_TRACKS);
  EXPECT_TRUE(on(ROTELIX_BUILD_TREADS));
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 8);
  Bc(tag).SetLong(ROTELIX_ROLLER_COUNT, 8);
  EXPECT_FALSE(on(ROTELIX_ADD_AXLE));
  EXPECT_FALSE(on(ROTELIX_ADD_ROLLER));
  EXPECT_TRUE(on(ROTELIX_REMOVE_AXLE));

  doc->SetTime(BaseTime(1.0, 30.0));  // during playback nothing is editable
  for (LONG id : {998, 1051, 1090, 1450, 1502, 1552}) EXPECT_FALSE(on(id)) << id;
  doc->SetTime(BaseTime(1.0, 0.0));  // a zero denominator is time 0
  EXPECT_TRUE(on(ROTELIX_REMOVE_AXLE));
}

TEST_F(TagTest, DescriptionHoldsTheDynamicEntries) {
  BaseTag* tag = NewTag(NewCar());
  Description desc;
  ASSERT_TRUE(hostdesc::GetNodeDescription(tag, &desc));
  EXPECT_EQ(desc.GetResourceName(), "Trotelix");
  EXPECT_NE(desc.Find(DescID(ROTELIX_TRACK_AXLE)), nullptr);
  EXPECT_NE(desc.Find(DescID(ROTELIX_TRACK_AXLE + 1)), nullptr);
  EXPECT_EQ(desc.Find(DescID(ROTELIX_TRACK_AXLE + 2)), nullptr);
  EXPECT_EQ(desc.Find(DescID(ROTELIX_AXLE_GROUP)), nullptr);
  EXPECT_EQ(desc.Find(DescID(ROTELIX_ROLLER_LINK)), nullptr);
  EXPECT_EQ(desc.GetParameter(DescID(ROTELIX_TRACK_AXLE))->GetString(DESC_NAME), "Axle Front ");

  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 2);
  Bc(tag).SetLong(ROTELIX_ROLLER_COUNT, 1);
  ASSERT_TRUE(hostdesc::GetNodeDescription(tag, &desc));
  const BaseContainer* group = desc.GetParameter(DescID(ROTELIX_AXLE_GROUP + 1));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GetString(DESC_NAME), "Axle 4");
  EXPECT_EQ(group->GetLong(DESC_COLUMNS), 3);
  EXPECT_EQ(group->GetLong(DESC_PARENTGROUP), ROTELIX_GROUP_AXLES);
  const BaseContainer* wheels = desc.GetParameter(DescID(ROTELIX_AXLE_TEMPLATE + 1));
  ASSERT_NE(wheels, nullptr);
  EXPECT_EQ(wheels->GetContainer(DESC_CYCLE).GetString(1), "Rear Size");
  EXPECT_EQ(wheels->GetLong(DESC_PARENTGROUP), ROTELIX_AXLE_GROUP + 1);
  const BaseContainer* sweep = desc.GetParameter(DescID(ROTELIX_SKID_LINK + 3));
  ASSERT_NE(sweep, nullptr);
  EXPECT_EQ(sweep->GetString(DESC_NAME), "Skid Marks R");
  EXPECT_EQ(sweep->GetContainer(DESC_ACCEPT).GetString(Osweep), "Osweep");
  EXPECT_EQ(desc.GetParameter(DescID(ROTELIX_TRACK_AXLE + 3))->GetString(DESC_NAME), "Axle 4");
  EXPECT_EQ(desc.Find(DescID(ROTELIX_TRACK_AXLE + 4)), nullptr);
  EXPECT_NE(desc.Find(DescID(ROTELIX_ROLLER_LINK + 1)), nullptr);
  EXPECT_NE(desc.Find(DescID(ROTELIX_SELECT_ROLLER)), nullptr);
  EXPECT_EQ(desc.Find(DescID(ROTELIX_SELECT_ROLLER + 1)), nullptr);

  // Within a group: template, switch, empty cell; springs; skid marks.
  std::vector<LONG> order;
  for (const DescEntry& e : desc.Entries())
    if (e.parent.GetDepth() > 0 && e.parent[0].id == ROTELIX_AXLE_GROUP) order.push_back(e.id[0].id);
  EXPECT_EQ(order, (std::vector<LONG>{1140, 1160, 0, 1250, 1251, 1320, 1200, 1201, 1300}));

  // The dynamic link entries carry the host's link data type 133.
  for (LONG id : {1200, 1201, 1202, 1203, 1250, 1251, 1252, 1253, 1400, 1401}) {
    auto e = std::find_if(desc.Entries().begin(), desc.Entries().end(),
                          [&](const DescEntry& d) { return d.id.GetDepth() > 0 && d.id[0].id == id; });
    ASSERT_NE(e, desc.Entries().end()) << id;
    EXPECT_EQ(e->id[0].dtype, 133) << id;
  }
}

TEST_F(TagTest, RefusedDescriptionEntryEndsTheDescription) {
  BaseTag* tag = NewTag(NewCar());
  Description desc;
  ASSERT_TRUE(desc.LoadDescription(ID_ROTELIX));
  LONG flags = 0;
  hostdesc::FailSetParameterAfter(2);
  EXPECT_FALSE(Data(tag)->GetDDescription(tag, &desc, flags));
  EXPECT_NE(desc.Find(DescID(ROTELIX_TRACK_AXLE)), nullptr);
  EXPECT_EQ(desc.Find(DescID(ROTELIX_TRACK_AXLE + 1)), nullptr);
  EXPECT_EQ(flags, 0);
}

}  // namespace
