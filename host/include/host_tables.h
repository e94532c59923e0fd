// The host's function tables. At action 1 the host hands a module a
// HostTable: its version number first, then one table a service. Everything a
// module asks of the host goes through these tables; the module links nothing
// of the host itself.
//
// Each service is one list below. An entry is either
//   M(entry, Class, member, Ret, (params), cv, (args))   a member function, or
//   F(entry, function, Ret, (params), (args))             a free or static one.
// The host fills every entry with its own function; the host interface
// library inside each module defines the function by calling the entry.
#pragma once

#include <cstddef>

#include "host_animation.h"
#include "host_description.h"
#include "host_draw.h"
#include "host_file.h"
#include "host_geometry.h"
#include "host_plugin.h"
#include "host_services.h"

#define HOST_SCENE_TABLE(M, F)                                                                              \
  M(GetUp, GeListNode, GetUp, GeListNode*, (), const, ())                                                   \
  M(GetDownLast, GeListNode, GetDownLast, GeListNode*, (), const, ())                                       \
  M(GetDocument, GeListNode, GetDocument, BaseDocument*, (), const, ())                                     \
  M(InsertUnder, GeListNode, InsertUnder, void, (GeListNode * a), , (a))                                    \
  M(InsertAfter, GeListNode, InsertAfter, void, (GeListNode * a), , (a))                                    \
  M(Remove, GeListNode, Remove, void, (), , ())                                                             \
  M(FindCTrack, BaseList2D, FindCTrack, CTrack*, (const DescID& a), const, (a))                             \
  M(InsertTrackSorted, BaseList2D, InsertTrackSorted, Bool, (CTrack * a), , (a))                            \
  F(ObjectAlloc, BaseObject::Alloc, BaseObject*, (LONG a), (a))                                             \
  F(ObjectFree, BaseObject::Free, void, (BaseObject * &a), (a))                                             \
  M(GetMg, BaseObject, GetMg, Matrix, (), const, ())                                                        \
  M(SetMg, BaseObject, SetMg, void, (const Matrix& a), , (a))                                               \
  M(SetMl, BaseObject, SetMl, void, (const Matrix& a), , (a))                                               \
  M(SetRelPos, BaseObject, SetRelPos, void, (const Vector& a), , (a))                                       \
  M(SetRelRot, BaseObject, SetRelRot, void, (const Vector& a), , (a))                                       \
  M(GetTag, BaseObject, GetTag, BaseTag*, (LONG a, LONG b), const, (a, b))                                  \
  M(InsertTag, BaseObject, InsertTag, void, (BaseTag * a, BaseTag * b), , (a, b))                           \
  M(GetTagDataCount, BaseObject, GetTagDataCount, LONG, (LONG a), const, (a))                               \
  M(GetTagDataR, BaseObject, GetTagDataR, const void*, (LONG a), const, (a))                                \
  M(GetTagDataW, BaseObject, GetTagDataW, void*, (LONG a), , (a))                                           \
  F(GetHighlightHandle, BaseObject::GetHighlightHandle, LONG, (BaseObject * a, BaseDraw * b), (a, b))       \
  F(TagAlloc, BaseTag::Alloc, BaseTag*, (LONG a), (a))                                                      \
  M(TagGetObject, BaseTag, GetObject, BaseObject*, (), const, ())                                           \
  M(InsertObject, BaseDocument, InsertObject, void, (BaseObject * a, BaseObject * b, BaseObject * c, Bool d), \
    , (a, b, c, d))                                                                                         \
  F(GetActiveDocument, GetActiveDocument, BaseDocument*, (), ())                                           \
  M(GetActiveObject, BaseDocument, GetActiveObject, BaseObject*, (), const, ())                             \
  M(SetActiveObject, BaseDocument, SetActiveObject, void, (BaseObject * a, LONG b), , (a, b))               \
  M(GetActiveObjects, BaseDocument, GetActiveObjects, void, (AtomArray & a, LONG b), const, (a, b))         \
  M(GetActiveTag, BaseDocument, GetActiveTag, BaseTag*, (), const, ())                                      \
  M(SetActiveTag, BaseDocument, SetActiveTag, void, (BaseTag * a), , (a))                                   \
  M(StartUndo, BaseDocument, StartUndo, Bool, (), , ())                                                     \
  M(AddUndo, BaseDocument, AddUndo, Bool, (LONG a, void* b), , (a, b))                                      \
  M(EndUndo, BaseDocument, EndUndo, Bool, (), , ())                                                         \
  M(ExecutePasses, BaseDocument, ExecutePasses, Bool, (BaseThread * a, Bool b, Bool c, Bool d, LONG e), ,   \
    (a, b, c, d, e))                                                                                        \
  M(PriorityAdd, PriorityList, Add, void, (GeListNode * a, LONG b, LONG c), , (a, b, c))

