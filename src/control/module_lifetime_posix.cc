#include "control/module_lifetime.h"

namespace orvane {

bool ServeStoppingReader(const std::function<bool()>&, std::chrono::milliseconds) { return true; }

}  // namespace orvane
