// Creation and teardown of scene nodes (host-internal).
#pragma once

#include "host_scene.h"

class HostNodeFactory {
 public:
  // A node of that type: host-native types through their factory, plug-in
  // types through the registered allocator followed by Init. Null when the
  // type is unknown, the allocation fails or Init refuses.
  static BaseList2D* Create(LONG type, bool tag);
  // Takes the node out of its list and deletes it with its children and tags;
  // the plug-in's Free runs first, while the node is still whole.
  static void Destroy(GeListNode* node);
  // A plain node of a host-native type with no class of its own.
  static BaseObject* NewPlainObject(LONG type) { return new BaseObject(type); }
  static BaseTag* NewPlainTag(LONG type) { return new BaseTag(type); }
  // The node as a BaseObject, or null: what dynamic_cast<BaseObject*> gives,
  // without walking the type info.
  static BaseObject* AsObject(C4DAtom* node) {
    return node && node->is_object_ ? static_cast<BaseObject*>(node) : nullptr;
  }
};
