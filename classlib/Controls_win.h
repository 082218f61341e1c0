#pragma once
// Controls over real windows. TControl is anything on a form; TWinControl owns a
// window (made on demand); TGraphicControl has none and is painted by its parent,
// which also routes mouse messages to it; TCustomControl is a windowed control
// with a canvas that paints itself.
//
// Messages: every window of a control is of a class registered under the control's
// class name ("TButton", "TForm1"), a superclass of the system class when there is
// one ("BUTTON"). One static window procedure finds the control through the window
// property named by ControlPropertyName and calls its WindowProc, a replaceable bound
// method that starts as the virtual WndProc; painters put themselves in front of it
// and call the saved one. No exception leaves the window procedure: it goes to
// HandleControlException.
//
// Ownership: a control is owned by its Owner component (usually the form); its
// Parent only shows it. Deleting a parent leaves its children without parent (and
// without window); deleting a child removes it from its parent.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/Components.h"
#include "classlib/ControlMessages.h"
#include "classlib/Graphics_win.h"

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// The replaceable message entry of a control.
using TWndMethod = TEvent<TMessage&>;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;

extern const TEnumType BiDiModeType;

// The shift state of mouse message key flags (MK_ ...).
TShiftState ShiftStateFromKeys(WPARAM keys);

class TWinControl;

// The window procedure of every class this library registers.
LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Forgets which procedure each registered class extends (the forms unit's stop, once
// its windows are gone). A window made later looks its class up again.
void ForgetWindowClasses();

// Called with every exception caught at a window procedure, timer or hook entry.
// The forms unit installs the application's handler; without one the message is
// shown in a message box. Never throws.
using TControlExceptionHandler = void (*)(TObject* sender);
void SetControlExceptionHandler(TControlExceptionHandler handler);
// Call only inside a catch block.
void HandleControlException(TObject* sender) noexcept;

// Every timer callback of the class library (TTimer's, the hint manager's) counts
// itself here, so a test can see that an idle program sleeps. The application's
// window answers kMsgTimerCallbacks (registered under that name) with the count.
void CountTimerCallback();
unsigned long TimerCallbackCount();
inline constexpr const char* kMsgTimerCallbacks = "VelmoraTimerCallbacks";

class TControl : public TComponent {
  VELMORA_CLASS(TControl, TComponent)
  VELMORA_PUBLISHED(TControl)
 public:
  explicit TControl(TComponent* owner = nullptr);
  ~TControl() override;

  // The message entry; assign to chain in front, assign the saved value to restore.
  TWndMethod WindowProc;
  // Sends a message through WindowProc; returns its result.
  LRESULT Perform(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // The control's own handling; unhandled messages reach DefaultHandler.
  virtual void WndProc(TMessage& message);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  // The client area in client coordinates.
  virtual RECT ClientRect();
  int ClientWidth() { return ClientRect().right; }
  int ClientHeight() { return ClientRect().bottom; }
  // Client point of this control to screen coordinates.
  POINT ClientToScreen(POINT point);

  // The text: a windowed control's window text, else kept here.
  virtual std::string Text() const { return text_; }
  virtual void SetText(const std::string& text);
  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& text) { SetText(text); }

  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* font);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool on);
  bool Visible() const { return visible_; }
  void SetVisible(bool on);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Visible here and in every parent (a windowless parent chain ends at a form).
  bool Showing() const;

  std::string Hint;
  bool ShowHint = false;
  TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
  // The popup menu (a TPopupMenu) a right click on the control shows; null: none,
  // the parent's then. Cleared when that menu is freed first.
  TComponent* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TComponent* menu);
  void Notification(TComponent* component, TOperation operation) override;

  // Repaints later / now.
  virtual void Invalidate();
  virtual void Update();
  void Refresh() { Repaint(); }
  virtual void Repaint();

  bool MouseInControl() const { return mouseInControl_; }

  virtual void Click();

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  // What happens to messages the control did not handle; windowless: nothing.
  virtual void DefaultHandler(TMessage& message) {}
  // Whether a left press and release inside the control count as a click; windowed
  // standard controls report their clicks themselves.
  bool clickOnMouseUp_ = false;
  // Called after the bounds changed (windowed: moves the window).
  virtual void BoundsChanged() {}
  virtual void TextChanged() {}
  virtual void ColorChanged();
  virtual void FontChanged();
  // The colour a ParentColor control takes from its parent.
  void TakeParentColor();
  // The parent's colour or font changed: the children follow when they take it.
  void ParentColorChanged();

  std::string text_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;

 private:
  TComponent* popupMenu_ = nullptr;
  friend class TWinControl;
  void HandleMouse(TMessage& message);
  TWinControl* parent_ = nullptr;
  std::unique_ptr<TFont> font_;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  bool mouseInControl_ = false;
  bool pressed_ = false;
};

// How a window is made: CreateParams fills this, then the control's class is
// registered (once per name) and the window created.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  UINT ClassStyle = CS_DBLCLKS;
  HBRUSH Background = nullptr;
  std::string WinClassName;     // the registered class: the control's class name
  std::string SystemClassName;  // the system class it extends; "" for none
};

