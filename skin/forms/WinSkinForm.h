#pragma once
// TWinSkinForm: the skinner of one top-level window (a class-library form, a plain
// dialog, an MDI frame or child). It subclasses the window, hooks a form's
// WindowProc, routes every message (FormSkinRules.h decides where it goes), gives the
// form the skin's colour and lists the painters of its controls.
//
// The non-client side (frame, caption buttons, region), the menu bar and the
// dispatch of child controls are reached through three seams: TFormFrameSeam (the
// skinned frame of SkinFrame_win.h by default), TFormMenuSeam and TFormChildrenSeam
// (whose defaults leave those parts to the system).
//
// Ownership: owned by its form (nil owner for a plain window: the skin manager frees
// it); owns its canvases, bitmaps, timer, the painters of plain windows and the
// subclasses it installed. Its undo restores only entries that are still current.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ExtCtrls_win.h"
#include "classlib/Forms_win.h"
#include "classlib/Graphics_win.h"
#include "skin/forms/FormSkinRules.h"
#include "skin/painters/SkinSubclass_win.h"
#include "skin/data/WinSkinData.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

class TWinSkinForm;

// Private messages of skinned windows.
constexpr UINT kMsgPaintFrame = 0x3502;
constexpr UINT kMsgActivateSkin = 0x3503;
constexpr UINT kMsgCaptionAction = 0x3514;
constexpr UINT kMsgCaptionVisible = 0x3515;
constexpr UINT kMsgRedrawMdiFrame = 0x3516;
constexpr UINT kMsgReplaceScrollBar = 0x3517;
constexpr UINT kMsgMenuBarPopup = 0x3518;
constexpr UINT kMsgFormRefresh = 0x3401;
constexpr UINT kMsgPaintFrameInto = 0xBC4B;
constexpr UINT kMsgFrameQuery = 0xBC4D;
constexpr UINT kMsgSkinned = 0xBC4E;  // also the reflected WM_NOTIFY number: lParam is no header
constexpr LPARAM kSkinMarker = 0x41A2;

// The non-client side. This base is the plain frame: the old procedure for every
// message, metrics equal to the system's frame, no region, and a frame-changed
// SetWindowPos (no size change) where the client size would be kept. TSkinFrame
// (SkinFrame_win.h) overrides it and is what FormFrameSeam() gives by default.
class TFormFrameSeam {
 public:
  virtual ~TFormFrameSeam() = default;
  // Non-client metrics and caption buttons.
  virtual void ComputeMetrics(TWinSkinForm& form);
  virtual void NCCalcSize(TWinSkinForm& form, TMessage& message);
  virtual void NCPaint(TWinSkinForm& form, TMessage& message);
  virtual void NCActivate(TWinSkinForm& form, TMessage& message);
  // WM_SIZE: old procedure, window state, region.
  virtual void Size(TWinSkinForm& form, TMessage& message);
  virtual void NCHitTest(TWinSkinForm& form, TMessage& message);
  virtual void NCMouse(TWinSkinForm& form, TMessage& message);
  virtual void SysCommand(TWinSkinForm& form, TMessage& message);
  virtual void Command(TWinSkinForm& form, TMessage& message);
  // 0x3502 / 0xBC4B: the frame into `dc` (0: the window DC).
  virtual void PaintFrame(TWinSkinForm& form, HDC dc);
  virtual void KeepClientSize(TWinSkinForm& form, bool useClientRect);
  // `redraw` false: only the frame is drawn again after the new region (the sizing
  // repaints the client); a whole-window repaint doubled the cost of every resize.
  virtual void BuildRegion(TWinSkinForm& form, bool redraw = true);
  virtual void RemoveRegion(TWinSkinForm& form);
  virtual void SetSysMenuStyle(TWinSkinForm& form, bool hide);
  virtual void RebuildIcon(TWinSkinForm& form);
  virtual void HoverTick(TWinSkinForm& form);
  virtual void DropCaptionButtons(TWinSkinForm& form);
};

