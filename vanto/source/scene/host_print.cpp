#include "scene/host_print.h"

#include "host_services.h"

void PrintToHostConsole(const std::string& text) { GePrint(String(text.c_str())); }