class TWinControl : public TControl {
  VELMORA_CLASS(TWinControl, TControl)
  VELMORA_PUBLISHED(TWinControl)
 public:
  explicit TWinControl(TComponent* owner = nullptr);
  ~TWinControl() override;

  // The window; made (with the parents' windows) when missing. Raises
  // EInvalidOperation when the control has no parent window to live in, or when
  // the window cannot be made.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys and makes the window again (after a style change). Sends
  // CM_RECREATEWND first so that listeners can let go of the old window.
  void RecreateWnd();

  // A windowed control placed in a window that has no control (a plain window).
  void SetParentWindow(HWND window);
  HWND ParentWindow() const { return parentWindow_; }
  void SetParent(TWinControl* parent) override;

  // Children in z-order (first is the bottom).
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
  // The windowless visible child under a client point (topmost first); null if none.
  TControl* ControlAtPos(POINT point) const;

  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop = false;
  // Appends the windowed descendants in tab order, each followed by its own.
  void GetTabOrderList(std::vector<TWinControl*>& list) const;

  bool Focused() const;
  void SetFocus();

  std::string Text() const override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  RECT ClientRect() override;

  // The control of a window made by this library (any thread's windows are looked
  // up under the calling thread's property name); null when none.
  static TWinControl* FindControl(HWND window);
  // The property name and its global atom for the calling thread.
  static const char* PropertyName();
  static ATOM PropertyAtom();

  // Paints the windowless children into `dc`, whose origin is this control's client
  // origin; each child gets WM_PAINT with the DC in wParam, its origin at its corner.
  void PaintControls(HDC dc);

  void WndProc(TMessage& message) override;

 protected:
  virtual void CreateParams(TCreateParams& params);
  // Makes this control's class a superclass of `systemClass` ("BUTTON").
  static void CreateSubClass(TCreateParams& params, const char* systemClass);
  virtual void CreateWnd();
  // Runs once the window exists (set state that lives in the window).
  virtual void CreateHandleDone() {}
  virtual void DestroyWnd();
  // Calls the class's original window procedure.
  void DefaultHandler(TMessage& message) override;
  // WM_PAINT into a DC: system controls draw themselves, others call PaintWindow.
  virtual void PaintWindow(HDC dc);
  // True for controls that hold other controls: their window clips its children.
  bool acceptsControls_ = false;
  // Whether the mouse over a windowless child goes to that child. A window that
  // tracks its own items under the mouse (a tool bar's hot and pressed buttons)
  // keeps it; the child then only learns enter and leave.
  virtual bool RoutesMouseToControls() const { return true; }
  void BoundsChanged() override;
  void TextChanged() override;
  void ColorChanged() override;
  void FontChanged() override;
  // Whether the window's system class draws the control (it then paints itself).
  bool HasSystemClass() const { return defWndProc_ != nullptr && defWndProc_ != DefWindowProcA; }
  // Kept while the window lives: the brush of Color for colour messages.
  TBrush brush_;

  // Window message handlers.
  void WMPaint(TMessage& message);
  virtual void WMEraseBkgnd(TMessage& message);

 private:
  friend class TControl;
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  void AttachHandle(HWND window);
  void DetachHandle();
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  bool ReflectToChild(TMessage& message);
  void RouteMouseToChild(TMessage& message);
  void UpdateHover(TControl* next);
  // Tab and Shift+Tab: the focus to the next (previous) control of the form's tab
  // order that can take it; false when none can.
  bool FocusNextInTabOrder(bool backwards);
  void ApplyFont();

  HWND handle_ = nullptr;
  HWND parentWindow_ = nullptr;
  WNDPROC defWndProc_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  TControl* hoverControl_ = nullptr;    // windowless child under the pointer
  TControl* captureControl_ = nullptr;  // windowless child holding the mouse
  bool trackingLeave_ = false;
  HFONT fontHandle_ = nullptr;
};

// A windowless control: painted by its parent into the parent's DC.
class TGraphicControl : public TControl {
  VELMORA_CLASS(TGraphicControl, TControl)
 public:
  explicit TGraphicControl(TComponent* owner = nullptr);
  ~TGraphicControl() override;
  // Set to the DC for the length of a WM_PAINT.
  TCanvas& Canvas() { return *canvas_; }
  void WndProc(TMessage& message) override;

 protected:
  virtual void Paint() {}

 private:
  std::unique_ptr<TCanvas> canvas_;
};

// A windowed control of its own class that paints itself on a canvas.
class TCustomControl : public TWinControl {
  VELMORA_CLASS(TCustomControl, TWinControl)
 public:
  explicit TCustomControl(TComponent* owner = nullptr);
  ~TCustomControl() override;
  TCanvas& Canvas() { return *canvas_; }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC dc) override;

 private:
  std::unique_ptr<TCanvas> canvas_;
};

// Registers the classes of this unit with the class registry (for layouts).
void RegisterControlsClasses();

// RAII for the paint pair of WM_PAINT without a DC.
class TPaintScope {
 public:
  explicit TPaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &ps_); }
  ~TPaintScope() { EndPaint(window_, &ps_); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};
