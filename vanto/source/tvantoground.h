// The VantoGround tag.
#pragma once

#include "main.h"

class VantoGround : public TagData {
 public:
  static NodeData* Alloc() { return new VantoGround; }
};