#define HOST_CONTAINER_TABLE(M, F)                                                                          \
  M(DataGetLong, GeData, GetLong, LONG, (), const, ())                                                      \
  M(DataGetReal, GeData, GetReal, Real, (), const, ())                                                      \
  M(DataGetVector, GeData, GetVector, Vector, (), const, ())                                                \
  M(DataGetString, GeData, GetString, String, (), const, ())                                                \
  M(DataGetCustom, GeData, GetCustomDataType, const CustomDataType*, (LONG a), const, (a))                  \
  M(DataAssign, GeData, operator=, GeData&, (const GeData& a), , (a))                                       \
  M(GetType, BaseContainer, GetType, LONG, (LONG a), const, (a))                                            \
  M(GetBool, BaseContainer, GetBool, Bool, (LONG a, Bool b), const, (a, b))                                 \
  M(GetLong, BaseContainer, GetLong, LONG, (LONG a, LONG b), const, (a, b))                                 \
  M(GetReal, BaseContainer, GetReal, Real, (LONG a, Real b), const, (a, b))                                 \
  M(GetVector, BaseContainer, GetVector, Vector, (LONG a, const Vector& b), const, (a, b))                  \
  M(GetMatrix, BaseContainer, GetMatrix, Matrix, (LONG a, const Matrix& b), const, (a, b))                  \
  M(GetString, BaseContainer, GetString, String, (LONG a, const String& b), const, (a, b))                  \
  M(GetTime, BaseContainer, GetTime, BaseTime, (LONG a, const BaseTime& b), const, (a, b))                  \
  M(GetData, BaseContainer, GetData, const GeData&, (LONG a), const, (a))                                   \
  M(GetObjectLink, BaseContainer, GetObjectLink, BaseObject*, (LONG a, const BaseDocument* b), const, (a, b)) \
  M(GetCustomR, BaseContainer, GetCustomDataType, const CustomDataType*, (LONG a, LONG b), const, (a, b))   \
  M(GetCustomW, BaseContainer, GetCustomDataType, CustomDataType*, (LONG a, LONG b), , (a, b))              \
  M(Sort, GeSortAndSearch, Sort, void, (void* a, LONG b, LONG c), , (a, b, c))

