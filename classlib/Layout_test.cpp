#include "classlib/Layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classlib/Classes.h"

namespace {

enum class TLtStyle { tsNone, tsTabs, tsButtons };
const TEnumType LtStyleType("TLtStyle", {"tsNone", "tsTabs", "tsButtons"});
enum class TLtKind { xcMainMenu, xcPopupMenu, xcMenuItem, xcToolbar };
const TEnumType LtKindType("TLtKind", {"xcMainMenu", "xcPopupMenu", "xcMenuItem", "xcToolbar"});

int liveComponents = 0;  // counts layout test components alive, to find leftovers

class TLtFont : public TPersistent {
  VELMORA_CLASS(TLtFont, TPersistent)
  VELMORA_PUBLISHED(TLtFont)
 public:
  int color_ = 0;
  std::string name_;
};
VELMORA_PUBLISH(TLtFont) {
  p.Integer("Color", &TLtFont::color_).Default(0).String("Name", &TLtFont::name_);
}

// The root: owns everything, publishes the methods events name.
class TLtForm : public TComponent {
  VELMORA_CLASS(TLtForm, TComponent)
  VELMORA_PUBLISHED(TLtForm)
 public:
  TLtForm() { ++liveComponents; }
  ~TLtForm() override { --liveComponents; }
  void FormClick(TObject* sender) { clicks.push_back(sender); }
  void ItemChanged(TObject* sender) {}
  void Loaded() override {
    TComponent::Loaded();
    ++loadedCount;
  }
  void GetChildren(const std::function<void(TComponent*)>& proc, const TComponent* root) const override {
    for (int i = 0; i < ComponentCount(); ++i) {
      TComponent* c = Components(i);
      if (c->GetParentComponent() == this || !c->HasParent()) proc(c);
    }
  }
  std::vector<TObject*> clicks;
  int loadedCount = 0;
  class TLtPanel* panel1_ = nullptr;
  class TLtSkin* panel2_ = nullptr;  // names a panel, but of another class
};

// A control-like component: nests inside its parent in a layout.
class TLtPanel : public TComponent {
  VELMORA_CLASS(TLtPanel, TComponent)
  VELMORA_PUBLISHED(TLtPanel)
 public:
  TLtPanel() { ++liveComponents; }
  ~TLtPanel() override { --liveComponents; }
  TComponent* GetParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* parent) override { parent_ = parent; }
  void GetChildren(const std::function<void(TComponent*)>& proc, const TComponent* root) const override {
    for (int i = 0; i < root->ComponentCount(); ++i)
      if (root->Components(i)->GetParentComponent() == this) proc(root->Components(i));
  }
  void Loaded() override {
    TComponent::Loaded();
    ++loadedCount;
    widthAtLoaded = width_;
    buddyAtLoaded = buddy_;
    loadingAtLoaded = Loading();
  }
  int Width() const { return width_; }
  void SetWidth(int w) {
    width_ = w;
    loadingWhenSet = Loading();
  }
  TLtFont* Font() const { return const_cast<TLtFont*>(&font_); }

  TComponent* parent_ = nullptr;
  bool visible_ = true;
  TLtStyle style_ = TLtStyle::tsNone;
  TSet<TLtKind> options_;
  std::string caption_;
  std::vector<std::string> lines_;
  TNotifyEvent onClick_;
  TLtPanel* buddy_ = nullptr;
  int loadedCount = 0;
  int widthAtLoaded = -1;
  TLtPanel* buddyAtLoaded = nullptr;
  bool loadingAtLoaded = true;
  bool loadingWhenSet = false;

 private:
  int width_ = 0;
  TLtFont font_;
};
VELMORA_PUBLISH(TLtPanel) {
  p.Integer("Width", &TLtPanel::Width, &TLtPanel::SetWidth)
      .Boolean("Visible", &TLtPanel::visible_).Default(1)
      .Enum("Style", LtStyleType, &TLtPanel::style_).Default(0)
      .Set("Options", LtKindType, &TLtPanel::options_).Default(0)
      .String("Caption", &TLtPanel::caption_)
      .Strings("Lines", &TLtPanel::lines_)
      .Event("OnClick", &TLtPanel::onClick_)
      .Object("Buddy", &TLtPanel::buddy_)
      .Object("Font", &TLtPanel::Font);
}

