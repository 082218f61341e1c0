// Message numbers and the reflection rule: the numbers are the ones the painters
// listen for, written here from the documented values, not from the constants.
#include "classlib/ControlMessages.h"

#include <gtest/gtest.h>

namespace {

TEST(ControlMessages, NotificationNumbersAreTheFixedOnes) {
  EXPECT_EQ(CM_DIALOGCHAR, 0xB006u);
  EXPECT_EQ(CM_VISIBLECHANGED, 0xB00Bu);
  EXPECT_EQ(CM_ENABLEDCHANGED, 0xB00Cu);
  EXPECT_EQ(CM_MOUSEENTER, 0xB013u);
  EXPECT_EQ(CM_MOUSELEAVE, 0xB014u);
  EXPECT_EQ(CM_MENUCHANGED, 0xB015u);
  EXPECT_EQ(CM_RECREATEWND, 0xB033u);
}

TEST(ControlMessages, ChildMessagesReflectAtBCOO) {
  EXPECT_EQ(ReflectedMessage(0x004E), 0xBC4Eu);  // WM_NOTIFY
  EXPECT_EQ(ReflectedMessage(0x002B), 0xBC2Bu);  // WM_DRAWITEM
  EXPECT_EQ(ReflectedMessage(0x0114), 0xBD14u);  // WM_HSCROLL
  EXPECT_EQ(ReflectedMessage(0x0115), 0xBD15u);  // WM_VSCROLL
  EXPECT_EQ(ReflectedMessage(0x0111), 0xBD11u);  // WM_COMMAND
  EXPECT_EQ(ReflectedMessage(0x0133), 0xBD33u);  // WM_CTLCOLOREDIT
  EXPECT_EQ(ReflectedMessage(0x0138), 0xBD38u);  // WM_CTLCOLORSTATIC
  // Not child messages: paint, mouse, the colour range's neighbours.
  EXPECT_EQ(ReflectedMessage(0x000F), 0u);
  EXPECT_EQ(ReflectedMessage(0x0200), 0u);
  EXPECT_EQ(ReflectedMessage(0x0131), 0u);
  EXPECT_EQ(ReflectedMessage(0x0139), 0u);
}

TEST(ControlMessages, MenuCommandsAndWindowScrollBarsStayWithTheParent) {
  EXPECT_EQ(ReflectSourceOf(0x0111, 0), TReflectSource::None);       // menu command
  EXPECT_EQ(ReflectSourceOf(0x0111, 0x1234), TReflectSource::LParamWindow);
  EXPECT_EQ(ReflectSourceOf(0x0115, 0), TReflectSource::None);       // window's own scroll bar
  EXPECT_EQ(ReflectSourceOf(0x004E, 0x1000), TReflectSource::NotifyHeader);
  EXPECT_EQ(ReflectSourceOf(0x002B, 0x1000), TReflectSource::DrawItem);
  EXPECT_EQ(ReflectSourceOf(0x002C, 0), TReflectSource::ItemId);
}

TEST(ControlMessages, PropertyNameIsSixteenUpperCaseHexDigitsAfterThePrefix) {
  EXPECT_EQ(ControlPropertyName(0x00400000, 0x2A), "ControlOfs004000000000002A");
  EXPECT_EQ(ControlPropertyName(0xFFFFFFFF, 0xabcdef), "ControlOfsFFFFFFFF00ABCDEF");
}

TEST(ControlMessages, HoverChangeNotifiesOnlyOnAChange) {
  int a = 0, b = 0;
  THoverChange same = HoverChange(&a, &a);
  EXPECT_EQ(same.Leave, nullptr);
  EXPECT_EQ(same.Enter, nullptr);
  THoverChange move = HoverChange(&a, &b);
  EXPECT_EQ(move.Leave, &a);
  EXPECT_EQ(move.Enter, &b);
  THoverChange in = HoverChange(nullptr, &b);
  EXPECT_EQ(in.Leave, nullptr);
  EXPECT_EQ(in.Enter, &b);
  THoverChange out = HoverChange(&a, nullptr);
  EXPECT_EQ(out.Leave, &a);
  EXPECT_EQ(out.Enter, nullptr);
}

}  // namespace
