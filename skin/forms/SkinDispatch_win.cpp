// The form skinner's child dispatch (see SkinDispatch_win.h).
#include "skin/forms/SkinDispatch_win.h"

#include <vector>

#include "skin/painters/ControlProps.h"
#include "skin/painters/SkinButtons_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinScrollBars_win.h"
#include "skin/painters/SkinTabs_win.h"
#include "skin/forms/WinSkinMenu_win.h"

namespace skin {
namespace {

bool Listed(const TWinSkinForm& form, const TComponent* control, HWND window) {
  for (TSkinControl* p : form.Painters())
    if ((control && (p->Owner() == control || p->GraphicControl == control)) ||
        (window && p->Handle == window))
      return true;
  return false;
}

TDispatchSettings SettingsOf(const TWinSkinForm& form, std::vector<std::string>& rows) {
  TDispatchSettings s;
  TSkinData* data = form.SkinData;
  s.DisableTag = data->DisableTag;
  s.SkinControls = data->SkinControls;
  s.HasTabs = data->Skin().Tabs != nullptr;
  if (TStringList* list = data->Skin3rd())
    for (int i = 0; i < list->Count(); i++) rows.push_back((*list)[i]);
  s.Skin3rd = &rows;
  return s;
}

TControlFacts FactsOf(const TWinSkinForm& form, TControl* control) {
  TControlFacts f;
  f.Ancestry = AncestryOf(control);
  f.Tag = control->Tag();
  f.HasParent = control->Parent() != nullptr;
  f.FrameSkinned = form.FrameSkinned != 0;
  f.HasPainter = Listed(form, control, nullptr);
  auto* windowed = dynamic_cast<TWinControl*>(control);
  f.Windowed = windowed != nullptr;
  if (windowed && windowed->HandleAllocated()) {
    HWND h = windowed->Handle();
    f.AnswersSkinned = SendMessageW(h, kMsgIsSkinned, 0, 0) == 1;
    f.Style = static_cast<uint32_t>(GetWindowLongW(h, GWL_STYLE));
    RECT w{}, c{};
    GetWindowRect(h, &w);
    GetClientRect(h, &c);
    f.HasBorder = w.right - w.left != c.right || w.bottom - w.top != c.bottom;
  }
  const std::string style = ReadEnumProp(control, "Style");
  f.TabStyleIsTabs = style.empty() || style == "tstabs";
  // Either style byte at 1: an up-down date picker, or a time picker (which spins).
  f.UpDownPicker = ReadEnumProp(control, "DateMode") == "dmupdown" || ReadEnumProp(control, "Kind") == "dtktime";
  f.NumButtons = static_cast<int>(ReadIntProp(control, "NumButtons"));
  f.KindProperty = ReadEnumProp(control, "Kind");
  return f;
}

}  // namespace

std::vector<std::string> AncestryOf(const TObject* object) {
  std::vector<std::string> names;
  for (TClass c = object ? object->ClassType() : nullptr; c; c = c->Parent) names.push_back(c->Name);
  return names;
}

void TChildDispatch::SkinChildren(TWinSkinForm& form) {
  if (!form.SkinData) return;
  // Painters whose window is gone go first.
  std::vector<TSkinControl*> gone;
  for (TSkinControl* p : form.Painters())
    if (p->Status == kPainterWindowGone) gone.push_back(p);
  for (TSkinControl* p : gone) {
    form.RemovePainter(p);
    delete p;
  }
  if (!form.Form) {
    WalkWindows(form, form.Hwnd);
    return;
  }
  DispatchComponents(form, form.Form);
  std::vector<TWinControl*> tabOrder;
  form.Form->GetTabOrderList(tabOrder);
  for (TWinControl* control : tabOrder) {
    if (!control->HandleAllocated() || control->Tag() == form.SkinData->DisableTag) continue;
    if (SendMessageW(control->Handle(), kMsgIsSkinned, 0, 0) == 1) continue;
    DispatchControl(form, control);
  }
  if (form.SkinData->SkinControls.Contains(TSkinControlType::xcPopupMenu)) OwnerDrawPopupMenus(form);
}

void TChildDispatch::ReplaceScrollBar(TWinSkinForm& form, HWND window) {
  TSkinScrollbar* old = nullptr;
  for (TSkinControl* p : form.Painters())
    if (auto* s = dynamic_cast<TSkinScrollbar*>(p); s && s->Handle == window) old = s;
  if (old) {
    // The control made a new window: the old one (in `window`) may be gone already.
    if (!old->Control) return;
    TWinControl* control = old->Control;
    delete old;  // leaves the list and gives the control its procedure back
    if (control->HandleAllocated()) DispatchControl(form, control);
    return;
  }
  // A bar (or size grip) made after skinning gets its painter as at skinning.
  if (!IsWindow(window)) return;
  if (TWinControl* control = TWinControl::FindControl(window)) {
    if (control->HandleAllocated()) DispatchControl(form, control);
  } else {
    DispatchWindow(form, window);
  }
}

void TChildDispatch::DispatchComponents(TWinSkinForm& form, TComponent* owner) {
  // A painter made on the way joins the owner's components: walk a copy.
  std::vector<TControl*> controls;
  for (int i = 0; i < owner->ComponentCount(); i++)
    if (auto* c = dynamic_cast<TControl*>(owner->Components(i))) controls.push_back(c);
  for (TControl* c : controls) DispatchControl(form, c);
}

void TChildDispatch::DispatchControl(TWinSkinForm& form, TControl* control) {
  if (!control || !form.SkinData) return;
  std::vector<std::string> rows;
  const TDispatchSettings settings = SettingsOf(form, rows);
  TControlFacts facts = FactsOf(form, control);
  if (facts.Tag != settings.DisableTag && facts.HasParent && !facts.AnswersSkinned && !facts.HasPainter) {
    if (auto* windowed = dynamic_cast<TWinControl*>(control); windowed && !windowed->HandleAllocated()) {
      windowed->HandleNeeded();
      facts = FactsOf(form, control);
    }
    TSkinData* data = form.SkinData;
    if (data->OnSkinControl) {
      TComponent* painter = nullptr;
      std::string upper = facts.Ancestry.front();
      for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
      data->OnSkinControl(&form, data, nullptr, control, upper, painter);
      if (auto* p = dynamic_cast<TSkinControl*>(painter)) {
        if (!Listed(form, control, nullptr)) p->AttachControl(&form, data, p->ChangeColor, form.Canvas2.get());
        if (auto* panel = dynamic_cast<TWinControl*>(control); panel && control->IsNamed("TCustomPanel"))
          DispatchChildren(form, panel, TDispatchDecision{});
        return;
      }
    }
  }
  Apply(form, control, DecideControl(facts, settings));
}

void TChildDispatch::Apply(TWinSkinForm& form, TControl* control, const TDispatchDecision& d) {
  auto* windowed = dynamic_cast<TWinControl*>(control);
  if (d.Skip) {
    if (windowed && d.ChildRule == TChildRule::DisableTag)
      for (int i = 0; i < windowed->ControlCount(); i++) windowed->Controls(i)->SetTag(control->Tag());
    return;
  }
  for (const auto& [name, value] : d.Props) WritePropText(control, name, value);
  if (d.Children == TChildWalk::Before && windowed) DispatchChildren(form, windowed, d);
  if (d.Action == TDispatchAction::ToolBarDraw) AttachToolBarHandlers(form, dynamic_cast<TToolBar*>(control));
  if (d.Action == TDispatchAction::ToolButtonMenu) AttachToolButtonMenu(form, dynamic_cast<TToolButton*>(control));
  Attach(form, control, d);
  if (d.Children == TChildWalk::After && windowed) DispatchChildren(form, windowed, d);
  if (d.Children == TChildWalk::Components) DispatchComponents(form, control);
}

void TChildDispatch::Attach(TWinSkinForm& form, TControl* control, const TDispatchDecision& d) {
  TPainterFactory make = PainterFactory(d.Kind);
  if (!make) return;
  TSkinControl* painter = make(control);
  if (!painter) return;
  painter->PainterFlag = d.PainterFlag;
  if (auto* glyphs = dynamic_cast<TSkinObjImage*>(painter)) glyphs->ImageKind = d.ImageKind;
  if (auto* bit = dynamic_cast<TSkinBitButton*>(painter)) bit->GlyphProperty = d.GlyphProperty;
  if (auto* combo = dynamic_cast<TSkinComBox*>(painter)) combo->IsComboBoxEx = d.ExtendedCombo;
  auto* windowed = dynamic_cast<TWinControl*>(control);
  if (auto* speed = dynamic_cast<TSkinSpeedButton*>(painter); speed && d.By == TAttachBy::Own) {
    speed->AttachGraphic(&form, form.SkinData, form.Canvas2.get());
    if (!speed->Initialized) delete speed;  // not a windowless control: nothing to paint
  } else if (auto* scroll = dynamic_cast<TSkinScrollbar*>(painter); scroll && d.By == TAttachBy::Window && windowed) {
    scroll->SingleBar = d.SingleBar;
    scroll->AttachScroll(windowed, form.SkinData, &form, form.Canvas2.get());
  } else if (d.By == TAttachBy::Handle && windowed)
    painter->AttachWindow(windowed->Handle(), form.SkinData, &form, form.Canvas2.get());
  else
    painter->AttachControl(&form, form.SkinData, d.ChangeColor != 0, form.Canvas2.get());
}

void TChildDispatch::DispatchChildren(TWinSkinForm& form, TWinControl* parent, const TDispatchDecision& d) {
  std::vector<TControl*> children;
  for (int i = 0; i < parent->ControlCount(); i++) children.push_back(parent->Controls(i));
  for (TControl* child : children) {
    if (d.ChildRule == TChildRule::Dispatch) {
      DispatchControl(form, child);
      continue;
    }
    if (Listed(form, child, nullptr)) continue;
    Apply(form, child, DecideChild(d.ChildRule, AncestryOf(child)));
  }
}

void TChildDispatch::DispatchWindow(TWinSkinForm& form, HWND window) {
  if (!form.SkinData || Listed(form, nullptr, window)) return;
  char name[101] = {};
  GetClassNameA(window, name, sizeof name);
  TChildWindowFacts facts;
  facts.ClassName = name;
  facts.Style = static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE));
  HWND child = GetWindow(window, GW_CHILD);
  facts.HasChild = child != nullptr;
  TWinControl* control = TWinControl::FindControl(window);
  facts.HasControl = control != nullptr;
  const TDispatchDecision d = DecideWindow(facts, form.SkinData->SkinControls);
  if (d.Children == TChildWalk::Before) WalkWindows(form, window);
  if (d.Action == TDispatchAction::ParentColor && control)
    control->SetColor(static_cast<TColor>(SkinColour(form.SkinData, kSlotButtonFace)));
  TPainterFactory make = PainterFactory(d.Kind);
  if (!make) return;
  // A combo box-ex is painted through its inner combo box.
  HWND target = lstrcmpiA(name, "ComboBoxEx32") == 0 ? child : window;
  if (!target || Listed(form, nullptr, target)) return;
  TSkinControl* painter = make(nullptr);
  if (painter) painter->AttachWindow(target, form.SkinData, &form, form.Canvas2.get());
}

void TChildDispatch::WalkWindows(TWinSkinForm& form, HWND parent) {
  std::vector<HWND> children;
  for (HWND w = GetTopWindow(parent); w; w = GetWindow(w, GW_HWNDNEXT))
    if (GetWindowLongW(w, GWL_STYLE) & WS_CHILD) children.push_back(w);
  for (HWND w : children) DispatchWindow(form, w);
}

void InstallChildDispatch() {
  static TChildDispatch dispatch;
  RegisterButtonPainters();
  RegisterInputPainters();
  RegisterTabPainters();
  RegisterScrollBarPainters();
  SetFormChildrenSeam(&dispatch);
}

}  // namespace skin
