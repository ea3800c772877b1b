#include "automation/error_info.h"

namespace orvane {

HRESULT ReportError(std::string_view description, HRESULT result) {
  RecordError(description);
  return result;
}

}  // namespace orvane
