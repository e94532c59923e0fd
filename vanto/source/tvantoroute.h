// The VantoRoute tag.
#pragma once

#include "main.h"

class VantoRoute : public TagData {
 public:
  static NodeData* Alloc() { return new VantoRoute; }
};
