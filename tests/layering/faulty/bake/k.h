#pragma once
#include "tags/u.h"
#include "engine/low.h"
