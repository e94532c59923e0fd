#include "tvantoroute.h"

Bool RegisterVantoRoute() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOROUTE, nullptr, 10002, TAG_VISIBLE | TAG_EXPRESSION, VantoRoute::Alloc,
                            "TvantoRouteexp", "vantoRoute.tif");
}
