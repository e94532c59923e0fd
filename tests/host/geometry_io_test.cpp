#include <gtest/gtest.h>

#include <string>

#include "host_geometry.h"
#include "host_scenefile.h"

namespace {

// One object of every geometry kind, with tags and a spline curve.
BaseDocument* MakeScene() {
  BaseDocument* doc = BaseDocument::Alloc();
  PolygonObject* poly = PolygonObject::Alloc(4, 2);
  poly->SetName("ground");
  Vector pts[] = {{0, 0, 0}, {100, 0, 0}, {100, 5, 100}, {0, 0.25, 100}};
  for (int i = 0; i < 4; ++i) poly->GetPointW()[i] = pts[i];
  poly->GetPolygonW()[0] = CPolygon(0, 1, 2);
  poly->GetPolygonW()[1] = CPolygon(0, 2, 3, 1);
  VariableTag* vmap = VariableTag::Alloc(Tvertexmap, 4);
  static_cast<Real*>(vmap->GetDataAddressW())[2] = 0.75;
  poly->InsertTag(vmap, poly->GetTag(Tpolygon));
  SplineData curve;
  curve.SetRange(0, 100, 1, 0, 100, 1);
  curve.InsertKnot(0, 21.5, 0x20);
  curve.InsertKnot(100, 21.5, 0x20);
  SplineKnot k = *curve.GetKnot(1);
  k.tangent_left = Vector(-3.4, -30.8, 0);
  k.interpolation = SPLINEKNOT_CUBIC;
  curve.SetKnot(1, k);
  poly->GetDataInstance()->SetData(1880, GeData(curve));
  doc->InsertObject(poly, nullptr, nullptr);

  SplineObject* sp = SplineObject::Alloc(5, SPLINETYPE_BEZIER);
  sp->SetName("track");
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, true);
  sp->ResizeObject(5, 2);
  sp->GetSegmentW()[0] = Segment{2, true};
  sp->GetSegmentW()[1] = Segment{3, true};
  for (int i = 0; i < 5; ++i) {
    sp->GetPointW()[i] = Vector(i, i * i, -i);
    sp->GetTangentW()[i] = Tangent{Vector(-1, 0, i), Vector(1, 0, -i)};
  }
  doc->InsertObject(sp, poly, nullptr);

  LineObject* line = sp->GetLineObject(doc, 0.25);
  doc->InsertObject(line, nullptr, nullptr);

  BaseObject* ffd = BaseObject::Alloc(Offd);
  ffd->Message(MSG_UPDATE);
  static_cast<FfdObject*>(ffd)->GetPointW()[13] = Vector(1, 2, 3);
  doc->InsertObject(ffd, nullptr, nullptr);

  const LONG primitives[] = {Onull, Ocube, Ocylinder, Olandscape, Orelief, Ohelix, Osplinecircle};
  for (LONG type : primitives) {
    BaseObject* op = BaseObject::Alloc(type);
    op->SetRelPos(Vector(type, 0, 0));
    doc->InsertObject(op, nullptr, nullptr);
  }

  BaseObject* sweep = BaseObject::Alloc(Osweep);
  SplineObject* rail = SplineObject::Alloc(2, SPLINETYPE_LINEAR);
  rail->GetPointW()[1] = Vector(0, 0, 100);
  SplineObject* profile = SplineObject::Alloc(2, SPLINETYPE_LINEAR);
  profile->GetPointW()[0] = Vector(-5, 0, 0);
  profile->GetPointW()[1] = Vector(5, 0, 0);
  rail->SetName("Rail");
  profile->SetName("Profile");
  doc->InsertObject(sweep, nullptr, nullptr);
  doc->InsertObject(rail, sweep, nullptr);
  doc->InsertObject(profile, sweep, nullptr);
  BaseObject* inst = BaseObject::Alloc(Oinstance);
  inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, sweep);
  doc->InsertObject(inst, nullptr, nullptr);
  return doc;
}

