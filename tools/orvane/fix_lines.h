// The human output: one line per fix, and the closing summary.
#pragma once

#include <cstdio>
#include <span>

#include "automation/variant.h"
#include "epoch_output.h"

namespace orvane {
class OrvaneControl;
}

namespace orvane::cli {

class FixLines final : public EpochOutput {
 public:
  FixLines(OrvaneControl& control, std::FILE* out) : control_(control), out_(out) {}
  // A line from a FixUpdate event's arguments: GP only, classic sentences.
  void PrintFixEvent(std::span<Variant> args);
  // A line per epoch, from the properties as the epoch left them, with the
  // heading and GST's horizontal error when the receiver sent them.
  void Write(const Epoch& epoch) override;

 private:
  OrvaneControl& control_;
  std::FILE* out_;
};

// "summary: N lines in ..." and the count of each sentence type; with
// `other_types`, what "other" holds.
void PrintSummary(OrvaneControl& control, std::FILE* out, double seconds, bool other_types);
// Every property, satellite and waypoint as one JSON object.
void PrintProperties(OrvaneControl& control, std::FILE* out, bool typed);

}  // namespace orvane::cli
