// The library names some objects from the string table of the module that
// links it; the suite links no module, so every string reads empty.
#include "host_plugin.h"

String GeLoadString(LONG) { return String(); }
