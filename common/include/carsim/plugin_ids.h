// The plug-in IDs of the three modules. The host registers and finds every
// object and tag by these, scene files store them, and a module recognises
// another's objects by them, so they never change. Stand-alone.
#pragma once

#include <cstdint>

enum : std::int32_t {
  ID_SIM = 1011582,
  ID_CAR = 1019402,
  ID_VANTOROUTE = 1019403,
  ID_VANTOCOMMANDS = 1019404,
  ID_VANTOGROUND = 1019405,
  ID_VANTOHELP = 1034669,
  ID_KOLVARIS = 1025778,
  ID_ROTELIX = 1026470,
};

static_assert(ID_SIM == 1011582 && ID_CAR == 1019402 && ID_VANTOROUTE == 1019403 && ID_VANTOCOMMANDS == 1019404 &&
              ID_VANTOGROUND == 1019405 && ID_VANTOHELP == 1034669 && ID_KOLVARIS == 1025778 && ID_ROTELIX == 1026470);
