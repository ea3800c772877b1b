// One epoch as gpsd's clients read it: a TPV object, and a SKY object when
// the epoch carried satellites. Only what the receiver sent is written: no
// error modelled from DOPs, nothing gpsd computes from its own models.
#pragma once

#include <string>

#include "orvane/snapshots.h"

namespace orvane::cli {

// {"class":"TPV",...} and a line feed.
std::string GpsdTpv(const Epoch& epoch);
// {"class":"SKY",...} and a line feed.
std::string GpsdSky(const Epoch& epoch);

}  // namespace orvane::cli