// The menu bar. Defaults: no menu bar (SkinMenu nil, MenuBarHeight 0), messages to
// the old procedure.
class TFormMenuSeam {
 public:
  virtual ~TFormMenuSeam() = default;
  // At attach, with the window's menu: makes SkinMenu and sets MenuBarHeight.
  virtual void CreateMenuBar(TWinSkinForm& form, HMENU menu);
  // The window's menu changed (CM_MENUCHANGED, WM_MDISETMENU): rebuild the bar.
  virtual void MenuChanged(TWinSkinForm& form, HMENU menu);
  virtual void RebuildButtons(TWinSkinForm& form);
  // The menu the bar shows (what the window gets back at detach); 0 without a bar.
  virtual HMENU BarMenu(TWinSkinForm& form);
  virtual void FreeMenuBar(TWinSkinForm& form);
  virtual void DrawItem(TWinSkinForm& form, TMessage& message);
  virtual void MeasureItem(TWinSkinForm& form, TMessage& message);
  virtual void MenuBarPopup(TWinSkinForm& form, TMessage& message);
  // CM_DIALOGCHAR: true when the bar took the key.
  virtual bool DialogChar(TWinSkinForm& form, TMessage& message);
  // Owner-drawn main and popup menus on (attach, refresh) or off (detach).
  virtual void OwnerDrawMenus(TWinSkinForm& form, bool on);
  // The frame's hand-overs: the bar strip `rect` (window-frame coordinates) into
  // `dc`; the bar button under a window-frame point (null: none); a pressed bar
  // button opens its popup; SC_KEYMENU with `key` (0: the first button), true when
  // a button took it; the skinned system menu (a TPopupMenu) before it shows.
  virtual void PaintBar(TWinSkinForm& form, HDC dc, const RECT& rect);
  virtual TObject* BarButtonAt(TWinSkinForm& form, POINT framePoint);
  virtual void OpenBarButton(TWinSkinForm& form, TObject* button);
  virtual bool KeyMenu(TWinSkinForm& form, WPARAM key);
  virtual void PrepareSystemMenu(TWinSkinForm& form, TComponent& popup);
  // WM_MENUSELECT while a bar popup is tracked (it reaches the window, never the
  // message filter).
  virtual void MenuSelect(TWinSkinForm& form, TMessage& message);
};

// The child controls. Defaults: nothing.
class TFormChildrenSeam {
 public:
  virtual ~TFormChildrenSeam() = default;
  virtual void SkinChildren(TWinSkinForm& form);
  virtual void ReplaceScrollBar(TWinSkinForm& form, HWND window);
};

// Install (or with null, go back to the defaults); not owned.
void SetFormFrameSeam(TFormFrameSeam* seam);
void SetFormMenuSeam(TFormMenuSeam* seam);
void SetFormChildrenSeam(TFormChildrenSeam* seam);
TFormFrameSeam& FormFrameSeam();
TFormMenuSeam& FormMenuSeam();
TFormChildrenSeam& FormChildrenSeam();

class TWinSkinForm : public TComponent {
  VELMORA_CLASS(TWinSkinForm, TComponent)
 public:
  explicit TWinSkinForm(TComponent* owner = nullptr);
  ~TWinSkinForm() override;

  // Attach steps; the manager sets Hwnd, ModuleId and FormClassName before, adds the
  // skinner to its list and posts 0x3503 after. A second attach does nothing.
  void AttachForm(TSkinData* skinData, TCustomForm* form);
  void AttachHandle(TSkinData* skinData);
  // Full detach (the window lives on unskinned).
  void Unskin();
  // The detach of a window being destroyed: no painting, sizing or colours.
  void Release();
  // Colours and frame again after a skin change.
  void Refresh();
  static void RepaintWindow(HWND window);
  // True when `painter` was listed already.
  bool AddPainter(TSkinControl* painter);
  void RemovePainter(TSkinControl* painter);

