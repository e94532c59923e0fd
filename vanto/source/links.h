// Objects reached through the object links in a container: the Car never
// keeps pointers to its rig, groups or instruments between evaluations.
#pragma once

#include "host_container.h"
#include "host_scene.h"

// The object linked at id, resolved in doc; null for an empty or stale link.
inline BaseObject* Link(BaseDocument* doc, const BaseContainer& bc, LONG id) { return bc.GetObjectLink(id, doc); }
inline BaseObject* Link(BaseDocument* doc, const BaseObject* op, LONG id) {
  return Link(doc, *op->GetDataInstance(), id);
}
