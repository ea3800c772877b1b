// orvane watch: a full-screen view of a receiver or a log.
#pragma once

#include <cstdio>

#include "host.h"

namespace orvane::cli {

// Runs the view until q, an interrupt or --duration; returns the exit status.
int RunWatch(const Options& options, std::FILE* err);

}  // namespace orvane::cli
