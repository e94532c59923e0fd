// Reaches up to the frame.
#pragma once
#include "frame/top.h"
