// The host's functions as a module sees them: each one calls its entry in the
// tables the host handed over.
#include <cstdio>

#include "host_iface.h"

namespace hostiface {
void ReportMissing(const char* entry, std::atomic<bool>& reported) {
  if (!reported.exchange(true))
    std::fprintf(stderr, "host interface: the host provides no function %s; the call does nothing\n", entry);
}
}  // namespace hostiface

#define HOST_FORWARD_MEMBER(svc, entry, Class, member, Ret, params, cv, args) \
  Ret Class::member params cv { HOST_IFACE_CALL(Ret, svc, entry, (this->*fn_) args); }
#define HOST_FORWARD_FUNCTION(svc, entry, function, Ret, params, args) \
  Ret function params { HOST_IFACE_CALL(Ret, svc, entry, fn_ args); }

// One pair of forwarding macros a service, so each list knows its table.
#define HOST_M_scene(...) HOST_FORWARD_MEMBER(scene, __VA_ARGS__)
#define HOST_F_scene(...) HOST_FORWARD_FUNCTION(scene, __VA_ARGS__)
#define HOST_M_container(...) HOST_FORWARD_MEMBER(container, __VA_ARGS__)
#define HOST_F_container(...) HOST_FORWARD_FUNCTION(container, __VA_ARGS__)
#define HOST_M_geometry(...) HOST_FORWARD_MEMBER(geometry, __VA_ARGS__)
#define HOST_F_geometry(...) HOST_FORWARD_FUNCTION(geometry, __VA_ARGS__)
#define HOST_M_animation(...) HOST_FORWARD_MEMBER(animation, __VA_ARGS__)
#define HOST_F_animation(...) HOST_FORWARD_FUNCTION(animation, __VA_ARGS__)
#define HOST_M_description(...) HOST_FORWARD_MEMBER(description, __VA_ARGS__)
#define HOST_F_description(...) HOST_FORWARD_FUNCTION(description, __VA_ARGS__)
#define HOST_M_draw(...) HOST_FORWARD_MEMBER(draw, __VA_ARGS__)
#define HOST_F_draw(...) HOST_FORWARD_FUNCTION(draw, __VA_ARGS__)
#define HOST_M_file(...) HOST_FORWARD_MEMBER(file, __VA_ARGS__)
#define HOST_F_file(...) HOST_FORWARD_FUNCTION(file, __VA_ARGS__)
#define HOST_M_dialog(...) HOST_FORWARD_MEMBER(dialog, __VA_ARGS__)
#define HOST_F_dialog(...) HOST_FORWARD_FUNCTION(dialog, __VA_ARGS__)
#define HOST_M_strings(...) HOST_FORWARD_MEMBER(strings, __VA_ARGS__)
#define HOST_F_strings(...) HOST_FORWARD_FUNCTION(strings, __VA_ARGS__)
#define HOST_M_registry(...) HOST_FORWARD_MEMBER(registry, __VA_ARGS__)
#define HOST_F_registry(...) HOST_FORWARD_FUNCTION(registry, __VA_ARGS__)
#define HOST_M_messages(...) HOST_FORWARD_MEMBER(messages, __VA_ARGS__)
#define HOST_F_messages(...) HOST_FORWARD_FUNCTION(messages, __VA_ARGS__)
#define HOST_M_thread(...) HOST_FORWARD_MEMBER(thread, __VA_ARGS__)
#define HOST_F_thread(...) HOST_FORWARD_FUNCTION(thread, __VA_ARGS__)

HOST_SCENE_TABLE(HOST_M_scene, HOST_F_scene)
HOST_CONTAINER_TABLE(HOST_M_container, HOST_F_container)
HOST_GEOMETRY_TABLE(HOST_M_geometry, HOST_F_geometry)
HOST_ANIMATION_TABLE(HOST_M_animation, HOST_F_animation)
HOST_DESCRIPTION_TABLE(HOST_M_description, HOST_F_description)
HOST_DRAW_TABLE(HOST_M_draw, HOST_F_draw)
HOST_FILE_TABLE(HOST_M_file, HOST_F_file)
HOST_DIALOG_TABLE(HOST_M_dialog, HOST_F_dialog)
HOST_STRING_TABLE(HOST_M_strings, HOST_F_strings)
HOST_REGISTRY_TABLE(HOST_M_registry, HOST_F_registry)
HOST_MESSAGE_TABLE(HOST_M_messages, HOST_F_messages)
HOST_THREAD_TABLE(HOST_M_thread, HOST_F_thread)

// ---------------------------------------------------------------- values made by the host

BaseTime::BaseTime(Real seconds) {
  *this = [&]() -> BaseTime { HOST_IFACE_CALL(BaseTime, animation, TimeFromSeconds, fn_(seconds)); }();
}

GeData::GeData(const GeData& o) { *this = o; }
GeData::~GeData() = default;
GeData::GeData(const BaseList2D* node) {
  *this = [&]() -> GeData { HOST_IFACE_CALL(GeData, container_values, DataFromLink, fn_(node)); }();
}
GeData::GeData(const BaseContainer& bc) {
  *this = [&]() -> GeData { HOST_IFACE_CALL(GeData, container_values, DataFromContainer, fn_(&bc)); }();
}
GeData::GeData(const CustomDataType& custom) {
  *this = [&]() -> GeData { HOST_IFACE_CALL(GeData, container_values, DataFromCustom, fn_(&custom)); }();
}

Bool NodeData::GetDDescription(GeListNode* node, Description* description, LONG& flags) {
  HOST_IFACE_CALL(Bool, description, DefaultDescription, fn_(this, node, description, flags));
}

GeDialog::~GeDialog() {
  [&] { HOST_IFACE_CALL(void, dialog, Destroyed, fn_(this)); }();
}

// ---------------------------------------------------------------- host memory

void* GeAllocImpl(std::size_t size, const char* file, int line) {
  HOST_IFACE_CALL(void*, memory, GeAlloc, fn_(size, file, line));
}
void GeFreeImpl(void* p) { HOST_IFACE_CALL(void, memory, GeFree, fn_(p)); }
void* NodeData::operator new(std::size_t size) noexcept { HOST_IFACE_CALL(void*, memory, NodeAlloc, fn_(size)); }
void NodeData::operator delete(void* p) { HOST_IFACE_CALL(void, memory, NodeFree, fn_(p)); }
