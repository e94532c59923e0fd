// Viewport drawing. The stand-in host has no window: a BaseDraw records every
// drawing call (a test reads the list) and can rasterise the list through its
// camera into an RGB picture, written as PNG.
//
// Coordinates. 3D points are given in the frame set by SetMatrix_Matrix (the
// identity draws in world coordinates; an object's global matrix draws in its
// local frame). 2D calls take screen pixels: x to the right, y down, (0, 0)
// the top-left corner. The camera looks along its matrix's +z axis, +y up.
#pragma once

#include <cstdint>
#include <vector>

#include "host_scene.h"

enum : LONG { Ocamera = 5103 };
enum : LONG { CAMERA_FOCUS = 500 };  // camera focal length in mm (36 mm film width)

// Flags of the 3D line calls.
enum : LONG { NOCLIP_D = 1, NOCLIP_Z = 2 };
enum : LONG { DRAWHANDLE_MINI = 0, DRAWHANDLE_SMALL = 1, DRAWHANDLE_MIDDLE = 2, DRAWHANDLE_BIG = 3 };
// View colour numbers (GetViewColor).
enum : LONG {
  VIEWCOLOR_BACKGROUND = 0,
  VIEWCOLOR_ACTIVEPOINT = 7,
  VIEWCOLOR_WIRE = 12,
  VIEWCOLOR_ACTIVEBOX = 29,
  VIEWCOLOR_SPLINESTART = 50,
  VIEWCOLOR_SPLINEEND = 51,
};
Vector GetViewColor(LONG id);

// One recorded call. Points are as the caller gave them; world holds the
// same points in world coordinates (3D calls) and screen in pixels.
struct DrawCall {
  enum Kind {
    kPen,
    kMatrix,
    kLine,
    kLine2D,
    kPoint2D,
    kCircle,
    kHandle,
    kBox,
    kPolygon,
    kState,
  };
  enum State { kDepth = 1, kTransparency = 2, kLineWidth = 3, kPointSize = 4 };
  explicit DrawCall(Kind k = kPen) : kind(k) {}
  Kind kind;
  std::vector<Vector> points;
  std::vector<Vector> world;
  std::vector<Vector> colors;  // per vertex for polygons
  Vector color;                // pen (or the box's colour) at the call
  Matrix matrix;               // the drawing matrix at the call, or the call's own matrix
  LONG flags = 0;              // line flags, handle type, quad, wire, state value
  LONG state = 0;              // which state a kState call sets (DrawCall::State)
  Real size = 0.0;             // box size
  std::uint64_t object = 0;    // serial of the node being drawn (0: none)
};

// What an object tells the host of one of its geometry handles: where it is
// (the object's frame) and how it may be dragged.
enum : LONG { HANDLECONSTRAINTTYPE_LINEAR = 0, HANDLECONSTRAINTTYPE_PLANAR = 1 };
struct HandleInfo {
  Vector position;
  Vector direction;  // the line of motion, or the normal of the plane of motion
  LONG type = HANDLECONSTRAINTTYPE_LINEAR;
};

class BaseView {
 public:
  BaseView(LONG width = 640, LONG height = 480) : width_(width), height_(height) {}
  virtual ~BaseView() = default;
  // The drawable area in pixels.
  void GetFrame(LONG* left, LONG* top, LONG* right, LONG* bottom) const;
  LONG GetWidth() const { return width_; }
  LONG GetHeight() const { return height_; }

  // The camera's global matrix and focal length (the camera looks along +z).
  void SetCamera(const Matrix& mg, Real focal_mm = 36.0);
  Matrix GetMg() const { return camera_; }
  // World to screen: (x, y) pixels, z the depth in front of the camera
  // (zero or negative: behind it). Screen to world at depth z.
  Vector WS(const Vector& p) const;
  Vector SW(const Vector& p) const;

 protected:
  LONG width_, height_;
  Matrix camera_{Vector(0, 0, -1000), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)};
  Real focal_px_ = 0.0;  // set by SetCamera
};

class BaseDraw : public BaseView {
 public:
  BaseDraw(LONG width = 640, LONG height = 480);