std::string Save(const BaseDocument* doc) {
  std::string out;
  String error;
  EXPECT_TRUE(scenefile::SaveToString(doc, &out, &error)) << error;
  return out;
}

TEST(GeometryIO, EveryKindSurvivesASaveAndLoad) {
  BaseDocument* doc = MakeScene();
  const std::string text = Save(doc);
  String error;
  BaseDocument* back = scenefile::LoadFromString(text, &error);
  ASSERT_NE(back, nullptr) << error;
  EXPECT_EQ(Save(back), text);

  auto* poly = dynamic_cast<PolygonObject*>(back->SearchObject("ground"));
  ASSERT_NE(poly, nullptr);
  ASSERT_EQ(poly->GetPointCount(), 4);
  EXPECT_EQ(poly->GetPointR()[3], Vector(0, 0.25, 100));
  ASSERT_EQ(poly->GetPolygonCount(), 2);
  EXPECT_EQ(poly->GetPolygonR()[1], CPolygon(0, 2, 3, 1));
  EXPECT_EQ(poly->GetTagDataCount(Tvertexmap), 4);
  EXPECT_EQ(static_cast<const Real*>(poly->GetTagDataR(Tvertexmap))[2], 0.75);
  // Each data tag once: the loaded object does not gain a second point tag.
  EXPECT_EQ(poly->GetTag(Tpoint, 1), nullptr);
  auto* curve = static_cast<const SplineData*>(poly->GetDataInstance()->GetCustomDataType(1880, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(curve, nullptr);
  EXPECT_TRUE(curve->Equals(*doc->SearchObject("ground")->GetDataInstance()->GetCustomDataType(1880, CUSTOMDATATYPE_SPLINE)));
  EXPECT_EQ(curve->GetKnot(1)->interpolation, SPLINEKNOT_CUBIC);

  auto* sp = dynamic_cast<SplineObject*>(back->SearchObject("track"));
  ASSERT_NE(sp, nullptr);
  EXPECT_EQ(sp->GetSegmentCount(), 2);
  EXPECT_EQ(sp->GetTangentR()[4].vr, Vector(1, 0, -4));
  EXPECT_EQ(sp->GetSplinePoint(0.3, 1), static_cast<SplineObject*>(doc->SearchObject("track"))->GetSplinePoint(0.3, 1));

  BaseObject* ffd = nullptr;
  back->ForEachObject([&](BaseObject* op) {
    if (op->GetType() == Offd) ffd = op;
  });
  ASSERT_NE(ffd, nullptr);
  EXPECT_EQ(static_cast<FfdObject*>(ffd)->GetPointR()[13], Vector(1, 2, 3));
  BaseDocument::Free(back);
  BaseDocument::Free(doc);
}

// A saved scene with one piece of its text replaced.
std::string Edited(const std::string& from, const std::string& to) {
  BaseDocument* doc = MakeScene();
  std::string text = Save(doc);
  BaseDocument::Free(doc);
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(GeometryIO, BadGeometryIsRefusedWithAMessage) {
  struct Case {
    const char* what;
    std::string from, to, message;
  } cases[] = {
      {"polygon index beyond the points", "[0,2,3,1]", "[0,2,3,4]", "uses point 4"},
      {"negative polygon index", "[0,2,3,1]", "[0,-2,3,1]", "uses point -2"},
      {"segments that do not add up", "[3,true]", "[4,true]", "segments hold 6 points"},
      {"null coordinate", "[0.0,0.25,100.0]", "[null,0.25,100.0]", "expected a number"},
      {"text coordinate", "[0.0,0.25,100.0]", "[\"0\",0.25,100.0]", "expected a number"},
      {"short point", "[0.0,0.25,100.0]", "[0.0,0.25]", "expected [x, y, z]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = Edited(c.from, c.to);
    String error;
    BaseDocument* doc = scenefile::LoadFromString(text, &error);
    EXPECT_EQ(doc, nullptr);
    EXPECT_NE(std::string(error).find(c.message), std::string::npos) << error;
    BaseDocument::Free(doc);
  }
}

}  // namespace
