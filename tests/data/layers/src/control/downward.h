#pragma once

#include "engine/receiver.h"
