#pragma once
// The skinned menu bar: a skinned window loses its system menu bar and gets one
// button per top-level item painted from the skin inside its non-client area.
// Clicking a button, Alt, F10 or an accelerator opens the item's popup with
// TrackPopupMenu; a WH_MSGFILTER hook lets the arrow keys and the mouse move from
// one top-level popup to the next. Also here: the owner-drawn menu items (bar
// popups, the skinned system menu, the form's class-library menus) and the tool
// bar's custom-draw handlers. Rules: MenuBarRules.h.
//
// Ownership: the bar is owned by its skinner (TWinSkinForm::SkinMenu) and owns its
// buttons and background. The menu loop's state is process-wide, lives only while
// one popup is tracked, and is never touched after a skinner was freed.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/Menus_win.h"
#include "skin/forms/SkinFrame_win.h"
#include "skin/forms/WinSkinForm.h"

namespace skin {

class TWinSkinMenu;

class TMenuBtn : public TNCObject {
  VELMORA_CLASS(TMenuBtn, TNCObject)
 public:
  explicit TMenuBtn(TWinSkinForm* owner = nullptr) : TNCObject(owner) {}
  void Paint() override;

  TMenuItem* Item = nullptr;
  TSkinData* SkinData = nullptr;
  int Index = 0;
  std::wstring Caption;
  uint8_t ItemEnabled = 1;
  HMENU SubMenu = nullptr;
  UINT Command = 0;
  TWinSkinMenu* Bar = nullptr;
};

class TWinSkinMenu : public TComponent {
  VELMORA_CLASS(TWinSkinMenu, TComponent)
 public:
  explicit TWinSkinMenu(TComponent* owner = nullptr);
  ~TWinSkinMenu() override;

  // Reads the top-level items and takes the menu off the window.
  void BuildButtons();
  // BuildButtons and Layout (the MDI frame changed its menu).
  void Rebuild();
  // The buttons' rectangles for the bar strip `rect` without painting.
  void Layout(const RECT& rect);
  // The bar into `dc` at `rect` (window-frame coordinates).
  void Paint(HDC dc, const RECT& rect);
  TMenuBtn* ButtonAt(POINT framePoint);
  // Opens a button's popup (and posts its command); returns when the popup closed.
  void OpenButton(TMenuBtn* button);
  // 0x3518: the button under a screen point.
  void OpenAt(POINT screenPoint);
  TMenuBtn* FindAccelerator(wchar_t ch);
  bool RightToLeft() const;

  std::vector<std::unique_ptr<TMenuBtn>> Buttons;
  TMainMenu* Menu = nullptr;
  RECT MenuRect{};
  TSkinData* SkinData = nullptr;
  TWinSkinForm* SkinForm = nullptr;
  HBITMAP Background = nullptr;  // the painted bar without hot frames
  int ButtonCount = 0;
  uint8_t Painting = 0;
  HMENU MenuHandle = nullptr;

