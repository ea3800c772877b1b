// The most recent fix, decoded from RMC, GGA and GLL.
#pragma once

#include <mutex>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/sentence.h"
#include "presentation/settings.h"

namespace orvane {

class FixState {
 public:
  explicit FixState(const Settings& settings);
  virtual ~FixState();

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseRmc(const SentenceFields& f);
  void ParseGga(const SentenceFields& f);
  void ParseGll(const SentenceFields& f);

  // FixGood, FixDateTime, Latitude, Longitude, Altitude, Speed, TrueCourse as
  // the properties return them now.
  FixUpdateArgs UpdateArgs() const;

 private:
  const Settings& settings_;
  mutable std::mutex mutex_;
};

}  // namespace orvane
