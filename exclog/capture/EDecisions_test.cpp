#include "exclog/capture/EDecisions.h"

#include <gtest/gtest.h>

#include "classlib/SysUtils.h"
#include "exclog/core/EObjects.h"

namespace exclog {
namespace {

TEST(Decisions, DialogKindForEveryConfiguredKindAndProgram) {
  using P = TProgramKind;
  const P programs[] = {P::Windowed, P::Console, P::WebExtension, P::Cgi, P::Service};
  // Rows: configured 0, 1, 2, 3 and 255; columns in the order of `programs`.
  const uint8_t expected[5][5] = {{0, 1, 2, 2, 2}, {0, 1, 0, 0, 0}, {2, 2, 2, 2, 2}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}};
  const uint8_t configured[5] = {0, 1, 2, 3, 255};
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 5; ++col)
      EXPECT_EQ(EffectiveDialogKind(configured[row], programs[col]), expected[row][col]) << row << "," << col;
}

TEST(Decisions, SendWantedAndSendOrAsk) {
  TSendState s;
  s.MailMode = 1;
  s.AskBeforeSending = 0;
  s.ProcessFlags = 0x10;
  EXPECT_TRUE(SendWanted(s));
  s.Duplicate = true;
  EXPECT_FALSE(SendWanted(s));
  s.Duplicate = false;
  s.MailMode = 0;
  EXPECT_FALSE(SendWanted(s));
  s.WebSendMode = 2;
  s.AskBeforeSending = 1;
  EXPECT_FALSE(SendWanted(s));  // asks first, and the user has not chosen yet
  s.UserChoseSend = true;
  EXPECT_TRUE(SendWanted(s));

  // Every combination: dialog kind, program, send wanted, flag bits, asking.
  for (uint8_t kind : {0, 1, 2})
    for (TProgramKind program : {TProgramKind::Windowed, TProgramKind::Console})
      for (bool wanted : {false, true})
        for (uint16_t flags : {0x00, 0x01, 0x10, 0x04})
          for (uint8_t ask : {0, 1}) {
            TSendState t;
            t.MailMode = wanted ? 1 : 0;
            t.AskBeforeSending = ask;
            t.UserChoseSend = true;
            t.ProcessFlags = flags;
            const bool dialog = kind == 1 || (kind == 0 && program == TProgramKind::Windowed);
            const bool sendNow = dialog && wanted && flags != 0x00 && flags != 0x04;
            EXPECT_EQ(SendOrAsk(kind, program, t), sendNow || ask != 0)
                << int(kind) << " " << int(program) << " " << wanted << " " << flags << " " << int(ask);
          }
  EXPECT_TRUE(SameRuntimeVersion(6100));
  EXPECT_TRUE(SameRuntimeVersion(6199));
  EXPECT_FALSE(SameRuntimeVersion(6200));
  EXPECT_FALSE(SameRuntimeVersion(6002));
}

bool Inherits(const void* object, const std::string& name) { return InheritsFromName(object, name); }

TEST(Decisions, FindFilterForEachModeAndActiveXNames) {
  EAccessViolation av("x");
  TFilterSubject subject;
  subject.InheritsFrom = &Inherits;
  subject.Object = &av;
  std::vector<TQuelbaExceptionFilter> filters(4);
  filters[0].ClassNameText = "EExternal";
  filters[0].Enabled = 0;
  filters[1].ClassNameText = "EAbort";
  filters[2].ClassNameText = "EExternal";
  filters[3].ClassNameText = "Exception";
  for (uint8_t mode : {0, 1, 2})
    for (bool flag : {false, true}) {
      filters[2].Mode1 = mode;
      const bool second = mode == 0 || (mode == 1 && flag) || (mode == 2 && !flag);
      EXPECT_EQ(FindFilter(filters, subject, flag), second ? 2 : 3) << int(mode) << flag;
    }
  TFilterSubject activeX;
  activeX.ActiveX = true;
  activeX.ActiveXNames = {"EOleError", "EAbort"};
  EXPECT_EQ(FindFilter(filters, activeX, false), 1);
  activeX.ActiveXNames = {"EOleError"};
  EXPECT_EQ(FindFilter(filters, activeX, false), -1);
}

}  // namespace
}  // namespace exclog
