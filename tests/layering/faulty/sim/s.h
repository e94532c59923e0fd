// Includes a root from outside the frame.
#pragma once
#include "car/car_object.h"
