// Defines the identifiers that the widl header only declares.
#include <initguid.h>
#include "OrvaneMod_h.h"
#include "automation/platform.h"
