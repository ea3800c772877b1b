#include "engine/satellite_state.h"

namespace orvane {

SatelliteState::SatelliteState() = default;
SatelliteState::~SatelliteState() = default;

void SatelliteState::ParseGsa(const SentenceFields&) {}
void SatelliteState::ParseGsv(const SentenceFields&) {}

SatelliteUpdateArgs SatelliteState::UpdateArgs() const { return {}; }

}  // namespace orvane
