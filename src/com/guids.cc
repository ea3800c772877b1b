// Defines the identifiers that the widl header only declares.
#include "automation/platform.h"
#include <initguid.h>
#include "OrvaneMod_h.h"
