#include "engine/fix_state.h"

namespace orvane {

FixState::FixState(const Settings& settings) : settings_(settings) {}
FixState::~FixState() = default;

void FixState::ParseRmc(const SentenceFields&) {}
void FixState::ParseGga(const SentenceFields&) {}
void FixState::ParseGll(const SentenceFields&) {}

FixUpdateArgs FixState::UpdateArgs() const { return {}; }

}  // namespace orvane
