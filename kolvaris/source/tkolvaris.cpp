#include "tkolvaris.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_draw.h"
#include "host_geometry.h"
#include "host_services.h"
#include "carsim/link_message.h"

// ---------------------------------------------------------------- shape

namespace {

const Vector kUp(0.0, 1.0, 0.0);

Vector* AllocPoints(LONG count) {
  if (count <= 0) return nullptr;
  return static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(count)));
}

void Invalidate(CollisionShape& shape) {
  shape.sourceObject = nullptr;
  shape.objectType = 0;
}

// Radius of the sphere round the world centre that holds the transformed
// box: the farthest corner, so a scaled object is held too.
Real WorldBoxRadius(const Matrix& m, const Vector& r) {
  Real best = 0.0;
  for (int sy = -1; sy <= 1; sy += 2)
    for (int sz = -1; sz <= 1; sz += 2) {
      const Real d = m.TransformDirection(Vector(r.x, sy * r.y, sz * r.z)).GetLength();
      if (d > best) best = d;
    }
  return best;
}

// Matrix, centre, rectangle and radius from the object as it stands now.
void MeasureBox(CollisionShape& shape, BaseObject* op) {
  const Matrix m = op->GetMg();
  const Vector mp = op->GetMp();
  const Vector r = op->GetRad();
  shape.matrix = m;
  BoxCorners(Matrix(), r * 2.0, shape.middleRect, BOXCORNERS_MIDDLE);
  for (Vector& c : shape.middleRect) c = m * (c + mp);
  shape.centre = m * mp;
  shape.radius = WorldBoxRadius(m, r);
}

Vector CylinderSize(const BaseContainer& bc) {
  const Real radius = bc.GetReal(PRIM_CYLINDER_RADIUS);
  return Vector(radius, bc.GetReal(PRIM_CYLINDER_HEIGHT), radius);
}

// The spline's line, closed, or null. The caller frees it.
LineObject* ClosedLine(BaseDocument* doc, BaseObject* op) {
  if (!op->GetDataInstance()->GetBool(SPLINEOBJECT_CLOSED)) return nullptr;
  return static_cast<SplineObject*>(op)->GetLineObject(doc, 1.0, nullptr);
}

}  // namespace

void InitCollisionShape(CollisionShape& shape) {
  shape.sourceObject = nullptr;
  shape.objectType = 0;
  shape.radius = 0.0;
  shape.centre = Vector();
  for (Vector& c : shape.middleRect) c = Vector();
  shape.matrix = Matrix();
  shape.points = nullptr;
  shape.pointCount = 0;
  shape.impactSum = Vector();
  shape.impactPoint = Vector();
}

void FreeCollisionShapeCache(CollisionShape& shape) {
  if (shape.points) GeFree(shape.points);
  shape.points = nullptr;
  shape.pointCount = 0;
}

void BoxCorners(const Matrix& m, const Vector& size, Vector* out, LONG flags) {
  const Real hx = size.x / 2.0;
  const Real hz = size.z / 2.0;
  const Real hy = (flags & BOXCORNERS_MIDDLE) ? 0.0 : size.y / 2.0;
  const Vector corners[8] = {Vector(-hx, hy, hz),  Vector(hx, hy, hz),   Vector(hx, hy, -hz),  Vector(-hx, hy, -hz),
                             Vector(-hx, -hy, hz), Vector(-hx, -hy, -hz), Vector(hx, -hy, -hz), Vector(hx, -hy, hz)};
  const int count = (flags & BOXCORNERS_MIDDLE) ? 4 : 8;
  for (int i = 0; i < count; ++i) out[i] = (flags & BOXCORNERS_TRANSFORM) ? m * corners[i] : corners[i];
}

