// The Talkers setting through late binding: IOrvane2's member beside the
// contract's 59.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/error_info.h"
#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"

namespace orvane {
namespace {

HRESULT PutTalkers(OrvaneControl& c, const Variant& value, ExcepInfo* info) {
  std::vector<Variant> args = {value};
  return InvokeByName(c, "Talkers", DISPATCH_PROPERTYPUT, args, nullptr, info);
}

std::string GetTalkers(OrvaneControl& c) {
  std::vector<Variant> none;
  Variant v;
  EXPECT_EQ(InvokeByName(c, "talkers", DISPATCH_PROPERTYGET, none, &v), S_OK);
  EXPECT_EQ(v.vt(), VT_BSTR);
  return v.ToUtf8();
}

TEST(TalkersTest, BelongsToIOrvane2AtDispid100) {
  EXPECT_EQ(Members().size(), 59u);
  const MemberInfo* m = FindMember("Talkers");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->dispid, 100);
  EXPECT_EQ(m->owner, MemberInterface::kIOrvane2);
  for (const MemberInfo& row : Members())
    EXPECT_EQ(row.owner, MemberInterface::kIOrvane) << row.name;
  // Talkers and ExtendedSentences (get and put each), then 23 read-only.
  ASSERT_EQ(AllMembers().size(), 59u + 4 + 23);
  EXPECT_EQ(FindMember(100, MemberKind::kPut), &AllMembers()[60]);
  const MemberInfo* extended = FindMember(101, MemberKind::kPut);
  ASSERT_NE(extended, nullptr);
  EXPECT_EQ(extended->owner, MemberInterface::kIOrvane2);
}

TEST(TalkersTest, PutGetAndRefusals) {
  auto c = CreateOrvaneControl();
  EXPECT_EQ(GetTalkers(*c), "GP") << "the default at construction";
  struct Case {
    Variant value;
    HRESULT hr;  // as Invoke returns it
    HRESULT scode;
    const char* after;
  } cases[] = {
      {Variant::Text("*"), S_OK, S_OK, "*"},
      {Variant::Text("GP,GN,GL"), S_OK, S_OK, "GP,GN,GL"},
      {Variant::Text("gp"), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::Text("GPS"), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::Text("GP,,GN"), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::Text(""), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::Text("G\xB0"), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::I2(12), DISP_E_EXCEPTION, E_INVALIDARG, "GP,GN,GL"},
      {Variant::Null(), DISP_E_TYPEMISMATCH, S_OK, "GP,GN,GL"},
      {Variant::Array({Variant::Text("GP")}), DISP_E_TYPEMISMATCH, S_OK, "GP,GN,GL"},
      {Variant::Text("GP"), S_OK, S_OK, "GP"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(DebugString(k.value));
    ExcepInfo info;
    EXPECT_EQ(PutTalkers(*c, k.value, &info), k.hr);
    if (k.hr == DISP_E_EXCEPTION) {
      EXPECT_EQ(info.scode, k.scode);
      EXPECT_EQ(Variant::Bstr(info.description).ToUtf8(), "An invalid argument was supplied.");
    }
    TakeErrorRecord();
    EXPECT_EQ(GetTalkers(*c), k.after);
  }
}

}  // namespace
}  // namespace orvane