  // The handle the mouse is over (headless: set by the caller), -1 for none.
  void SetHighlightHandle(LONG i) { highlight_handle_ = i; }
  LONG GetHighlightHandleIndex() const { return highlight_handle_; }

  void SetPen(const Vector& color, LONG flags = 0);
  Vector GetPen() const { return pen_; }
  void SetMatrix_Matrix(BaseObject* op, const Matrix& mg, LONG zoffset = 0);
  void DrawLine(const Vector& p1, const Vector& p2, LONG flags);
  void DrawLine2D(const Vector& p1, const Vector& p2);
  void DrawPoint2D(const Vector& p);
  // A circle with centre m.off and radii m.v1, m.v2.
  void DrawCircle(const Matrix& m);
  void DrawHandle(const Vector& p, LONG type, LONG flags);
  // A box with centre m.off reaching size along each of m's axes.
  void DrawBox(const Matrix& m, Real size, const Vector& color, Bool wire);
  // Three (quad false) or four points, one colour each.
  void DrawPolygon(const Vector* p, const Vector* colors, Bool quad);
  // Drawing-state calls: recorded (depth test, transparency), no effect on
  // the picture.
  void SetDepth(Bool on);
  void SetTransparency(LONG t);
  // Line and point modes of the picture: pixel width of lines and size of
  // 2D points (recorded as state calls).
  void SetLineWidth(LONG w);
  void SetPointSize(LONG s);

  // The recorded calls, oldest first.
  const std::vector<DrawCall>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  LONG CountCalls(DrawCall::Kind kind) const;
  // The node the host is drawing; recorded with every call.
  void SetCurrentObject(const BaseList2D* node);

  // Rasterises the recorded calls into RGB bytes (width x height x 3) over
  // the background colour.
  std::vector<std::uint8_t> Rasterize(const Vector& background = Vector(0.25, 0.25, 0.25)) const;

 private:
  void Record(DrawCall&& c);
  Vector pen_{1, 1, 1};
  LONG highlight_handle_ = -1;
  Matrix matrix_;
  std::uint64_t object_ = 0;
  LONG line_width_ = 1;
  LONG point_size_ = 1;
  std::vector<DrawCall> calls_;
};

class BaseDrawHelp {
 public:
  BaseDrawHelp(BaseDraw* bd, BaseDocument* doc, BaseObject* op) : bd_(bd), doc_(doc), op_(op) {}
  BaseDocument* GetDocument() const { return doc_; }
  BaseDraw* GetBaseDraw() const { return bd_; }
  // The drawn object's global matrix (identity without one).
  Matrix GetMg() const;

 private:
  BaseDraw* bd_;
  BaseDocument* doc_;
  BaseObject* op_;
};

namespace hostdraw {
// What the host draws of a document into bd: the wireframes of the visible
// objects (point objects' polygons or segments, primitives' boxes, a small
// cross for objects without geometry), the Draw of every plug-in object
// (DRAWPASS_OBJECT, and DRAWPASS_HANDLES for the active object) and of every
// plug-in tag. Objects hidden in the editor (themselves or through a parent)
// are skipped with their tags.
void DrawDocument(BaseDocument* doc, BaseDraw* bd);
// Points the view at the document's first camera object, or, without one,
// at every object's origin from the front, up and to the left.
void FrameDocument(BaseDocument* doc, BaseView* view);

// Writes RGB bytes as an 8-bit PNG. False (with a reason) when the file
// cannot be written.
Bool WritePng(const Filename& file, LONG width, LONG height, const std::vector<std::uint8_t>& rgb, String* error);

struct RenderOptions {
  LONG width = 640;
  LONG height = 480;
};
// simhost render: sets the document to frame (at its frame rate), evaluates
// it (animation and expressions), draws it through its camera and writes the
// picture. False (with a reason) when the picture cannot be written.
Bool RenderFrame(BaseDocument* doc, LONG frame, const Filename& out, const RenderOptions& opts, String* error,
                 BaseDraw* record = nullptr);
}  // namespace hostdraw
