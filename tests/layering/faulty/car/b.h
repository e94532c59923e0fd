// The other half, spelled from beside it.
#pragma once
#include "a.h"
