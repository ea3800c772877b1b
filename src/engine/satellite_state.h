// Receiver mode, dilution of precision and satellites, from GSA and GSV.
#pragma once

#include <mutex>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/sentence.h"

namespace orvane {

class SatelliteState {
 public:
  SatelliteState();
  virtual ~SatelliteState();

  void ParseGsa(const SentenceFields& f);
  void ParseGsv(const SentenceFields& f);

  SatelliteUpdateArgs UpdateArgs() const;

 private:
  mutable std::mutex mutex_;
};

}  // namespace orvane
