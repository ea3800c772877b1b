#pragma once
// What the command's own tests share: where the built command is, and a
// file's bytes as the command left them.

#include <fstream>
#include <sstream>
#include <string>

namespace orvane::testing {

inline std::string Orvane() { return std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane"; }

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace orvane::testing
