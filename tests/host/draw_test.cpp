// Viewport drawing: the recorded call list, what the host draws of a
// document, and the rendered picture.
#if CARSIM_HAS_PNG
#include <cairo/cairo.h>
#endif
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host_draw.h"
#include "host_loader.h"
#include "host_plugin.h"

namespace {

constexpr LONG kLiner = 993001, kLinerTag = 993002;
const Vector kRed(1, 0, 0), kGreen(0, 1, 0);

#if CARSIM_HAS_PNG
// A PNG file's pixels as RGB bytes (empty when it cannot be read).
std::vector<unsigned char> ReadPng(const std::string& path, int* width, int* height) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  std::vector<unsigned char> rgb;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    *width = cairo_image_surface_get_width(surface);
    *height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < *height; ++y)
      for (int x = 0; x < *width; ++x) {
        std::uint32_t px;
        std::memcpy(&px, data + static_cast<size_t>(y) * stride + x * 4, 4);
        rgb.insert(rgb.end(), {static_cast<unsigned char>(px >> 16), static_cast<unsigned char>(px >> 8),
                               static_cast<unsigned char>(px)});
      }
  }
  cairo_surface_destroy(surface);
  return rgb;
}
#endif

// Reads pixels of an RGB picture as 0-255 vectors.
struct Picture {
  const std::vector<std::uint8_t>& rgb;
  int width;
  Vector operator()(int x, int y) const {
    const std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return Vector(p[0], p[1], p[2]);
  }
};

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

