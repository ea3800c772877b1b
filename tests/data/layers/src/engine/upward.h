// Planted: the engine reaching up to the control.
#pragma once

#include "automation/variant.h"
#include "control/dispatch.h"