  // The replacement window procedure and form WindowProc.
  void SkinWndProc(TMessage& message);
  void FormWindowProc(TMessage& message);
  // The previous window procedure with `message`.
  void CallOld(TMessage& message);
  // Re-reads WindowState from the window's placement.
  void ReadWindowState();
  // The hover timer's tick (caption-button hints and hover end).
  void HoverTimerTick(TObject* sender);
  bool Subclassed() const { return subclass_.Installed(); }
  bool FormProcHooked() const { return formHook_.Installed(); }
  WNDPROC OldWndProc() const { return subclass_.OldProc(); }
  WNDPROC ObjectInstance() const { return subclass_.Instance(); }
  const std::vector<TSkinControl*>& Painters() const { return painters_; }
  TFormFacts Facts() const;

  // Fields.
  uint8_t SkinActivated = 0;
  std::unique_ptr<TTimer> HoverTimer;
  std::wstring CaptionSuffix = L"  ", CaptionPrefix = L" ";
  std::string ClassName;
  uint8_t MenuUpdateSaved = 0;
  uint8_t FrameSkinned = 0;
  RECT ClientRect{};
  DWORD LastSysMenuTick = 0;
  UINT DoubleClickTime = 0;
  int CaptionTextWidth = 0;
  HWND OwnerWindow = nullptr;
  HICON IconHandle = nullptr;
  int IconSize = 0;
  std::wstring CaptionText;
  int BorderLeft = 0, CaptionHeight = 0, BorderRight = 0, BorderBottom = 0;
  RECT WindowRect{};
  RECT CaptionTextRect{};
  RECT SystemFrameSize{};
  int MenuBarHeight = 0;
  int SysButtonCount = 0;
  uint8_t InMenuLoop = 0;
  uint8_t RightToLeft = 0;
  uint8_t Sizeable = 0;
  uint8_t IsUnicode = 0;
  uint8_t IsDialog = 0;
  uint8_t IsChild = 0;
  std::unique_ptr<TComponent> SysPopupMenu;
  HWND MDIClient = nullptr;
  HMENU InitialMenu = nullptr;
  HMENU SystemMenu = nullptr;
  HMENU OpenPopupMenu = nullptr;
  TColor SavedFormColor = 0;
  uint32_t Style = 0;
  int ButtonAreaWidth = 0;
  TObject* HotObject = nullptr;
  uint8_t RegionSet = 0;
  HRGN Region = nullptr;
  TCustomForm* Form = nullptr;
  HWND Hwnd = nullptr;
  std::unique_ptr<TCanvas> Canvas1, Canvas2;
  TSkinData* SkinData = nullptr;
  std::unique_ptr<TComponent> SkinMenu;
  std::vector<std::unique_ptr<TObject>> SysButtons;
  std::unique_ptr<TBitmap> IconBitmap, CaptionBitmap;
  SIZE WindowSize{};
  SIZE RegionSize{};
  uint8_t Active = 1;
  uint8_t FormKind = kFormNormal;
  uint8_t BorderKind = kBorderSizeable;
  uint8_t ButtonFlags = 0;
  uint8_t WindowState = kStateNormal;
  int State = kFormCreated;
  TSkinControl* HotPainter = nullptr;
  uint32_t ModuleId = 0;
  std::string FormClassName;
  HFONT CaptionFont() const { return captionFont_; }

  // The version record the flag rules read (GetVersion's by default).
  static void SetVersionForTests(const TSystemVersion* version);
  static TSystemVersion Version();

 private:
  static void WindowHandler(void* context, TMessage& message);
  static void FormHandler(void* context, TMessage& message);
  static void ClientHandler(void* context, TMessage& message);
  void Attach(TSkinData* skinData, TCustomForm* form);
  void Activate(TMessage& message);
  void Run(TFormHandler handler, TMessage& message);
  void MenuChanged(TMessage& message, bool throughForm);
  void ClientWindowProc(TMessage& message);
  void CtlColor(TMessage& message, bool staticText);
  void FreePainters(bool unskinFirst);
  void RestoreHooks();
  HBRUSH BackgroundBrush() const;

  TWindowSubclass subclass_;
  TWindowSubclass clientSubclass_;
  TControlProcHook formHook_;
  std::vector<TSkinControl*> painters_;
  HFONT captionFont_ = nullptr;
  bool attached_ = false;
  bool released_ = false;
};

}  // namespace skin
