// Error records: the POSIX counterpart of the thread's error object. A failing
// member records one through ReportError; the host takes it with
// TakeErrorRecord, which clears it, as GetErrorInfo does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "automation/platform.h"

namespace orvane {

inline constexpr std::string_view kErrorSource = "OrvaneMod.Orvane.1";
inline constexpr std::string_view kErrorInterface = "IOrvane";

inline constexpr std::string_view kMsgPortClosed = "Port is closed.";
inline constexpr std::string_view kMsgGetCommState = "GetCommState() call failed.";
inline constexpr std::string_view kMsgSetCommState = "SetCommState() call failed.";
inline constexpr std::string_view kMsgAlreadyOpen = "Port or file is already open.";
inline constexpr std::string_view kMsgCannotOpenPort =
    "Could not open port.  This may be because the port does not exist or is already in use.";
inline constexpr std::string_view kMsgSetCommTimeouts = "SetCommTimeouts() call failed.";
inline constexpr std::string_view kMsgCannotOpenFile = "Unable to open file.";
inline constexpr std::string_view kMsgInvalidArg = "An invalid argument was supplied.";
inline constexpr std::string_view kMsgUnexpected = "An unexpected error occurred.";

// The one description of each code the control reports; empty for any other.
std::string_view ErrorDescription(HRESULT code);

struct ErrorRecord {
  std::u16string source;       // the control's versioned ProgID
  std::string interface_name;  // "IOrvane"
  std::string interface_id;    // the IID of IOrvane in registry form
  std::u16string description;
  friend bool operator==(const ErrorRecord&, const ErrorRecord&) = default;
};

// Records source, interface and description for the calling thread and returns
// `result`. The description is text in the ANSI code page. On Windows it also
// sets the thread's COM error object.
HRESULT ReportError(std::string_view description, HRESULT result);
// The thread record alone, which both platforms' ReportError keep.
void RecordError(std::string_view description);
// Convenience: ReportError(ErrorDescription(code), code).
HRESULT ReportError(HRESULT code);

void SetErrorRecord(std::optional<ErrorRecord> record);
// Takes the calling thread's record and clears it.
std::optional<ErrorRecord> TakeErrorRecord();
// Looks without clearing.
const std::optional<ErrorRecord>& PeekErrorRecord();

// S_OK for the IID of IOrvane (registry form, case-insensitive), else S_FALSE.
HRESULT InterfaceSupportsErrorInfo(std::string_view iid);

}  // namespace orvane