Bool BuildCollisionShape(CollisionShape& shape, BaseDocument* doc, BaseObject* op) {
  FreeCollisionShapeCache(shape);
  if (!op) {
    Invalidate(shape);
    return false;
  }
  const LONG type = op->GetType();
  shape.sourceObject = op;
  shape.objectType = type;
  if (type == ID_CAR) return true;

  BaseContainer* bc = op->GetDataInstance();
  // A cylinder stands along its own Y axis; it is measured that way too, or
  // its footprint would be that of the lying cylinder until it next moves.
  if (type == Ocylinder) bc->SetLong(PRIM_AXIS, PRIM_AXIS_YP);
  MeasureBox(shape, op);
  shape.impactSum = Vector();
  shape.impactPoint = Vector();

  if (type == Ospline) {
    LineObject* line = ClosedLine(doc, op);
    if (!line) {
      Invalidate(shape);
      return false;
    }
    const LONG n = line->GetPointCount();
    const Vector* src = line->GetPointR();
    Vector* pts = src ? AllocPoints(n) : nullptr;
    if (pts) {
      for (LONG k = 0; k < n; ++k) pts[k] = shape.matrix * src[k];
      shape.points = pts;
      shape.pointCount = n;
    }
    BaseObject* lineObject = line;
    BaseObject::Free(lineObject);
    if (!pts) {
      Invalidate(shape);
      return false;
    }
    return true;
  }
  if (type == Ocube) {
    Vector* pts = AllocPoints(8);
    if (!pts) {
      Invalidate(shape);
      return false;
    }
    BoxCorners(shape.matrix, bc->GetVector(PRIM_CUBE_LEN), pts, BOXCORNERS_TRANSFORM);
    shape.points = pts;
    shape.pointCount = 8;
    return true;
  }
  if (type == Ocylinder) {
    Vector* pts = AllocPoints(1);
    if (!pts) {
      Invalidate(shape);
      return false;
    }
    pts[0] = CylinderSize(*bc);
    shape.points = pts;
    shape.pointCount = 1;
    return true;
  }
  Invalidate(shape);
  return false;
}

Bool RefreshCollisionShape(CollisionShape& shape, BaseDocument* doc, BaseObject* op) {
  if (shape.objectType == ID_CAR) return true;
  if (!op) {
    Invalidate(shape);
    return false;
  }
  MeasureBox(shape, op);
  const BaseContainer& bc = *op->GetDataInstance();
  switch (shape.objectType) {
    case Ospline: {
      if (op->GetType() != Ospline) break;
      LineObject* line = ClosedLine(doc, op);
      if (!line) break;
      const LONG n = line->GetPointCount();
      const Vector* src = line->GetPointR();
      const bool fits = shape.points && src && n == shape.pointCount;
      if (fits)
        for (LONG k = 0; k < n; ++k) shape.points[k] = shape.matrix * src[k];
      BaseObject* lineObject = line;
      BaseObject::Free(lineObject);
      if (fits) return true;
      break;
    }
    case Ocube:
      if (!shape.points || shape.pointCount != 8) break;
      BoxCorners(shape.matrix, bc.GetVector(PRIM_CUBE_LEN), shape.points, BOXCORNERS_TRANSFORM);
      return true;
    case Ocylinder:
      if (!shape.points) break;
      shape.points[0] = CylinderSize(bc);
      return true;
    default:
      break;
  }
  Invalidate(shape);
  return false;
}

Bool MatrixEqual(const Matrix& a, const Matrix& b) {
  const Vector* pa[4] = {&a.off, &a.v1, &a.v2, &a.v3};
  const Vector* pb[4] = {&b.off, &b.v1, &b.v2, &b.v3};
  for (int i = 0; i < 4; ++i)
    if (!(pa[i]->x == pb[i]->x && pa[i]->y == pb[i]->y && pa[i]->z == pb[i]->z)) return false;
  return true;
}

Matrix StandUpright(const Matrix& m) {
  Vector v1 = Cross(kUp, m.v3).GetNormalized();
  if (v1 == Vector()) {
    // Z points straight up or down: the heading is that of X laid flat.
    v1 = Vector(m.v1.x, 0.0, m.v1.z).GetNormalized();
    if (v1 == Vector()) v1 = Vector(1.0, 0.0, 0.0);
  }
  const Vector v3 = Cross(v1, kUp).GetNormalized();
  return Matrix(m.off, v1, kUp, v3);
}

// ---------------------------------------------------------------- tag

Kolvaris::Kolvaris() { InitCollisionShape(shape_); }

Kolvaris::~Kolvaris() { FreeCollisionShapeCache(shape_); }

Bool Kolvaris::Init(GeListNode* node) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return true;
  BaseContainer* bc = tag->GetDataInstance();
  bc->SetLong(ADDON_TAG_OWNER, ID_CAR);
  bc->SetReal(KOLVARIS_IMPACT_SCALE, 0.01);
  bc->SetString(ADDON_TAG_VERSION, String(kKolvarisVersionText));
  return true;
}

