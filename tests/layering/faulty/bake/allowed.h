#pragma once
#include "engine/low.h"