 private:
  friend class TMenuBtn;
  void LayoutButtons(HDC dc, int barWidth, int barHeight, bool draw);
  int RightLimit(int barWidth);
  SIZE backgroundSize_{};
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The skin menu seam: the menu bar and owner-drawn items of every form skinner.
class TSkinMenuSeam : public TFormMenuSeam {
 public:
  void CreateMenuBar(TWinSkinForm& form, HMENU menu) override;
  void MenuChanged(TWinSkinForm& form, HMENU menu) override;
  void RebuildButtons(TWinSkinForm& form) override;
  HMENU BarMenu(TWinSkinForm& form) override;
  void FreeMenuBar(TWinSkinForm& form) override;
  void DrawItem(TWinSkinForm& form, TMessage& message) override;
  void MeasureItem(TWinSkinForm& form, TMessage& message) override;
  void MenuBarPopup(TWinSkinForm& form, TMessage& message) override;
  bool DialogChar(TWinSkinForm& form, TMessage& message) override;
  void OwnerDrawMenus(TWinSkinForm& form, bool on) override;
  void PaintBar(TWinSkinForm& form, HDC dc, const RECT& rect) override;
  TObject* BarButtonAt(TWinSkinForm& form, POINT framePoint) override;
  void OpenBarButton(TWinSkinForm& form, TObject* button) override;
  bool KeyMenu(TWinSkinForm& form, WPARAM key) override;
  void PrepareSystemMenu(TWinSkinForm& form, TComponent& popup) override;
  void MenuSelect(TWinSkinForm& form, TMessage& message) override;
};

// The bar of a skinner (null when none).
TWinSkinMenu* SkinMenuOf(TWinSkinForm& form);

// The owner-drawn item painter of one skinner: its methods are the items'
// OnDrawItem / OnMeasureItem. Owned by the skinner (one of its components).
class TSkinMenuItems : public TComponent {
  VELMORA_CLASS(TSkinMenuItems, TComponent)
 public:
  explicit TSkinMenuItems(TComponent* owner = nullptr) : TComponent(owner) {}
  void DrawMenuItem(TObject* sender, TCanvas* canvas, RECT rect, bool selected);
  void MeasureMenuItem(TObject* sender, TCanvas* canvas, int& width, int& height);
  // The same for popup and system-menu items: only adds to the class library's size.
  void MeasurePopupItem(TObject* sender, TCanvas* canvas, int& width, int& height);
  TWinSkinForm* SkinForm = nullptr;
};
// The skinner's item painter, made on first use.
TSkinMenuItems& MenuItemsOf(TWinSkinForm& form);

// What one menu item shows (a class-library item or one read from a menu handle).
struct TMenuItemLook {
  std::wstring Caption;  // "-" for a separator
  std::wstring ShortCut;
  bool Enabled = true, Checked = false, Default = false;
  int ImageIndex = -1;
  TCustomImageList* Images = nullptr;
  HMENU ParentMenu = nullptr;
};
void DrawMenuItemLook(TWinSkinForm& form, HDC dc, const RECT& rect, bool selected, const TMenuItemLook& look);

// The tool-bar background and tool-button custom-draw handlers of a skinner.
class TSkinToolBarDraw : public TComponent {
  VELMORA_CLASS(TSkinToolBarDraw, TComponent)
 public:
  explicit TSkinToolBarDraw(TComponent* owner = nullptr) : TComponent(owner) {}
  void DrawBackground(TToolBar* bar, const RECT& rect, bool& defaultDraw);
  void DrawButton(TToolBar* bar, TToolButton* button, TCustomDrawState state, bool& defaultDraw);
  TWinSkinForm* SkinForm = nullptr;
};
TSkinToolBarDraw& ToolBarDrawOf(TWinSkinForm& form);

// The screen's menu font (normal or bold), made once.
HFONT MenuFont(bool bold);
// Every item of `menu` and its submenus owner-drawn (items drawn by the program
// already are left alone); the skinner then draws the items it knows no other
// painter for from the menu's own texts.
// Menus destroyed since are forgotten first.
void MakePopupOwnerDrawn(HMENU menu);
// Gives the items MakePopupOwnerDrawn marked in `menu` and its submenus back their
// system drawing and texts, and forgets them (the skin went off the window).
void UndoPopupOwnerDrawn(HMENU menu);
// Whether the skinner marked items of `menu` (and still knows it).
bool IsPopupMarked(HMENU menu);

// The form's popup menus (and those of forms and frames it owns) get the skin's
// item painter, when the skin data skins popup menus.
void OwnerDrawPopupMenus(TWinSkinForm& form);

// The dispatch's extra work for tool bars and tool buttons.
void AttachToolBarHandlers(TWinSkinForm& form, TToolBar* bar);
void AttachToolButtonMenu(TWinSkinForm& form, TToolButton* button);

// Installs the menu seam (idempotent).
void InstallMenuBar();

}  // namespace skin