void Kolvaris::Free(GeListNode*) { FreeCollisionShapeCache(shape_); }

Bool Kolvaris::Message(GeListNode* node, LONG type, void* data) {
  auto* tag = static_cast<BaseTag*>(node);
  switch (type) {
    case MSG_MULTI_DOCUMENTIMPORTED:
      if (tag) tag->GetDataInstance()->SetString(ADDON_TAG_VERSION, String(kKolvarisVersionText));
      return true;
    case MSG_MENUPREPARE: {
      if (!tag) return false;
      // A tag outside a document builds in the one the user works in.
      BaseDocument* doc = tag->GetDocument();
      if (!doc) doc = GetActiveDocument();
      if (!doc) return false;
      BaseObject* op = tag->GetObject();
      if (!op) return false;
      return BuildCollisionShape(shape_, doc, op);
    }
    case MSG_SIMLINK: {
      auto* msg = static_cast<SimLinkMessage*>(data);
      if (msg && msg->command == SIMLINK_GET_RECORD) msg->payload = &shape_;
      return true;
    }
    default:
      return true;
  }
}

Bool Kolvaris::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  if (!node) return false;
  BaseObject* op = static_cast<BaseTag*>(node)->GetObject();
  if (!op) return false;
  return shape_.sourceObject != nullptr && shape_.sourceObject == op && id[0].id < KOLVARIS_FIRST_OUTPUT;
}

Bool Kolvaris::AddToExecution(BaseTag* tag, PriorityList* list) {
  if (tag && list) list->Add(tag, EXECUTIONPRIORITY_EXPRESSION, 0);
  // Added already: the host must not schedule the tag a second time.
  return true;
}

EXECUTIONRESULT Kolvaris::Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread*, LONG, LONG flags) {
  if (!tag || !op) return EXECUTIONRESULT_OK;
  const Real t = doc ? doc->GetTime().Get() : 0.0;
  if (t < 0.001) BuildCollisionShape(shape_, doc, op);
  if (op != shape_.sourceObject) return EXECUTIONRESULT_OK;

  Matrix m = op->GetMg();
  if (shape_.objectType == Ocylinder || shape_.objectType == Ospline) {
    const Matrix upright = StandUpright(m);
    if (!MatrixEqual(upright, m)) {
      op->SetMg(upright);
      op->Message(MSG_UPDATE);
      m = op->GetMg();
    }
  }
  if (t <= 0.0) return EXECUTIONRESULT_OK;
  if (!MatrixEqual(shape_.matrix, m)) RefreshCollisionShape(shape_, doc, op);

  if (flags & EXECUTIONFLAGS_ANIMATION) {
    BaseContainer* bc = tag->GetDataInstance();
    const Real e = bc->GetReal(KOLVARIS_IMPACT_SCALE);
    bc->SetVector(KOLVARIS_IMPACT_POINT, shape_.impactPoint);
    bc->SetVector(KOLVARIS_IMPACT_VECTOR, shape_.impactSum * e);
  }
  return EXECUTIONRESULT_OK;
}

Bool Kolvaris::Draw(BaseTag*, BaseObject* op, BaseDraw* bd, BaseDrawHelp*) {
  if (!op || !bd || op != shape_.sourceObject || shape_.objectType != Ospline) return true;
  if (!op->GetDeformMode() || op->GetEditorMode() == MODE_OFF) return true;
  const LONG n = shape_.pointCount;
  const Vector* p = shape_.points;
  if (!p || n < 1) return true;

  // The cached points are in world coordinates already.
  bd->SetMatrix_Matrix(op, Matrix());
  const ObjectColorProperties colour = GetColorProperties(op);
  bd->SetPen(colour.usecolor != ID_BASEOBJECT_USECOLOR_OFF ? colour.color : GetViewColor(VIEWCOLOR_SPLINESTART), 0);
  // A tick at the middle of every edge, across it, on the side the outline's
  // direction gives: it shows which way the outline runs.
  const Vector up = shape_.matrix.v2;
  for (LONG i = 1; i <= n; ++i) {
    const Vector& prev = p[i - 1];
    const Vector& cur = p[i % n];
    const Vector h = (cur - prev) * 0.5;
    const Vector mid = prev + h;
    bd->DrawLine(mid, mid + Cross(up, h) * 0.5, NOCLIP_D);
  }
  return true;
}
