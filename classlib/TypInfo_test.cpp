#include "classlib/TypInfo.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "classlib/Components.h"

namespace {

enum class TTiStyle { tsNone, tsTabs, tsButtons };
const TEnumType TiStyleType("TTiStyle", {"tsNone", "tsTabs", "tsButtons"});

// The skin's control kinds, in declaration order, as a real-sized enumeration.
enum class TTiControl { xcMainMenu, xcPopupMenu, xcMenuItem, xcToolbar, xcControlbar, xcCombo, xcCheckBox,
  xcRadioButton, xcProgress, xcScrollbar, xcEdit, xcButton, xcBitBtn, xcSpeedButton, xcSpin, xcPanel,
  xcGroupBox, xcStatusBar, xcTab, xcTrackBar, xcSystemMenu, xcFastReport };
const TEnumType TiControlType("TSkinControlTypes",
    {"xcMainMenu", "xcPopupMenu", "xcMenuItem", "xcToolbar", "xcControlbar", "xcCombo", "xcCheckBox",
     "xcRadioButton", "xcProgress", "xcScrollbar", "xcEdit", "xcButton", "xcBitBtn", "xcSpeedButton", "xcSpin",
     "xcPanel", "xcGroupBox", "xcStatusBar", "xcTab", "xcTrackBar", "xcSystemMenu", "xcFastReport"});

class TTiFont : public TPersistent {
  VELMORA_CLASS(TTiFont, TPersistent)
  VELMORA_PUBLISHED(TTiFont)
 public:
  int color_ = 0;
  std::string name_ = "Tahoma";
};

VELMORA_PUBLISH(TTiFont) {
  p.Integer("Color", &TTiFont::color_).String("Name", &TTiFont::name_);
}

class TTiBase : public TComponent {
  VELMORA_CLASS(TTiBase, TComponent)
  VELMORA_PUBLISHED(TTiBase)
 public:
  int Height() const { return height_; }
  void SetHeight(int h) {
    if (h < 0) throw EConvertError("negative height");
    height_ = h;
  }
  int Computed() const { return height_ * 2; }
  TTiFont* Font() const { return const_cast<TTiFont*>(&font_); }
  void HandleChange(TObject* sender) {
    ++changes;
    lastSender = sender;
  }
  void HandleOther(int) {}

  int changes = 0;
  TObject* lastSender = nullptr;
  int width_ = 10;
  short small_ = 0;
  bool visible_ = true;
  TTiStyle style_ = TTiStyle::tsNone;
  TSet<TTiControl> controls_;
  uint32_t maskOptions_ = 0;
  std::string caption_;
  std::vector<std::string> items_;
  TNotifyEvent onChange_;
  TTiBase* partner_ = nullptr;

