// Puts the process in a locale whose decimal point is ',' for one scope, and
// back in the one it had, however the test ends.
#pragma once

#include <clocale>
#include <string>

namespace orvane::testing {

class CommaLocale {
 public:
  CommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name :
         {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        name_ = name;
        break;
      }
    }
  }
  ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // The locale in force, or nullptr when none is installed.
  const char* name() const { return name_; }

 private:
  std::string saved_;
  const char* name_ = nullptr;
};

}  // namespace orvane::testing