#define HOST_GEOMETRY_TABLE(M, F)                                                                           \
  M(GetPointCount, PointObject, GetPointCount, LONG, (), const, ())                                         \
  M(GetPointR, PointObject, GetPointR, const Vector*, (), const, ())                                        \
  M(GetPointW, PointObject, GetPointW, Vector*, (), , ())                                                   \
  M(ResizePoints, PointObject, ResizePoints, Bool, (LONG a), , (a))                                         \
  F(PolygonAlloc, PolygonObject::Alloc, PolygonObject*, (LONG a, LONG b), (a, b))                           \
  M(GetPolygonCount, PolygonObject, GetPolygonCount, LONG, (), const, ())                                   \
  M(GetPolygonR, PolygonObject, GetPolygonR, const CPolygon*, (), const, ())                                \
  M(GetPolygonW, PolygonObject, GetPolygonW, CPolygon*, (), , ())                                           \
  F(SplineAlloc, SplineObject::Alloc, SplineObject*, (LONG a, LONG b), (a, b))                              \
  M(GetLineObject, SplineObject, GetLineObject, LineObject*, (BaseDocument * a, Real b, BaseThread * c),    \
    const, (a, b, c))                                                                                       \
  M(GetSegmentW, SplineObject, GetSegmentW, Segment*, (), , ())                                             \
  M(GetTangentCount, SplineObject, GetTangentCount, LONG, (), const, ())                                    \
  M(GetTangentW, SplineObject, GetTangentW, Tangent*, (), , ())                                             \
  M(SplineResize, SplineObject, ResizeObject, Bool, (LONG a, LONG b), , (a, b))                             \
  M(GetSplinePoint, SplineObject, GetSplinePoint, Vector, (Real a, LONG b, const Vector* c), const, (a, b, c)) \
  M(GetSplineTangent, SplineObject, GetSplineTangent, Vector, (Real a, LONG b, const Vector* c), const,     \
    (a, b, c))                                                                                              \
  F(CurveAlloc, SplineData::Alloc, SplineData*, (), ())                                                     \
  F(CurveFree, SplineData::Free, void, (SplineData * &a), (a))                                              \
  M(CurveSetRange, SplineData, SetRange, void, (Real a, Real b, Real c, Real d, Real e, Real f), ,          \
    (a, b, c, d, e, f))                                                                                     \
  M(CurveGetRange, SplineData, GetRange, void, (Real * a, Real * b, Real * c, Real * d, Real * e, Real * f), \
    const, (a, b, c, d, e, f))                                                                              \
  M(CurveGetKnotR, SplineData, GetKnot, const SplineKnot*, (LONG a), const, (a))                            \
  M(CurveGetKnotW, SplineData, GetKnot, SplineKnot*, (LONG a), , (a))                                       \
  M(CurveInsertKnot, SplineData, InsertKnot, LONG, (Real a, Real b, LONG c), , (a, b, c))                   \
  M(CurveResetKnots, SplineData, ResetKnots, void, (LONG a), , (a))                                         \
  M(CurveSetAllInterpolation, SplineData, SetAllInterpolation, void, (LONG a), , (a))                       \
  M(CurveGetPoint, SplineData, GetPoint, Vector, (Real a), const, (a))                                      \
  F(LengthAlloc, SplineLengthData::Alloc, SplineLengthData*, (), ())                                        \
  F(LengthFree, SplineLengthData::Free, void, (SplineLengthData * &a), (a))                                 \
  M(LengthInit, SplineLengthData, Init, Bool, (const SplineObject* a, LONG b, const Vector* c), , (a, b, c)) \
  M(UniformToNatural, SplineLengthData, UniformToNatural, Real, (Real a), const, (a))                       \
  M(NaturalToUniform, SplineLengthData, NaturalToUniform, Real, (Real a), const, (a))                       \
  F(SendModelingCommand, SendModelingCommand, Bool, (LONG a, ModelingCommandData & b), (a, b))              \
  F(GetColorProperties, GetColorProperties, ObjectColorProperties, (const BaseObject* a), (a))              \
  F(SetColorProperties, SetColorProperties, void, (BaseObject * a, const ObjectColorProperties& b), (a, b)) \
  F(SetPhong, SetPhong, Bool, (BaseObject * a, Bool b, Bool c, Real d), (a, b, c, d))                       \
  F(Invert, Invert, Matrix, (const Matrix& a), (a))                                                         \
  F(HPBToMatrix, HPBToMatrix, Matrix, (const Vector& a, ROTATIONORDER b), (a, b))                           \
  F(VectorToHPB, VectorToHPB, Vector, (const Vector& a), (a))

