// tags/ and bake/ include each other, though no two files do.
#pragma once
#include "bake/k.h"
