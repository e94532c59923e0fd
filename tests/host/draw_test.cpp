// Viewport drawing: the recorded call list, what the host draws of a
// document, and the rendered picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host_draw.h"
#include "host_loader.h"
#include "host_plugin.h"

namespace {

constexpr LONG kLiner = 993001, kLinerTag = 993002;
const Vector kRed(1, 0, 0), kGreen(0, 1, 0);

// Draws a red line along its own x axis from -50 to 50 (in its frame) and,
// in the handle pass, one handle at its origin.
class Liner : public ObjectData {
 public:
  static NodeData* Alloc() { return new Liner; }
  DRAWRESULT Draw(BaseObject*, LONG pass, BaseDraw* bd, BaseDrawHelp* bh) override {
    bd->SetMatrix_Matrix(nullptr, bh->GetMg());
    bd->SetPen(kRed);
    if (pass == DRAWPASS_OBJECT) bd->DrawLine(Vector(-50, 0, 0), Vector(50, 0, 0), NOCLIP_D);
    if (pass == DRAWPASS_HANDLES) bd->DrawHandle(Vector(), DRAWHANDLE_BIG, 0);
    return DRAWRESULT_OK;
  }
};

// Draws a green point at screen (5, 5).
class LinerTag : public TagData {
 public:
  static NodeData* Alloc() { return new LinerTag; }
  Bool Draw(BaseTag*, BaseObject*, BaseDraw* bd, BaseDrawHelp*) override {
    bd->SetPen(kGreen);
    bd->DrawPoint2D(Vector(5, 5, 0));
    return true;
  }
};

class Drawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    hostregistry::SetCurrentModule("draw_test");
    EXPECT_TRUE(RegisterObjectPlugin(kLiner, "Liner", 0, Liner::Alloc, "Oliner", nullptr, 0));
    EXPECT_TRUE(RegisterTagPlugin(kLinerTag, "LinerTag", TAG_VISIBLE, LinerTag::Alloc, "Tliner", nullptr, 0));
    hostregistry::SetCurrentModule(String());
  }
  static void TearDownTestSuite() { hostregistry::RemoveModule("draw_test"); }
  void SetUp() override {
    doc = BaseDocument::Alloc();
    group = BaseObject::Alloc(Onull);
    liner = BaseObject::Alloc(kLiner);
    ASSERT_NE(liner, nullptr);
    doc->InsertObject(group, nullptr, nullptr);
    doc->InsertObject(liner, group, nullptr);
    liner->SetRelPos(Vector(0, 0, 100));
    ASSERT_NE(liner->MakeTag(kLinerTag), nullptr);
  }
  void TearDown() override { BaseDocument::Free(doc); }
  BaseDocument* doc = nullptr;
  BaseObject* group = nullptr;
  BaseObject* liner = nullptr;
};

TEST(DrawList, CallsAreRecordedWithPenMatrixAndWorldPoints) {
  BaseDraw bd(200, 100);
  LONG l, t, r, b;
  bd.GetFrame(&l, &t, &r, &b);
  EXPECT_EQ(r - l, 199);
  EXPECT_EQ(b - t, 99);

  bd.SetPen(kRed);
  bd.SetMatrix_Matrix(nullptr, MatrixMove(Vector(10, 0, 0)));
  bd.DrawLine(Vector(0, 0, 0), Vector(0, 5, 0), NOCLIP_D);
  const Vector pts[3] = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 0, 1)};
  const Vector cols[3] = {kRed, kGreen, Vector(0, 0, 1)};
  bd.DrawPolygon(pts, cols, false);
  bd.DrawCircle(Matrix(Vector(), Vector(3, 0, 0), Vector(0, 3, 0), Vector(0, 0, 1)));
  bd.DrawBox(Matrix(), 0.5, kGreen, true);
  bd.DrawLine2D(Vector(1, 1, 0), Vector(9, 1, 0));
  bd.SetDepth(true);

  ASSERT_EQ(bd.Calls().size(), 8u);
  const DrawCall& line = bd.Calls()[2];
  EXPECT_EQ(line.kind, DrawCall::kLine);
  EXPECT_EQ(line.points[1], Vector(0, 5, 0));
  EXPECT_EQ(line.world[1], Vector(10, 5, 0));
  EXPECT_EQ(line.color, kRed);
  EXPECT_EQ(line.flags, NOCLIP_D);
  const DrawCall& poly = bd.Calls()[3];
  EXPECT_EQ(poly.colors[1], kGreen);
  EXPECT_EQ(poly.world[1], Vector(11, 0, 0));
  EXPECT_EQ(poly.flags, 0);
  const DrawCall& circle = bd.Calls()[4];
  for (const Vector& p : circle.world) EXPECT_NEAR((p - Vector(10, 0, 0)).GetLength(), 3.0, 1e-9);
  const DrawCall& box = bd.Calls()[5];
  ASSERT_EQ(box.world.size(), 8u);
  EXPECT_EQ(box.world[0], Vector(9.5, -0.5, -0.5));
  EXPECT_EQ(box.world[6], Vector(10.5, 0.5, 0.5));
  EXPECT_EQ(box.color, kGreen);
  EXPECT_EQ(bd.Calls()[7].state, DrawCall::kDepth);
  EXPECT_EQ(bd.CountCalls(DrawCall::kLine2D), 1);
  bd.DrawPolygon(nullptr, nullptr, true);  // nothing to draw, nothing recorded
  EXPECT_EQ(bd.Calls().size(), 8u);
}