#define HOST_ANIMATION_TABLE(M, F)                                                                          \
  M(TimeCompare, BaseTime, Compare, int, (const BaseTime& a), const, (a))                                   \
  M(KeySetValue, CKey, SetValue, void, (Real a), , (a))                                                     \
  M(KeyGetParameter, CKey, GetParameter, Bool, (const DescID& a, GeData& b), const, (a, b))                 \
  M(AddKey, CCurve, AddKey, CKey*, (const BaseTime& a, LONG* b), , (a, b))                                  \
  M(DelKey, CCurve, DelKey, Bool, (LONG a), , (a))                                                          \
  M(FindKeyBefore, CCurve, FindKeyBefore, LONG, (const BaseTime& a), const, (a))                            \
  F(TrackAlloc, CTrack::Alloc, CTrack*, (BaseList2D * a, const DescID& b), (a, b))                          \
  F(TrackFree, CTrack::Free, void, (CTrack * &a), (a))                                                      \
  M(TrackGetCurve, CTrack, GetCurve, CCurve*, (LONG a, Bool b), , (a, b))                                   \
  M(TrackFillKey, CTrack, FillKey, Bool, (BaseDocument * a, BaseList2D * b, CKey * c), , (a, b, c))         \
  M(TrackRemove, CTrack, Remove, void, (), , ())                                                            \
  F(AnimateNode, hostanim::AnimateNode, void, (BaseList2D * a, const BaseTime& b), (a, b))

#define HOST_DESCRIPTION_TABLE(M, F)                                                                        \
  M(LoadDescription, Description, LoadDescription, Bool, (LONG a), , (a))                                   \
  M(SetParameter, Description, SetParameter, Bool, (const DescID& a, const BaseContainer& b, const DescID& c), \
    , (a, b, c))                                                                                            \
  M(GetParameterI, Description, GetParameterI, BaseContainer*, (const DescID& a, AtomArray* b), , (a, b))   \
  M(DynamicAlloc, DynamicDescription, Alloc, DescID, (const BaseContainer& a), , (a))                       \
  M(BrowseInit, DynamicDescription, BrowseInit, void*, (), , ())                                            \
  M(BrowseGetNext, DynamicDescription, BrowseGetNext, Bool, (void* a, DescID* b, const BaseContainer** c), , \
    (a, b, c))                                                                                              \
  M(BrowseFree, DynamicDescription, BrowseFree, void, (void*& a), , (a))                                    \
  F(GetCustomDataTypeDefault, GetCustomDataTypeDefault, BaseContainer, (LONG a), (a))

#define HOST_DRAW_TABLE(M, F)                                                                               \
  M(GetFrame, BaseView, GetFrame, void, (LONG * a, LONG * b, LONG * c, LONG * d), const, (a, b, c, d))      \
  M(SetPen, BaseDraw, SetPen, void, (const Vector& a, LONG b), , (a, b))                                    \
  M(SetMatrix, BaseDraw, SetMatrix_Matrix, void, (BaseObject * a, const Matrix& b, LONG c), , (a, b, c))    \
  M(DrawLine, BaseDraw, DrawLine, void, (const Vector& a, const Vector& b, LONG c), , (a, b, c))            \
  M(DrawLine2D, BaseDraw, DrawLine2D, void, (const Vector& a, const Vector& b), , (a, b))                   \
  M(DrawPoint2D, BaseDraw, DrawPoint2D, void, (const Vector& a), , (a))                                     \
  M(DrawCircle, BaseDraw, DrawCircle, void, (const Matrix& a), , (a))                                       \
  M(DrawHandle, BaseDraw, DrawHandle, void, (const Vector& a, LONG b, LONG c), , (a, b, c))                 \
  M(DrawBox, BaseDraw, DrawBox, void, (const Matrix& a, Real b, const Vector& c, Bool d), , (a, b, c, d))   \
  M(DrawPolygon, BaseDraw, DrawPolygon, void, (const Vector* a, const Vector* b, Bool c), , (a, b, c))      \
  F(GetViewColor, GetViewColor, Vector, (LONG a), (a))

#define HOST_FILE_TABLE(M, F)                                                                               \
  F(Alloc, BaseFile::Alloc, BaseFile*, (), ())                                                              \
  F(Free, BaseFile::Free, void, (BaseFile * &a), (a))                                                       \
  M(Open, BaseFile, Open, Bool, (const Filename& a, LONG b, LONG c, LONG d, LONG e, LONG f), ,              \
    (a, b, c, d, e, f))                                                                                     \
  M(Close, BaseFile, Close, Bool, (), , ())                                                                 \
  M(ReadBytes, BaseFile, ReadBytes, LLONG, (void* a, LLONG b, Bool c), , (a, b, c))                         \
  M(WriteBytes, BaseFile, WriteBytes, Bool, (const void* a, LLONG b), , (a, b))                             \
  M(Seek, BaseFile, Seek, Bool, (LLONG a, LONG b), , (a, b))                                                \
  M(GetPosition, BaseFile, GetPosition, LLONG, (), const, ())                                               \
  M(GetLength, BaseFile, GetLength, LLONG, (), const, ())                                                   \
  M(SetSuffix, Filename, SetSuffix, void, (const String& a), , (a))                                         \
  M(Append, Filename, operator+, Filename, (const Filename& a), const, (a))