// Carries data that is not a published property, stored as a 32-bit count and bytes.
class TLtSkin : public TComponent {
  VELMORA_CLASS(TLtSkin, TComponent)
  VELMORA_PUBLISHED(TLtSkin)
 public:
  TLtSkin() { ++liveComponents; }
  ~TLtSkin() override { --liveComponents; }
  void ReadStream(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4) throw EReadError("Stream read error");
    uint32_t count;
    std::memcpy(&count, bytes.data(), 4);
    if (count != bytes.size() - 4) throw EReadError("Stream read error");
    data.assign(bytes.begin() + 4, bytes.end());
  }
  std::vector<uint8_t> WriteStream() const {
    std::vector<uint8_t> out(4);
    uint32_t count = static_cast<uint32_t>(data.size());
    std::memcpy(out.data(), &count, 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
  std::vector<uint8_t> data;
  bool active_ = false;
};
VELMORA_PUBLISH(TLtSkin) {
  p.Boolean("Active", &TLtSkin::active_).Default(0).Binary("SkinStream", &TLtSkin::ReadStream, &TLtSkin::WriteStream);
}

VELMORA_PUBLISH(TLtForm) {
  p.Method<&TLtForm::FormClick>("FormClick")
      .Method<&TLtForm::ItemChanged>("ItemChanged")
      .Field("Panel1", &TLtForm::panel1_)
      .Field("Panel2", &TLtForm::panel2_);
}

class Layout : public ::testing::Test {
 protected:
  void SetUp() override {
    InitUnits();
    RegisterClass(TLtForm::StaticClass());
    RegisterClass(TLtPanel::StaticClass());
    RegisterClass(TLtSkin::StaticClass());
    RegisterClass(TStringList::StaticClass());  // a registered class that is no component
    liveComponents = 0;
  }
};

// A form built in code with every kind of value, nesting, references and 64 KiB of data.
TLtForm* BuildSample() {
  auto* form = new TLtForm;
  form->SetName("Form1");
  auto* outer = new TLtPanel;
  outer->SetName("Outer");
  form->InsertComponent(outer);
  outer->SetParentComponent(form);
  outer->SetWidth(320);
  outer->style_ = TLtStyle::tsTabs;
  outer->options_ = {TLtKind::xcMainMenu, TLtKind::xcToolbar};
  outer->caption_ = "quote \" backslash \\ tab\t cr\r lf\n ctl\x01 high \xC3\xA9 end";
  outer->lines_ = {"first", "", "  spaced  ", "\"quoted\""};
  outer->onClick_ = TNotifyEvent::Of<&TLtForm::FormClick>(form);
  outer->Font()->color_ = 0xFF00;
  outer->Font()->name_ = "Tahoma";
  outer->SetTag(7777);
  auto* inner = new TLtPanel;
  inner->SetName("Inner");
  form->InsertComponent(inner);
  inner->SetParentComponent(outer);
  inner->visible_ = false;
  inner->SetWidth(-5);
  inner->buddy_ = outer;
  auto* skin = new TLtSkin;
  skin->SetName("SkinData1");
  form->InsertComponent(skin);
  skin->active_ = true;
  skin->data.resize(65536);
  for (size_t i = 0; i < skin->data.size(); ++i) skin->data[i] = static_cast<uint8_t>((i * 31 + 7) % 251);
  return form;
}

TEST_F(Layout, WrittenAndReadBackEqual) {
  std::unique_ptr<TLtForm> original(BuildSample());
  const std::string text = WriteLayout(original.get());
  std::unique_ptr<TComponent> copy(CreateFromLayout(text));
  ASSERT_TRUE(copy->Is<TLtForm>());
  auto* form = static_cast<TLtForm*>(copy.get());
  EXPECT_EQ(form->Name(), "Form1");
  ASSERT_EQ(form->ComponentCount(), 3);
  auto* outer = dynamic_cast<TLtPanel*>(form->FindComponent("Outer"));
  auto* inner = dynamic_cast<TLtPanel*>(form->FindComponent("Inner"));
  auto* skin = dynamic_cast<TLtSkin*>(form->FindComponent("SkinData1"));
  ASSERT_TRUE(outer && inner && skin);
  EXPECT_EQ(outer->Width(), 320);
  EXPECT_EQ(outer->style_, TLtStyle::tsTabs);
  EXPECT_EQ(outer->options_, (TSet<TLtKind>{TLtKind::xcMainMenu, TLtKind::xcToolbar}));
  EXPECT_EQ(outer->caption_, original->FindComponent("Outer") ? static_cast<TLtPanel*>(original->FindComponent("Outer"))->caption_ : "");
  EXPECT_EQ(outer->lines_, (std::vector<std::string>{"first", "", "  spaced  ", "\"quoted\""}));
  EXPECT_EQ(outer->Font()->color_, 0xFF00);
  EXPECT_EQ(outer->Font()->name_, "Tahoma");
  EXPECT_EQ(outer->Tag(), 7777);
  EXPECT_EQ(outer->GetParentComponent(), form);
  EXPECT_EQ(inner->GetParentComponent(), outer);
  EXPECT_FALSE(inner->visible_);
  EXPECT_EQ(inner->Width(), -5);
  EXPECT_EQ(inner->buddy_, outer);
  EXPECT_TRUE(skin->active_);
  EXPECT_EQ(skin->data, static_cast<TLtSkin*>(original->FindComponent("SkinData1"))->data);
  // The event is bound to the new form's method.
  ASSERT_TRUE(outer->onClick_);
  outer->onClick_(outer);
  EXPECT_EQ(form->clicks, std::vector<TObject*>{outer});
  EXPECT_FALSE(inner->onClick_);
  // Writing the copy gives the same text again.
  EXPECT_EQ(WriteLayout(form), text);
}

TEST_F(Layout, WriterOutputForASmallForm) {
  TLtForm form;
  form.SetName("Form1");
  auto* panel = new TLtPanel;
  panel->SetName("Panel1");
  form.InsertComponent(panel);
  panel->SetWidth(50);
  panel->style_ = TLtStyle::tsTabs;
  panel->options_ = {TLtKind::xcPopupMenu, TLtKind::xcMainMenu};
  panel->caption_ = "say \"hi\"\n";
  panel->lines_ = {"a", "b"};
  panel->onClick_ = TNotifyEvent::Of<&TLtForm::FormClick>(&form);
  auto* skin = new TLtSkin;
  form.InsertComponent(skin);
  skin->data = {0xDE, 0xAD};
  const char* expected =
      "object Form1: TLtForm\n"
      "  object Panel1: TLtPanel\n"
      "    Width = 50\n"
      "    Style = tsTabs\n"
      "    Options = [xcMainMenu,xcPopupMenu]\n"
      "    Caption = \"say \\\"hi\\\"\\n\"\n"
      "    Lines = (\n"
      "      \"a\"\n"
      "      \"b\"\n"
      "    )\n"
      "    OnClick = FormClick\n"
      "  end\n"
      "  object TLtSkin\n"
      "    SkinStream = {\n"
      "      02000000DEAD\n"
      "    }\n"
      "  end\n"
      "end\n";
  EXPECT_EQ(WriteLayout(&form), expected);
}

TEST_F(Layout, HandWrittenLayoutIsReadAndLoadedOnceAfterAllProperties) {
  const char* text =
      "# a hand-written layout\n"
      "object Form1: TLtForm\n"
      "\n"
      "  object Panel1: TLtPanel\n"
      "    Buddy = Panel2\n"
      "    Options = [ xcToolbar , xcMenuItem ]\n"
      "    Caption = \"tab\\there \\x41\\\\\"\n"
      "    Visible = false\n"
      "    Tag = $1F\n"
      "    OnClick = formclick\n"
      "    Font.Color = -1\n"
      "    Width = 10\n"
      "  end\n"
      "  object Panel2: TLtPanel\n"
      "    Width = 0x20\n"
      "  end\n"
      "end\n";
  TLtForm form;
  ReadLayoutInto(&form, text);
  EXPECT_EQ(form.Name(), "Form1");
  EXPECT_EQ(form.loadedCount, 1);
  auto* p1 = static_cast<TLtPanel*>(form.FindComponent("Panel1"));
  auto* p2 = static_cast<TLtPanel*>(form.FindComponent("Panel2"));
  ASSERT_TRUE(p1 && p2);
  EXPECT_EQ(p1->options_, (TSet<TLtKind>{TLtKind::xcMenuItem, TLtKind::xcToolbar}));
  EXPECT_EQ(p1->caption_, "tab\there A\\");
  EXPECT_FALSE(p1->visible_);
  EXPECT_EQ(p1->Tag(), 31);
  EXPECT_EQ(p1->Font()->color_, -1);
  EXPECT_EQ(p2->Width(), 32);
  // Loaded ran once each, after the last property and the forward reference were set,
  // with the loading state already cleared; the setters ran while it was set.
  EXPECT_EQ(p1->loadedCount, 1);
  EXPECT_EQ(p2->loadedCount, 1);
  EXPECT_EQ(p1->widthAtLoaded, 10);
  EXPECT_EQ(p1->buddyAtLoaded, p2);
  EXPECT_FALSE(p1->loadingAtLoaded);
  EXPECT_TRUE(p1->loadingWhenSet);
  EXPECT_FALSE(p1->Loading());
  EXPECT_TRUE(p1->onClick_);
  // The form's field of that name points to the component; one of another class not.
  EXPECT_EQ(form.panel1_, p1);
  EXPECT_EQ(form.panel2_, nullptr);
  delete p1;
  EXPECT_EQ(form.panel1_, nullptr) << "a freed component leaves no dangling field";
}

struct TBadLayout {
  const char* Text;
  int Line;
  const char* MessagePart;
};

TEST_F(Layout, ErrorsNameTheLineAndLeaveNothingBehind) {
  const TBadLayout cases[] = {
      {"object Form1: TLtForm\n  object Panel1: TLtPanel\n  end\n  object X: TNoSuchClass\n  end\nend\n", 4,
       "Class TNoSuchClass not found"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Colour = 3\n  end\nend\n", 3, "Colour does not exist"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Style = tsRound\n  end\nend\n", 3, "tsRound"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Width = \"wide\"\n  end\nend\n", 3, "does not fit"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n  end\n  object p: TLtPanel\n  end\nend\n", 4, "already exists"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Buddy = Nobody\n  end\nend\n", 3, "Nobody not found"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    OnClick = NoHandler\n  end\nend\n", 3, "NoHandler"},
      {"object Form1: TLtForm\n  object S: TLtSkin\n    SkinStream = {\n      0102\n      030\n    }\n  end\nend\n",
       5, "Odd number"},
      {"object Form1: TLtForm\n  object S: TLtSkin\n    SkinStream = {\n      01000000\n    }\n  end\nend\n", 3,
       "Stream read error"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Caption = \"open\n  end\nend\n", 3, "String expected"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n", 2, "\"end\" expected"},
      {"object Form1: TLtForm\nend\nobject Form2: TLtForm\nend\n", 3, "after the end"},
      {"object Form1: TLtForm\n  Width = 5\nend\n", 2, "Width does not exist"},
      {"object Form1: TLtForm\n  object P: TLtPanel\n    Lines = (\n      \"a\"\n", 3, "without closing"},
      {"object Form1: TLtForm\n  object P: TStringList\n  end\nend\n", 2, "not a component"},
  };
  for (const TBadLayout& c : cases) {
    SCOPED_TRACE(c.Text);
    TLtForm form;
    liveComponents = 1;
    try {
      ReadLayoutInto(&form, c.Text);
      ADD_FAILURE() << "no error";
    } catch (const ELayoutError& error) {
      EXPECT_EQ(error.Line(), c.Line);
      EXPECT_NE(error.Message().find(c.MessagePart), std::string::npos) << error.Message();
      EXPECT_EQ(error.Message().rfind("Line " + std::to_string(c.Line) + ": ", 0), 0u) << error.Message();
    }
    EXPECT_EQ(form.ComponentCount(), 0);
    EXPECT_EQ(form.panel1_, nullptr);
    EXPECT_EQ(liveComponents, 1) << "components read before the error were deleted";
    EXPECT_FALSE(form.Loading());
    EXPECT_EQ(form.loadedCount, 0);
  }
  // An unknown outer class when creating by name.
  try {
    CreateFromLayout("\n\nobject X: TNowhere\nend\n");
    ADD_FAILURE() << "no error";
  } catch (const ELayoutError& error) {
    EXPECT_EQ(error.Line(), 3);
  }
  TLtPanel notAForm;
  EXPECT_THROW(ReadLayoutInto(&notAForm, "object F: TLtForm\nend\n"), ELayoutError);
}

}  // namespace
