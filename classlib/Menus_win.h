#pragma once
// Menus over real menu handles: items with captions, states, shortcuts and
// sub-items; main menus on a form's window, popup menus shown at a point; owner
// drawing through OnDrawItem and OnMeasureItem. A menu command reaches its item
// through DispatchMenuMessage, which forms and the application window call.
//
// Ownership: items are components (owned by the form that reads them from a layout,
// or by whoever made them); an item's sub-items only hang in it. A menu owns its
// root item and its menu handle, made on demand and rebuilt after any change.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/Controls_win.h"
#include "classlib/Graphics_win.h"

class TMenu;
class TMenuItem;

using TMenuDrawItemEvent = TEvent<TObject*, TCanvas*, RECT, bool>;
using TMenuMeasureItemEvent = TEvent<TObject*, TCanvas*, int&, int&>;

class TMenuItem : public TComponent {
  VELMORA_CLASS(TMenuItem, TComponent)
  VELMORA_PUBLISHED(TMenuItem)
 public:
  explicit TMenuItem(TComponent* owner = nullptr);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { Update(caption_, caption); }
  bool Visible() const { return visible_; }
  void SetVisible(bool on) { Update(visible_, on); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { Update(enabled_, on); }
  bool Checked() const { return checked_; }
  void SetChecked(bool on) { Update(checked_, on); }
  bool Default() const { return default_; }
  void SetDefault(bool on) { Update(default_, on); }
  // Shortcut text shown after a tab ("Ctrl+O").
  const std::string& ShortCutText() const { return shortCutText_; }
  void SetShortCutText(const std::string& text) { Update(shortCutText_, text); }
  int ImageIndex = -1;
  // The command id of WM_COMMAND; unique in the process.
  UINT Command() const { return command_; }
  // The pop-up menu of the sub-items (made on demand); null for an item without any.
  HMENU Handle();

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  // Hangs `item` at the end / at `index`; it leaves its former parent item.
  void Add(TMenuItem* item) { Insert(Count(), item); }
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  TMenuItem* ParentItem() const { return parentItem_; }
  // The menu this item (or its top) belongs to; null when loose.
  TMenu* Menu() const;
  bool IsLine() const { return caption_ == "-"; }

  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

  virtual void Click();
  // Owner draw: draws the item into `dc` inside `rect` (OnDrawItem when assigned).
  virtual void DrawItem(HDC dc, RECT rect, bool selected);
  virtual void MeasureItem(HDC dc, int& width, int& height);

  // The live item with that command id / that pointer value; null when none.
  static TMenuItem* FindByCommand(UINT command);
  static TMenuItem* FindLive(ULONG_PTR pointerValue);

  TNotifyEvent OnClick;
  TMenuDrawItemEvent OnDrawItem;
  TMenuMeasureItemEvent OnMeasureItem;

 private:
  friend class TMenu;
  template <class T>
  void Update(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  void Changed();
  void AppendTo(HMENU menu, bool ownerDraw);
  void DestroyHandle();

  std::string caption_;
  std::string shortCutText_;
  bool visible_ = true, enabled_ = true, checked_ = false, default_ = false;
  UINT command_ = 0;
  HMENU handle_ = nullptr;
  std::vector<TMenuItem*> items_;
  TMenuItem* parentItem_ = nullptr;
  TMenu* menu_ = nullptr;  // set on a menu's root item
};

class TMenu : public TComponent {
  VELMORA_CLASS(TMenu, TComponent)
  VELMORA_PUBLISHED(TMenu)
 public:
  explicit TMenu(TComponent* owner = nullptr);
  ~TMenu() override;
  TMenuItem* Items() const { return items_.get(); }
  // The menu handle, built on demand from the items.
  HMENU Handle();
  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool on);
  TComponent* Images = nullptr;
  // Rebuilds the handle after an item changed; a main menu redraws its bar.
  virtual void Changed();

 protected:
  virtual HMENU MakeMenu() = 0;
  void DestroyHandle();
  HMENU handle_ = nullptr;

 private:
  std::unique_ptr<TMenuItem> items_;
  bool ownerDraw_ = false;
};

class TMainMenu : public TMenu {
  VELMORA_CLASS(TMainMenu, TMenu)
 public:
  explicit TMainMenu(TComponent* owner = nullptr) : TMenu(owner) {}
  // The window whose menu bar this is (set by the form); null when none.
  HWND WindowHandle = nullptr;
  void Changed() override;

 protected:
  HMENU MakeMenu() override { return CreateMenu(); }
};

class TPopupMenu : public TMenu {
  VELMORA_CLASS(TPopupMenu, TMenu)
  VELMORA_PUBLISHED(TPopupMenu)
 public:
  explicit TPopupMenu(TComponent* owner = nullptr) : TMenu(owner) {}
  // Shows the menu at screen (x, y) and returns when it closes; the command goes to
  // the chosen item's Click. `owner` receives the menu's messages (null: the
  // application's window).
  void Popup(int x, int y, HWND owner = nullptr);
  TNotifyEvent OnPopup;

 protected:
  HMENU MakeMenu() override { return CreatePopupMenu(); }
};

// Handles a menu command (WM_COMMAND from a menu), WM_DRAWITEM and WM_MEASUREITEM
// of owner-drawn menu items. Returns false for other messages.
bool DispatchMenuMessage(TMessage& message);

// The window that receives popup-menu messages when a popup names none; set by
// the application.
void SetMenuOwnerWindow(HWND window);

void RegisterMenusClasses();
