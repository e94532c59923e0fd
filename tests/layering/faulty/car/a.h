// Half of a cycle between two files of one folder.
#pragma once
#include "car/b.h"
