// The VantoCommands tag.
#pragma once

#include "main.h"

class VantoCommands : public TagData {
 public:
  static NodeData* Alloc() { return new VantoCommands; }
};
