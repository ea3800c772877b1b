// Which talkers (the two letters after '$') the sentences are accepted from.
#pragma once

#include <bitset>
#include <string_view>

namespace orvane {

class TalkerSet {
 public:
  // GP only: the receivers the control was made for.
  TalkerSet();

  // "*" for every talker, else a comma-separated list of two upper-case
  // letters ("GP,GN,GL"). False, leaving `out` alone, for anything else.
  static bool Parse(std::string_view text, TalkerSet* out);

  bool Accepts(std::string_view talker) const;
  // Only GP: satellites keep the receivers' own numbers, one system.
  bool GpOnly() const { return !all_ && codes_.count() == 1 && codes_.test(Index('G', 'P')); }

 private:
  static constexpr std::size_t Index(char a, char b) {
    return static_cast<std::size_t>(a - 'A') * 26 + static_cast<std::size_t>(b - 'A');
  }
  bool all_ = false;
  std::bitset<26 * 26> codes_;
};

}  // namespace orvane