TEST(DrawList, CameraProjectionRoundTrips) {
  BaseDraw bd(400, 200);
  bd.SetCamera(Matrix(), 36.0);  // at the origin looking along +z
  const Vector s = bd.WS(Vector(0, 0, 100));
  EXPECT_DOUBLE_EQ(s.x, 200.0);
  EXPECT_DOUBLE_EQ(s.y, 100.0);
  EXPECT_DOUBLE_EQ(s.z, 100.0);
  EXPECT_GT(bd.WS(Vector(10, 0, 100)).x, 200.0);   // +x to the right
  EXPECT_LT(bd.WS(Vector(0, 10, 100)).y, 100.0);   // +y up
  EXPECT_LE(bd.WS(Vector(0, 0, -5)).z, 0.0);       // behind
  const Vector w = bd.SW(Vector(37, 150, 80));
  const Vector back = bd.WS(w);
  EXPECT_NEAR(back.x, 37, 1e-9);
  EXPECT_NEAR(back.y, 150, 1e-9);
}

TEST_F(Drawing, DocumentDrawsWireframesPluginsAndTagsOfVisibleObjects) {
  BaseDraw bd;
  hostdraw::DrawDocument(doc, &bd);
  auto lines_of = [&](const BaseList2D* node, DrawCall::Kind kind) {
    std::vector<const DrawCall*> out;
    for (const DrawCall& c : bd.Calls())
      if (c.object == node->GetSerial() && c.kind == kind) out.push_back(&c);
    return out;
  };
  auto red = lines_of(liner, DrawCall::kLine);
  // The host's cross (3 lines) and the plug-in's line.
  ASSERT_EQ(red.size(), 4u);
  EXPECT_EQ(red.back()->world[0], Vector(-50, 0, 100));
  EXPECT_EQ(red.back()->color, kRed);
  EXPECT_EQ(lines_of(group, DrawCall::kLine).size(), 3u);
  EXPECT_EQ(lines_of(liner->GetFirstTag(), DrawCall::kPoint2D).size(), 1u);
  EXPECT_EQ(bd.CountCalls(DrawCall::kHandle), 0);

  // Handles only for the active object.
  doc->SetActiveObject(liner);
  bd.ClearCalls();
  hostdraw::DrawDocument(doc, &bd);
  EXPECT_EQ(bd.CountCalls(DrawCall::kHandle), 1);

  // A parent hidden in the editor hides its children and their tags; an
  // explicit "on" below it does not.
  group->SetEditorMode(MODE_OFF);
  bd.ClearCalls();
  hostdraw::DrawDocument(doc, &bd);
  EXPECT_EQ(bd.Calls().size(), 0u);
  liner->SetEditorMode(MODE_ON);
  hostdraw::DrawDocument(doc, &bd);
  EXPECT_EQ(lines_of(liner, DrawCall::kLine).size(), 4u);
  EXPECT_EQ(lines_of(group, DrawCall::kLine).size(), 0u);
}

TEST_F(Drawing, RenderedPictureShowsTheLineWhereItShouldBe) {
  BaseObject* camera = BaseObject::Alloc(Ocamera);
  ASSERT_NE(camera, nullptr);
  doc->InsertObject(camera, nullptr, nullptr);
  camera->SetRelPos(Vector(0, 0, -100));  // 200 in front of the line, looking along +z
  group->SetEditorMode(MODE_OFF);
  liner->SetEditorMode(MODE_ON);
  liner->KillTag(kLinerTag);
  liner->SetRelPos(Vector(0, 0, 100));

  const auto file = std::filesystem::temp_directory_path() / ("draw_test_" + std::to_string(::getpid()) + ".png");
  hostdraw::RenderOptions opts;
  opts.width = 160;
  opts.height = 120;
  BaseDraw bd;
  String error;
  ASSERT_TRUE(hostdraw::RenderFrame(doc, 0, Filename(file.string().c_str()), opts, &error, &bd)) << error;

  // The file is a PNG of that size.
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> head(24);
  in.read(reinterpret_cast<char*>(head.data()), 24);
  ASSERT_TRUE(in);
  EXPECT_EQ(std::string(head.begin() + 1, head.begin() + 4), "PNG");
  EXPECT_EQ((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19], 160);
  EXPECT_EQ((head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23], 120);
  std::filesystem::remove(file);

  // Pixels: the line runs through the picture's centre row, from x = 40 to
  // x = 120 (focal length 160 px at depth 200: 50 units are 40 px).
  const auto rgb = bd.Rasterize(GetViewColor(VIEWCOLOR_BACKGROUND));
  auto pixel = [&](int x, int y) {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * 160 + x) * 3];
    return Vector(p[0], p[1], p[2]);
  };
  const Vector red(255, 0, 0);
  const Vector end = bd.WS(Vector(50, 0, 100));
  EXPECT_NEAR(end.x, 120.0, 1e-9);
  EXPECT_NEAR(end.y, 60.0, 1e-9);
  for (int x : {42, 60, 80, 100, 118}) EXPECT_EQ(pixel(x, 60), red) << x;
  for (auto [x, y] : {std::pair{30, 60}, {130, 60}, {80, 50}, {80, 70}, {5, 5}}) EXPECT_NE(pixel(x, y), red) << x << "," << y;

  // An unwritable place is an error, not a crash.
  EXPECT_FALSE(hostdraw::RenderFrame(doc, 0, Filename("/nonexistent/dir/x.png"), opts, &error));
  EXPECT_NE(error.find("/nonexistent/dir/x.png"), std::string::npos);
  opts.width = 0;
  EXPECT_FALSE(hostdraw::RenderFrame(doc, 0, Filename(file.string().c_str()), opts, &error));
}

}  // namespace
