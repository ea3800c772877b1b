// Navigation to the active waypoint (RMB, BOD), the route (RTE) and the
// waypoints (WPL).
#pragma once

#include <mutex>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/sentence.h"
#include "presentation/settings.h"

namespace orvane {

class NavigationState {
 public:
  explicit NavigationState(const Settings& settings);
  virtual ~NavigationState();

  void ParseRmb(const SentenceFields& f);
  void ParseBod(const SentenceFields& f);
  void ParseRte(const SentenceFields& f);
  void ParseWpl(const SentenceFields& f);

  NavUpdateArgs UpdateArgs() const;

 private:
  const Settings& settings_;
  mutable std::mutex mutex_;
};

}  // namespace orvane