#if CARSIM_HAS_PNG
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
  in.close();

  // Its pixels are the rasterised draw list's, red where the line runs.
  const auto rgb = bd.Rasterize(GetViewColor(VIEWCOLOR_BACKGROUND));
  int w = 0, h = 0;
  const auto png = ReadPng(file.string(), &w, &h);
  std::filesystem::remove(file);
  ASSERT_EQ(w, 160);
  ASSERT_EQ(h, 120);
  EXPECT_TRUE(png == rgb);

  // The line runs along the picture's centre row, from x = 40 to x = 120
  // (focal length 160 px at depth 200: 50 units are 40 px). Antialiased, it
  // lies on the border of rows 59 and 60 and covers half of each; the rows
  // beyond it and the picture past its ends keep the background.
  const Picture pixel{png, 160};
  const Vector bg = pixel(5, 5);
  EXPECT_NEAR(bg.x, 64, 1);
  EXPECT_EQ(bg.x, bg.y);
  const Vector end = bd.WS(Vector(50, 0, 100));
  EXPECT_NEAR(end.x, 120.0, 1e-9);
  EXPECT_NEAR(end.y, 60.0, 1e-9);
  auto red_cover = [&](int x, int y) { return (pixel(x, y).x - bg.x) / (255.0 - bg.x); };
  for (int x : {42, 60, 100, 118}) {
    EXPECT_NEAR(red_cover(x, 59), 0.5, 0.1) << x;
    EXPECT_NEAR(red_cover(x, 60), 0.5, 0.1) << x;
    EXPECT_LT(pixel(x, 60).y, bg.y * 0.6) << x;
    EXPECT_EQ(pixel(x, 60).y, pixel(x, 60).z) << x;
  }
  // Over the object's own blue cross at the centre the red still dominates.
  EXPECT_GT(pixel(80, 60).x, 2 * std::max(pixel(80, 60).y, pixel(80, 60).z));
  for (auto [x, y] : {std::pair{30, 60}, {130, 60}, {80, 50}, {80, 70}, {60, 58}, {60, 61}, {100, 20}})
    EXPECT_EQ(pixel(x, y), bg) << x << "," << y;

  // An unwritable place is an error, not a crash.
  EXPECT_FALSE(hostdraw::RenderFrame(doc, 0, Filename("/nonexistent/dir/x.png"), opts, &error));
  EXPECT_NE(error.find("/nonexistent/dir/x.png"), std::string::npos);
  opts.width = 0;
  EXPECT_FALSE(hostdraw::RenderFrame(doc, 0, Filename(file.string().c_str()), opts, &error));
  // A folder in the file's place, a missing name and pixels that do not
  // fit the size are errors too.
  const std::vector<std::uint8_t> grey(4 * 3 * 3, 128);
  EXPECT_FALSE(hostdraw::WritePng(Filename(std::filesystem::temp_directory_path().string().c_str()), 4, 3, grey, &error));
  EXPECT_FALSE(hostdraw::WritePng(Filename(""), 4, 3, grey, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(hostdraw::WritePng(Filename(file.string().c_str()), 5, 3, grey, &error));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(DrawPicture, ScreenCallsKeepTheirPlacePenWidthAndSize) {
  BaseDraw bd(40, 30);
  const Vector bg(0.25, 0.25, 0.25);
  bd.SetPen(kRed);
  bd.DrawLine2D(Vector(2, 10.5, 0), Vector(37, 10.5, 0));  // along the middle of row 10
  bd.SetLineWidth(5);
  bd.SetPen(kGreen);
  bd.DrawLine2D(Vector(20.5, 14, 0), Vector(20.5, 28, 0));  // columns 18 to 22
  bd.SetPointSize(3);
  bd.SetPen(Vector(0, 0, 1));
  bd.DrawPoint2D(Vector(5, 25, 0));  // pixels 4 to 6 around (5, 25)
  bd.SetPen(Vector(std::nan(""), 2.0, -1.0));  // out of range: clamped, no harm
  bd.DrawLine2D(Vector(std::nan(""), 0, 0), Vector(10, 10, 0));
  bd.DrawPoint2D(Vector(1e30, -1e30, 0));
  bd.DrawLine2D(Vector(30, 2.5, 0), Vector(38, 2.5, 0));  // still 5 pixels wide
  const auto rgb = bd.Rasterize(bg);
  ASSERT_EQ(rgb.size(), 40u * 30u * 3u);
  const Picture pixel{rgb, 40};
  const Vector grey = pixel(39, 29), red(255, 0, 0), green(0, 255, 0), blue(0, 0, 255);
  EXPECT_NEAR(grey.x, 64, 1);
  for (int x : {3, 10, 36}) {
    EXPECT_EQ(pixel(x, 10), red) << x;
    EXPECT_EQ(pixel(x, 9), grey) << x;
    EXPECT_EQ(pixel(x, 11), grey) << x;
  }
  for (int x = 18; x <= 22; ++x) EXPECT_EQ(pixel(x, 20), green) << x;
  EXPECT_EQ(pixel(17, 20), grey);
  EXPECT_EQ(pixel(23, 20), grey);
  for (auto [x, y] : {std::pair{4, 24}, {6, 26}, {5, 25}}) EXPECT_EQ(pixel(x, y), blue) << x << "," << y;
  for (auto [x, y] : {std::pair{3, 25}, {7, 25}, {5, 23}, {5, 27}}) EXPECT_EQ(pixel(x, y), grey) << x << "," << y;
  EXPECT_EQ(pixel(34, 2), green);
}

TEST(DrawPicture, PolygonsBlendTheirCornerColoursAndSurviveTheCameraPlane) {
  BaseDraw bd(100, 100);
  bd.SetCamera(Matrix(), 36.0);  // focal length 100 px: at depth 100 a unit is a pixel
  const Vector blue(0, 0, 1);
  const Vector quad[4] = {Vector(-40, 40, 100), Vector(40, 40, 100), Vector(40, -40, 100), Vector(-40, -40, 100)};
  const Vector colours[4] = {kRed, kRed, blue, blue};  // red along the top, blue along the bottom
  bd.DrawPolygon(quad, colours, true);
  // A line from the middle of row 70 to a point just in front of the
  // camera, projected twelve million pixels to the right: it still runs
  // along row 70 to the picture's edge.
  bd.SetPen(kGreen);
  bd.DrawLine(Vector(-20, -20.5, 100), Vector(132, -20.5 * 1.1e-3 / 100, 1.1e-3), 0);
  // A triangle (in the pen's colour) reaching from the bottom-left corner
  // to just in front of the camera, far up and to the left.
  const Vector near_tri[3] = {Vector(-45, -45, 100), Vector(-35, -45, 100), Vector(-132, 132, 1.1e-3)};
  bd.DrawPolygon(near_tri, nullptr, false);

  const auto rgb = bd.Rasterize();
  const Picture pixel{rgb, 100};
  const Vector top = pixel(50, 12), middle = pixel(50, 50), bottom = pixel(50, 87);
  EXPECT_GT(top.x, 220);
  EXPECT_LT(top.z, 35);
  EXPECT_GT(bottom.z, 220);
  EXPECT_LT(bottom.x, 35);
  EXPECT_NEAR(middle.x, 128, 20);
  EXPECT_NEAR(middle.z, 128, 20);
  EXPECT_EQ(middle.y, 0);
  EXPECT_EQ(pixel(5, 50), pixel(95, 50));  // background either side
  EXPECT_NEAR(pixel(5, 50).x, 64, 1);
  for (int x : {40, 70, 99}) EXPECT_EQ(pixel(x, 70), Vector(0, 255, 0)) << x;
  EXPECT_EQ(pixel(40, 69).y, 0);  // the quad just above the line
  EXPECT_EQ(pixel(6, 94), Vector(0, 255, 0));
}
#else
TEST_F(Drawing, WithoutPngOutputRenderingFailsWithAReasonAndWritesNothing) {
  const auto file = std::filesystem::temp_directory_path() / ("draw_test_" + std::to_string(::getpid()) + ".png");
  hostdraw::RenderOptions opts;
  opts.width = 16;
  opts.height = 12;
  String error;
  EXPECT_FALSE(hostdraw::RenderFrame(doc, 0, Filename(file.string().c_str()), opts, &error));
  EXPECT_NE(error.find("no PNG output"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(file));
  // The picture is the plain background, at its size.
  BaseDraw bd(4, 3);
  bd.DrawLine2D(Vector(0, 1.5, 0), Vector(4, 1.5, 0));
  std::vector<std::uint8_t> plain;
  for (int i = 0; i < 4 * 3; ++i) plain.insert(plain.end(), {255, 0, 128});
  EXPECT_EQ(bd.Rasterize(Vector(1, 0, 0.5)), plain);
}
#endif

}  // namespace
