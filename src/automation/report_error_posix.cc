#include "automation/codepage.h"
#include "automation/error_info.h"
#include "automation/ids.h"

namespace orvane {

HRESULT ReportError(std::string_view description, HRESULT result) {
  ErrorRecord record;
  record.source = AnsiToUtf16(kErrorSource);
  record.interface_name = std::string(kErrorInterface);
  record.interface_id = std::string(kIidIOrvane);
  record.description = AnsiToUtf16(description);
  SetErrorRecord(std::move(record));
  return result;
}

}  // namespace orvane
