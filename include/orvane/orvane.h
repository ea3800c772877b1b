// OrvaneMod for C++ hosts: everything public, in namespace orvane.
#pragma once

#include "orvane/control.h"
#include "orvane/dispatch.h"
#include "orvane/events.h"
#include "orvane/snapshots.h"
#include "orvane/types.h"
#include "orvane/variant.h"
