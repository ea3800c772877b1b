#include "automation/error_info.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <thread>

#include "automation/ids.h"
#include "automation/variant.h"

namespace orvane {
namespace {

// Each test starts and ends with no record on its thread.
class ErrorRecords : public ::testing::Test {
 protected:
  void SetUp() override { TakeErrorRecord(); }
  void TearDown() override { TakeErrorRecord(); }
};

TEST_F(ErrorRecords, EveryCodeHasItsOneDescription) {
  struct Row {
    std::uint32_t code;
    const char* text;
  } rows[] = {
      {0x80040200u, "Port is closed."},
      {0x80040201u, "GetCommState() call failed."},
      {0x80040202u, "SetCommState() call failed."},
      {0x80040204u, "Port or file is already open."},
      {0x80040205u,
       "Could not open port.  This may be because the port does not exist or is already in use."},
      {0x80040214u, "SetCommTimeouts() call failed."},
      {0x80040215u, "Unable to open file."},
      {0x80070057u, "An invalid argument was supplied."},
      {0x8000FFFFu, "An unexpected error occurred."},
  };
  for (const Row& r : rows) {
    const HRESULT code = static_cast<HRESULT>(r.code);
    SCOPED_TRACE(r.text);
    EXPECT_EQ(ErrorDescription(code), r.text);
    EXPECT_EQ(ReportError(code), code);
    const auto record = TakeErrorRecord();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(Utf16ToUtf8(record->description), r.text);
    EXPECT_EQ(Utf16ToUtf8(record->source), "OrvaneMod.Orvane.1");
    EXPECT_EQ(record->interface_name, "IOrvane");
    EXPECT_EQ(record->interface_id, kIidIOrvane);
  }
  // The named constants are the same codes.
  EXPECT_EQ(kPortClosed, static_cast<HRESULT>(0x80040200u));
  EXPECT_EQ(kCannotOpenPort, static_cast<HRESULT>(0x80040205u));
  EXPECT_EQ(kCannotOpenFile, static_cast<HRESULT>(0x80040215u));
}

TEST_F(ErrorRecords, OpenPortMessageKeepsTwoBlanks) {
  const std::string_view text = ErrorDescription(kCannotOpenPort);
  EXPECT_NE(text.find("port.  This"), std::string_view::npos);
  EXPECT_EQ(text.find("port. This"), std::string_view::npos);
}

TEST_F(ErrorRecords, UnusedCodesHaveNoDescription) {
  for (std::uint32_t code : {0x80040203u, 0x80040206u, 0x80040213u, 0x80040216u, 0x80004005u, 0u}) {
    SCOPED_TRACE(code);
    EXPECT_TRUE(ErrorDescription(static_cast<HRESULT>(code)).empty());
  }
}

TEST_F(ErrorRecords, DescriptionIsReadInTheAnsiCodePage) {
  EXPECT_EQ(ReportError("90\xB0 too far", E_INVALIDARG), E_INVALIDARG);
  const auto record = TakeErrorRecord();
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->description, u"90\u00B0 too far");
}

TEST_F(ErrorRecords, TakeClearsAndPeekDoesNot) {
  EXPECT_FALSE(PeekErrorRecord().has_value());
  ReportError(kPortClosed);
  ASSERT_TRUE(PeekErrorRecord().has_value());
  EXPECT_TRUE(PeekErrorRecord().has_value());
  EXPECT_TRUE(TakeErrorRecord().has_value());
  EXPECT_FALSE(TakeErrorRecord().has_value());
  EXPECT_FALSE(PeekErrorRecord().has_value());
}

TEST_F(ErrorRecords, LaterReportReplacesEarlier) {
  ReportError(kPortClosed);
  ReportError(E_INVALIDARG);
  const auto record = TakeErrorRecord();
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(Utf16ToUtf8(record->description), kMsgInvalidArg);
}

TEST_F(ErrorRecords, SetErrorRecordInstallsAndClears) {
  ErrorRecord custom;
  custom.description = u"x";
  SetErrorRecord(custom);
  EXPECT_EQ(PeekErrorRecord(), std::optional<ErrorRecord>(custom));
  SetErrorRecord(std::nullopt);
  EXPECT_FALSE(PeekErrorRecord().has_value());
}

TEST_F(ErrorRecords, RecordsBelongToTheirThread) {
  ReportError(kPortClosed);
  bool seen_on_other = true;
  bool other_kept_its_own = false;
  std::thread other([&] {
    seen_on_other = PeekErrorRecord().has_value();
    ReportError(kCannotOpenFile);
    other_kept_its_own = TakeErrorRecord().has_value();
  });
  other.join();
  EXPECT_FALSE(seen_on_other);
  EXPECT_TRUE(other_kept_its_own);
  const auto mine = TakeErrorRecord();
  ASSERT_TRUE(mine.has_value());
  EXPECT_EQ(Utf16ToUtf8(mine->description), kMsgPortClosed);
}

TEST(InterfaceSupportsErrorInfo, OnlyIOrvane) {
  std::string lower(kIidIOrvane);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(InterfaceSupportsErrorInfo(kIidIOrvane), S_OK);
  EXPECT_EQ(InterfaceSupportsErrorInfo(lower), S_OK);
  EXPECT_EQ(InterfaceSupportsErrorInfo(kIidIOrvaneEvents), S_FALSE);
  EXPECT_EQ(InterfaceSupportsErrorInfo(kClsidOrvane), S_FALSE);
  EXPECT_EQ(InterfaceSupportsErrorInfo("{00020400-0000-0000-C000-000000000046}"), S_FALSE);
  EXPECT_EQ(InterfaceSupportsErrorInfo(""), S_FALSE);
  EXPECT_EQ(InterfaceSupportsErrorInfo(kIidIOrvane.substr(1, kIidIOrvane.size() - 2)), S_FALSE);
}

}  // namespace
}  // namespace orvane