#define HOST_DIALOG_TABLE(M, F)                                                                             \
  M(FileSelect, Filename, FileSelect, Bool, (LONG a, LONG b, const String& c, const String& d), , (a, b, c, d)) \
  F(MessageDialog, MessageDialog, void, (const String& a), (a))                                             \
  F(QuestionDialog, QuestionDialog, Bool, (const String& a), (a))                                           \
  M(Open, GeDialog, Open, Bool, (LONG a, LONG b, LONG c, LONG d, LONG e, LONG f, LONG g), ,                 \
    (a, b, c, d, e, f, g))                                                                                  \
  M(RestoreLayout, GeDialog, RestoreLayout, Bool, (LONG a, LONG b, void* c), , (a, b, c))                   \
  M(AddCustomGui, GeDialog, AddCustomGui, DialogGadget*,                                                    \
    (LONG a, LONG b, const String& c, LONG d, LONG e, LONG f, const BaseContainer& g), , (a, b, c, d, e, f, g)) \
  F(GetInputState, GetInputState, Bool, (LONG a, LONG b, BaseContainer & c), (a, b, c))                     \
  F(ShowMouse, GeShowMouse, void, (LONG a), (a))

#define HOST_STRING_TABLE(M, F)                                                                             \
  M(SubStr, String, SubStr, String, (LONG a, LONG b), const, (a, b))                                        \
  M(FindFirst, String, FindFirst, LONG, (std::string_view a, LONG b), const, (a, b))                        \
  M(ToReal, String, ToReal, Real, (Bool * a), const, (a))                                                   \
  M(ToLong, String, ToLong, LONG, (Bool * a), const, (a))                                                   \
  F(LongToString, String::LongToString, String, (LONG a), (a))                                              \
  F(RealToString, String::RealToString, String, (Real a, LONG b), (a, b))                                   \
  M(ResourceInit, GeResource, Init, Bool, (const Filename& a), , (a))                                       \
  M(LoadString, GeResource, LoadString, String, (LONG a), const, (a))

#define HOST_REGISTRY_TABLE(M, F)                                                                           \
  F(RegisterObject, RegisterObjectPlugin, Bool,                                                             \
    (LONG a, const String& b, LONG c, DataAllocator* d, const String& e, BaseBitmap* f, LONG g),            \
    (a, b, c, d, e, f, g))                                                                                  \
  F(RegisterTag, RegisterTagPlugin, Bool,                                                                   \
    (LONG a, const String& b, LONG c, DataAllocator* d, const String& e, BaseBitmap* f, LONG g),            \
    (a, b, c, d, e, f, g))                                                                                  \
  F(RegisterCommand, RegisterCommandPlugin, Bool,                                                           \
    (LONG a, const String& b, LONG c, BaseBitmap* d, const String& e, CommandData* f), (a, b, c, d, e, f))  \
  F(FindPlugin, FindPlugin, BasePlugin*, (LONG a, LONG b), (a, b))

#define HOST_MESSAGE_TABLE(M, F)                                                                            \
  F(GePrint, GePrint, void, (const String& a), (a))                                                         \
  F(EventAdd, EventAdd, void, (LONG a), (a))                                                                \
  F(GeSyncMessage, GeSyncMessage, Bool, (LONG a, LONG b), (a, b))

#define HOST_THREAD_TABLE(M, F) M(TestBreak, BaseThread, TestBreak, Bool, (), const, ())

