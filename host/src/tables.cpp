// The stand-in host's function tables: every entry is the host's own function.
#include "host_tables.h"

#include <new>

#include "host_loader.h"

#define HOST_FILL_MEMBER(entry, Class, member, Ret, params, cv, args) \
  t.entry = static_cast<Ret(Class::*) params cv>(&Class::member);
#define HOST_FILL_FUNCTION(entry, function, Ret, params, args) t.entry = static_cast<Ret(*) params>(&function);
#define HOST_FILL(LIST) LIST(HOST_FILL_MEMBER, HOST_FILL_FUNCTION)
#define HOST_FILL_TABLE(table, LIST) \
  {                                  \
    auto& t = table;                 \
    HOST_FILL(LIST)                  \
  }

// Reaches what a dialog owns on the host side.
struct HostDialogAccess {
  static void Destroyed(GeDialog* dialog) { dialog->ClearGadgets(); }
};

namespace {

void* MemoryAlloc(std::size_t size, std::size_t align, int kind) {
  const bool array = kind == HOSTMEM_NEW_ARRAY;
  if (align > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
    auto al = static_cast<std::align_val_t>(align);
    return array ? ::operator new[](size, al, std::nothrow) : ::operator new(size, al, std::nothrow);
  }
  return array ? ::operator new[](size, std::nothrow) : ::operator new(size, std::nothrow);
}

void MemoryFree(void* p, std::size_t align, int kind) {
  const bool array = kind == HOSTMEM_NEW_ARRAY;
  if (align > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
    auto al = static_cast<std::align_val_t>(align);
    array ? ::operator delete[](p, al) : ::operator delete(p, al);
  } else {
    array ? ::operator delete[](p) : ::operator delete(p);
  }
}

struct Tables {
  HostSceneTable scene{};
  HostContainerTable container{};
  HostContainerValueTable container_values{};
  HostGeometryTable geometry{};
  HostAnimationTable animation{};
  HostDescriptionTable description{};
  HostDrawTable draw{};
  HostFileTable file{};
  HostDialogTable dialog{};
  HostStringTable strings{};
  HostRegistryTable registry{};
  HostMessageTable messages{};
  HostMemoryTable memory{};
  HostThreadTable thread{};

  Tables() {
    HOST_FILL_TABLE(scene, HOST_SCENE_TABLE)
    HOST_FILL_TABLE(container, HOST_CONTAINER_TABLE)
    container_values.DataFromLink = [](const BaseList2D* node) { return GeData(node); };
    container_values.DataFromContainer = [](const BaseContainer* bc) { return GeData(*bc); };
    container_values.DataFromCustom = [](const CustomDataType* custom) { return GeData(*custom); };
    HOST_FILL_TABLE(geometry, HOST_GEOMETRY_TABLE)
    HOST_FILL_TABLE(animation, HOST_ANIMATION_TABLE)
    animation.TimeFromSeconds = [](Real seconds) { return BaseTime(seconds); };
    HOST_FILL_TABLE(description, HOST_DESCRIPTION_TABLE)
    description.DefaultDescription = [](NodeData* data, GeListNode* node, Description* d, LONG& flags) {
      return data->NodeData::GetDDescription(node, d, flags);
    };
    HOST_FILL_TABLE(draw, HOST_DRAW_TABLE)
    HOST_FILL_TABLE(file, HOST_FILE_TABLE)
    HOST_FILL_TABLE(dialog, HOST_DIALOG_TABLE)
    dialog.Destroyed = &HostDialogAccess::Destroyed;
    HOST_FILL_TABLE(strings, HOST_STRING_TABLE)
    HOST_FILL_TABLE(registry, HOST_REGISTRY_TABLE)
    HOST_FILL_TABLE(messages, HOST_MESSAGE_TABLE)
    HOST_FILL_TABLE(thread, HOST_THREAD_TABLE)
    memory.Alloc = &MemoryAlloc;
    memory.Free = &MemoryFree;
    memory.GeAlloc = &GeAllocImpl;
    memory.GeFree = &GeFreeImpl;
    memory.NodeAlloc = [](std::size_t size) { return NodeData::operator new(size); };
    memory.NodeFree = [](void* p) { NodeData::operator delete(p); };
  }
};

const Tables& TheTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

HostTable HostTables(LONG version, const char* plugin_path) {
  const Tables& t = TheTables();
  return HostTable{version,        plugin_path, &t.scene,       &t.container, &t.container_values,
                   &t.geometry,    &t.animation, &t.description, &t.draw,      &t.file,
                   &t.dialog,      &t.strings,  &t.registry,    &t.messages,  &t.memory,
                   &t.thread};
}
