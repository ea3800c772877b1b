#include "engine/talkers.h"

namespace orvane {
namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

TalkerSet::TalkerSet() { codes_.set(Index('G', 'P')); }

bool TalkerSet::Parse(std::string_view text, TalkerSet* out) {
  TalkerSet set;
  set.codes_.reset();
  if (text == "*") {
    set.all_ = true;
    *out = set;
    return true;
  }
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view talker = text.substr(0, comma);
    if (talker.size() != 2 || !IsUpper(talker[0]) || !IsUpper(talker[1])) return false;
    set.codes_.set(Index(talker[0], talker[1]));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *out = set;
  return true;
}

bool TalkerSet::Accepts(std::string_view talker) const {
  if (talker.size() != 2 || !IsUpper(talker[0]) || !IsUpper(talker[1])) return false;
  // '*' means every talker, but "$P..." is a maker's proprietary sentence
  // ("$PGRMC" is Garmin's, not an RMC), never a talker.
  if (all_) return talker[0] != 'P';
  return codes_.test(Index(talker[0], talker[1]));
}

}  // namespace orvane
