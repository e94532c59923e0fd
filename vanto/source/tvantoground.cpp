#include "tvantoground.h"

Bool RegisterVantoGround() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOGROUND, nullptr, 10004, TAG_VISIBLE | TAG_EXPRESSION, VantoGround::Alloc,
                            "TvantoGroundexp", "vantoGround.tif");
}
