#include "tvantocommands.h"

Bool RegisterVantoCommands() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOCOMMANDS, nullptr, 10003, TAG_VISIBLE | TAG_EXPRESSION, VantoCommands::Alloc,
                            "TvantoCommandsexp", "vantoCommands.tif");
}