 private:
  int height_ = 5;
  TTiFont font_;
};

VELMORA_PUBLISH(TTiBase) {
  p.Integer("Width", &TTiBase::width_)
      .Integer("Height", &TTiBase::Height, &TTiBase::SetHeight)
      .Integer("Computed", &TTiBase::Computed)
      .Integer("Small", &TTiBase::small_)
      .Boolean("Visible", &TTiBase::visible_).Default(1)
      .Enum("Style", TiStyleType, &TTiBase::style_)
      .Set("SkinControls", TiControlType, &TTiBase::controls_)
      .Set("MaskOptions", TiStyleType, &TTiBase::maskOptions_)
      .String("Caption", &TTiBase::caption_)
      .Strings("Items", &TTiBase::items_)
      .Event("OnChange", &TTiBase::onChange_)
      .Object("Partner", &TTiBase::partner_)
      .Object("Font", &TTiBase::Font)
      .Method<&TTiBase::HandleChange>("HandleChange")
      .Method<&TTiBase::HandleOther>("HandleOther");
}

class TTiDerived : public TTiBase {
  VELMORA_CLASS(TTiDerived, TTiBase)
  VELMORA_PUBLISHED(TTiDerived)
 public:
  int extra_ = 0;
  std::string Caption() const { return "derived"; }
};

VELMORA_PUBLISH(TTiDerived) {
  p.Integer("Extra", &TTiDerived::extra_).String("Caption", &TTiDerived::Caption);
}

TEST(TypInfo, PropertiesOfEveryKindByNameAsTypedValues) {
  TTiDerived obj;
  EXPECT_TRUE(SetOrdProp(&obj, "Width", 640));
  EXPECT_EQ(obj.width_, 640);
  EXPECT_EQ(GetOrdProp(&obj, "width"), 640) << "names ignore letter case";
  EXPECT_TRUE(SetOrdProp(&obj, "Height", 33));
  EXPECT_EQ(obj.Height(), 33);
  EXPECT_TRUE(SetOrdProp(&obj, "Visible", 0));
  EXPECT_FALSE(obj.visible_);
  EXPECT_TRUE(SetEnumProp(&obj, "Style", "TSTABS"));
  EXPECT_EQ(obj.style_, TTiStyle::tsTabs);
  EXPECT_EQ(GetEnumProp(&obj, "Style"), "tsTabs");
  EXPECT_TRUE(SetOrdProp(&obj, "SkinControls", 0b101));
  EXPECT_TRUE(obj.controls_.Contains(TTiControl::xcMainMenu));
  EXPECT_TRUE(obj.controls_.Contains(TTiControl::xcMenuItem));
  EXPECT_FALSE(obj.controls_.Contains(TTiControl::xcPopupMenu));
  EXPECT_TRUE(SetPropValue(&obj, "Items", std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(obj.items_, (std::vector<std::string>{"a", "b"}));
  TTiBase other;
  EXPECT_TRUE(SetObjectProp(&obj, "Partner", &other));
  EXPECT_EQ(obj.partner_, &other);
  EXPECT_TRUE(SetOrdProp(&obj, "Extra", 9));
  EXPECT_EQ(obj.extra_, 9);
  // Inherited from TComponent.
  EXPECT_TRUE(SetOrdProp(&obj, "Tag", 5555));
  EXPECT_EQ(obj.Tag(), 5555);
  EXPECT_TRUE(SetStrProp(&obj, "Name", "Panel1"));
  EXPECT_EQ(obj.Name(), "Panel1");
}

TEST(TypInfo, AbsentReadOnlyAndWrongKindReportFailureWithoutThrowing) {
  TTiDerived obj;
  EXPECT_EQ(GetPropInfo(&obj, "NoSuchThing"), nullptr);
  EXPECT_FALSE(GetOrdProp(&obj, "NoSuchThing"));
  EXPECT_FALSE(GetPropText(&obj, "NoSuchThing"));
  EXPECT_FALSE(SetPropText(&obj, "NoSuchThing", "1"));
  EXPECT_FALSE(SetOrdProp(&obj, "Caption", 1)) << "a string property is not ordinal";
  EXPECT_FALSE(GetStrProp(&obj, "Width"));
  EXPECT_FALSE(SetOrdProp(&obj, "Computed", 4)) << "a getter alone is read-only";
  EXPECT_EQ(GetOrdProp(&obj, "Computed"), 10);
  EXPECT_FALSE(SetStrProp(&obj, "Caption", "x")) << "the derived class redeclared it read-only";
  EXPECT_EQ(GetStrProp(&obj, "Caption"), "derived");
  EXPECT_FALSE(SetPropText(&obj, "Font.NoSuch", "1"));
  EXPECT_FALSE(SetPropText(&obj, "Width.Color", "1")) << "only object properties have sub-properties";
  EXPECT_FALSE(IsPublishedProp(nullptr, "Width"));
}

TEST(TypInfo, OutOfRangeAndBadTextRaiseConvertErrors) {
  TTiBase obj;
  EXPECT_THROW(SetOrdProp(&obj, "Small", 40000), EConvertError);
  EXPECT_TRUE(SetOrdProp(&obj, "Small", -32768));
  EXPECT_THROW(SetOrdProp(&obj, "Style", 3), EConvertError);
  EXPECT_THROW(SetOrdProp(&obj, "MaskOptions", 8), EConvertError) << "bit 3 names no member";
  EXPECT_THROW(SetPropText(&obj, "Style", "tsRound"), EConvertError);
  EXPECT_THROW(SetPropText(&obj, "Visible", "yes"), EConvertError);
  EXPECT_THROW(SetPropText(&obj, "Width", "12px"), EConvertError);
  EXPECT_THROW(SetPropText(&obj, "SkinControls", "[xcMainMenu,xcNope]"), EConvertError);
  EXPECT_THROW(SetPropText(&obj, "SkinControls", "xcMainMenu"), EConvertError);
  // A setter's own refusal passes through unchanged.
  EXPECT_THROW(SetPropText(&obj, "Height", "-1"), EConvertError);
  EXPECT_EQ(obj.Height(), 5);
  TComponent notAnItem;
  EXPECT_THROW(SetObjectProp(&obj, "Partner", &notAnItem), EConvertError);
  EXPECT_EQ(obj.partner_, nullptr);
}

TEST(TypInfo, TextFormsOfEveryKind) {
  TTiBase obj;
  EXPECT_TRUE(SetPropText(&obj, "Width", "$1F"));
  EXPECT_EQ(GetPropText(&obj, "Width"), "31");
  EXPECT_TRUE(SetPropText(&obj, "Width", "-0x10"));
  EXPECT_EQ(obj.width_, -16);
  EXPECT_TRUE(SetPropText(&obj, "Visible", "false"));
  EXPECT_EQ(GetPropText(&obj, "Visible"), "False");
  EXPECT_TRUE(SetPropText(&obj, "Style", "tsButtons"));
  EXPECT_EQ(GetPropText(&obj, "Style"), "tsButtons");
  EXPECT_TRUE(SetPropText(&obj, "SkinControls", " [ xcPopupMenu , xcMainMenu ] "));
  EXPECT_EQ(GetPropText(&obj, "SkinControls"), "[xcMainMenu,xcPopupMenu]");
  EXPECT_TRUE(SetPropText(&obj, "SkinControls", "[]"));
  EXPECT_EQ(GetPropText(&obj, "SkinControls"), "[]");
  EXPECT_TRUE(SetPropText(&obj, "Caption", "  spaced  "));
  EXPECT_EQ(obj.caption_, "  spaced  ") << "strings are taken as they are";
  EXPECT_TRUE(SetPropText(&obj, "Items", "one\r\ntwo\nthree\rfour"));
  EXPECT_EQ(obj.items_, (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(GetPropText(&obj, "Items"), "one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_TRUE(SetPropText(&obj, "Font.Color", "255"));
  EXPECT_EQ(obj.Font()->color_, 255);
  EXPECT_EQ(GetPropText(&obj, "font.name"), "Tahoma");
  // Objects by their published name.
  TTiBase partner;
  partner.SetName("Partner1");
  TPropTextContext context;
  context.FindObject = [&](std::string_view name) -> TObject* { return name == "Partner1" ? &partner : nullptr; };
  EXPECT_TRUE(SetPropText(&obj, "Partner", "Partner1", context));
  EXPECT_EQ(GetPropText(&obj, "Partner"), "Partner1");
  EXPECT_THROW(SetPropText(&obj, "Partner", "Nobody", context), EConvertError);
  EXPECT_THROW(SetPropText(&obj, "Partner", "Partner1"), EConvertError) << "no resolver, no object";
  EXPECT_TRUE(SetPropText(&obj, "Partner", ""));
  EXPECT_EQ(obj.partner_, nullptr);
}

TEST(TypInfo, SetTextBothWays) {
  auto bits = TextToSet(TiControlType, "[xcPopupMenu,xcMainMenu,xcFastReport]");
  ASSERT_TRUE(bits);
  EXPECT_EQ(*bits, 0x200003u);
  EXPECT_EQ(SetToText(TiControlType, 0x200003), "[xcMainMenu,xcPopupMenu,xcFastReport]");
  EXPECT_EQ(SetToText(TiControlType, uint64_t(1) << 40), "[]") << "bits without a name are left out";
  EXPECT_FALSE(TextToSet(TiControlType, "[xcMainMenu"));
  EXPECT_FALSE(TextToSet(TiControlType, "[xcMainMenu,,xcTab]"));
  EXPECT_EQ(TiControlType.Ordinal("XCFASTREPORT"), 21);
  EXPECT_EQ(TiControlType.Name(22), "");
}

TEST(TypInfo, EventsBindByMethodNameAndRunOnlyWhenAssigned) {
  TTiBase root, item;
  item.onChange_(&item);  // unassigned: nothing happens
  EXPECT_EQ(root.changes, 0);
  TPropTextContext context;
  context.MethodRoot = &root;
  EXPECT_TRUE(SetPropText(&item, "OnChange", "handlechange", context));
  ASSERT_TRUE(item.onChange_);
  item.onChange_(&item);
  EXPECT_EQ(root.changes, 1) << "the method runs on the root";
  EXPECT_EQ(root.lastSender, &item);
  EXPECT_EQ(GetPropText(&item, "OnChange"), "HandleChange");
  auto method = GetMethodProp(&item, "OnChange");
  ASSERT_TRUE(method);
  EXPECT_EQ(method->Data, &root);
  EXPECT_EQ(MethodName(*method), "HandleChange");
  // A method whose parameters differ from the event's is refused.
  EXPECT_THROW(SetPropText(&item, "OnChange", "HandleOther", context), EConvertError);
  EXPECT_THROW(SetPropText(&item, "OnChange", "NoSuchMethod", context), EConvertError);
  EXPECT_THROW(SetMethodProp(&item, "OnChange", *FindMethod(&root, "HandleOther")), EConvertError);
  EXPECT_TRUE(item.onChange_) << "a refused method leaves the event as it was";
  EXPECT_TRUE(SetPropText(&item, "OnChange", ""));
  EXPECT_FALSE(item.onChange_);
  // Typed binding, without names.
  item.onChange_ = TNotifyEvent::Of<&TTiBase::HandleChange>(&item);
  item.onChange_(nullptr);
  EXPECT_EQ(item.changes, 1);
}

TEST(TypInfo, PropertyListFollowsTheClassChain) {
  std::vector<std::string> names;
  for (const TPropInfo* info : GetPropList(TTiDerived::StaticClass())) names.push_back(info->Name);
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names[0], "Name");
  EXPECT_EQ(names[1], "Tag");
  EXPECT_EQ(names.back(), "Extra");
  EXPECT_EQ(std::count(names.begin(), names.end(), "Caption"), 1) << "a redeclared name appears once";
  EXPECT_EQ(GetPropInfo(TTiDerived::StaticClass(), "Caption")->Writable(), false);
  EXPECT_EQ(GetPropInfo(TTiBase::StaticClass(), "Caption")->Writable(), true);
  EXPECT_EQ(GetPropInfo(TTiBase::StaticClass(), "Visible")->Default, 1);
  EXPECT_EQ(GetPropInfo(TTiBase::StaticClass(), "Partner")->ObjectClass, TTiBase::StaticClass());
  EXPECT_EQ(GetPropList(TObject::StaticClass()).size(), 0u);
}

// The "Classes" unit's stop frees the built tables; after a restart of the unit the
// same properties are found again, and they still read and write.
TEST(TypInfo, ReleasedTablesAreBuiltAgainOnUse) {
  ASSERT_NE(GetPropInfo(TTiBase::StaticClass(), "Visible"), nullptr);
  ASSERT_GE(BuiltPublishedTableCount(), 1u);
  ReleasePublishedTables();
  EXPECT_EQ(BuiltPublishedTableCount(), 0u) << "the release frees every built table";
  const TPropInfo* visible = GetPropInfo(TTiBase::StaticClass(), "Visible");
  ASSERT_NE(visible, nullptr);
  EXPECT_EQ(visible->Default, 1);
  EXPECT_GE(BuiltPublishedTableCount(), 1u) << "a lookup builds the table again";
  ReleasePublishedTables();
  EXPECT_EQ(BuiltPublishedTableCount(), 0u);
  EXPECT_EQ(GetPropInfo(TTiDerived::StaticClass(), "Caption")->Writable(), false);
  EXPECT_GE(BuiltPublishedTableCount(), 1u);
  TTiBase item;
  ReleasePublishedTables();
  EXPECT_EQ(BuiltPublishedTableCount(), 0u);
  EXPECT_TRUE(SetStrProp(&item, "Caption", "again"));
  EXPECT_EQ(GetStrProp(&item, "Caption").value_or(""), "again");
}

}  // namespace
