// The member list is public (the installed Control expands it too); the
// internal layers keep including it by this name.
#pragma once

#include "orvane/members.h"