#define HOST_TABLE_MEMBER_FIELD(entry, Class, member, Ret, params, cv, args) Ret(Class::*entry) params cv;
#define HOST_TABLE_FUNCTION_FIELD(entry, function, Ret, params, args) Ret(*entry) params;
#define HOST_DECLARE_TABLE(Name, LIST)                                   \
  struct Name {                                                          \
    LIST(HOST_TABLE_MEMBER_FIELD, HOST_TABLE_FUNCTION_FIELD)             \
  };

HOST_DECLARE_TABLE(HostSceneTable, HOST_SCENE_TABLE)
HOST_DECLARE_TABLE(HostContainerTable, HOST_CONTAINER_TABLE)
HOST_DECLARE_TABLE(HostGeometryTable, HOST_GEOMETRY_TABLE)
HOST_DECLARE_TABLE(HostDrawTable, HOST_DRAW_TABLE)
HOST_DECLARE_TABLE(HostFileTable, HOST_FILE_TABLE)
HOST_DECLARE_TABLE(HostStringTable, HOST_STRING_TABLE)
HOST_DECLARE_TABLE(HostRegistryTable, HOST_REGISTRY_TABLE)
HOST_DECLARE_TABLE(HostMessageTable, HOST_MESSAGE_TABLE)
HOST_DECLARE_TABLE(HostThreadTable, HOST_THREAD_TABLE)

// Tables with entries that are not plain calls of one host function.
struct HostAnimationTable {
  HOST_ANIMATION_TABLE(HOST_TABLE_MEMBER_FIELD, HOST_TABLE_FUNCTION_FIELD)
  BaseTime (*TimeFromSeconds)(Real seconds);
};

struct HostDescriptionTable {
  HOST_DESCRIPTION_TABLE(HOST_TABLE_MEMBER_FIELD, HOST_TABLE_FUNCTION_FIELD)
  // The base class's own description (NodeData::GetDDescription, not the
  // plug-in's override).
  Bool (*DefaultDescription)(NodeData* data, GeListNode* node, Description* description, LONG& flags);
};

struct HostContainerValueTable {
  GeData (*DataFromLink)(const BaseList2D* node);
  GeData (*DataFromContainer)(const BaseContainer* bc);
  GeData (*DataFromCustom)(const CustomDataType* custom);
};

struct HostDialogTable {
  HOST_DIALOG_TABLE(HOST_TABLE_MEMBER_FIELD, HOST_TABLE_FUNCTION_FIELD)
  // Frees what the host made for a dialog (its gadgets) before it goes.
  void (*Destroyed)(GeDialog* dialog);
};

// Memory of a module: every block its operators new and delete and its node
// allocations hand out comes from the host and goes back to it. kind tells
// the host which of its operators to use (arrays and over-aligned blocks are
// kept apart); Alloc gives null, never throws, when memory is out.
enum : int { HOSTMEM_NEW = 0, HOSTMEM_NEW_ARRAY = 1 };
struct HostMemoryTable {
  void* (*Alloc)(std::size_t size, std::size_t align, int kind);
  void (*Free)(void* p, std::size_t align, int kind);
  void* (*GeAlloc)(std::size_t size, const char* file, int line);
  void (*GeFree)(void* p);
  void* (*NodeAlloc)(std::size_t size);
  void (*NodeFree)(void* p);
};

// The table handed over with action 1 of c4d_main. A module keeps a copy; the
// service tables it points to live as long as the host.
struct HostTable {
  LONG version;             // first 32-bit word: the host version number
  const char* plugin_path;  // the plug-in's folder
  const HostSceneTable* scene;
  const HostContainerTable* container;
  const HostContainerValueTable* container_values;
  const HostGeometryTable* geometry;
  const HostAnimationTable* animation;
  const HostDescriptionTable* description;
  const HostDrawTable* draw;
  const HostFileTable* file;
  const HostDialogTable* dialog;
  const HostStringTable* strings;
  const HostRegistryTable* registry;
  const HostMessageTable* messages;
  const HostMemoryTable* memory;
  const HostThreadTable* thread;  // the break flag
};

// The stand-in host's tables, filled from its own implementation.
HostTable HostTables(LONG version, const char* plugin_path);
