#include "engine/navigation_state.h"

namespace orvane {

NavigationState::NavigationState(const Settings& settings) : settings_(settings) {}
NavigationState::~NavigationState() = default;

void NavigationState::ParseRmb(const SentenceFields&) {}
void NavigationState::ParseBod(const SentenceFields&) {}
void NavigationState::ParseRte(const SentenceFields&) {}
void NavigationState::ParseWpl(const SentenceFields&) {}

NavUpdateArgs NavigationState::UpdateArgs() const { return {}; }

}  // namespace orvane
