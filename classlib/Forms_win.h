#pragma once
// Forms, the application object and the screen object.
//
// Application and Screen exist while the "Forms" unit runs (RegisterFormsUnit, then
// InitUnits); the unit also registers every control class of the library for
// layouts and routes exceptions caught at window procedures to
// Application->HandleException.
//
// Ownership: Application owns the forms made with CreateForm; the screen only lists
// forms (in creation order) and never frees them.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/Controls_win.h"
#include "classlib/Menus_win.h"

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStateItem { fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild, fsActivated };
using TFormState = TSet<TFormStateItem>;
enum class TScrollBoxBorderStyle { bsNone, bsSingle };

extern const TEnumType FormBorderStyleType;
extern const TEnumType FormStyleType;
extern const TEnumType WindowStateType;
extern const TEnumType BorderStyleType;  // bsNone, bsSingle (scroll box, panel, edit...)

constexpr int mrNone = 0, mrOk = 1, mrCancel = 2;

// A windowed container that may scroll its content.
class TScrollingWinControl : public TWinControl {
  VELMORA_CLASS(TScrollingWinControl, TWinControl)
  VELMORA_PUBLISHED(TScrollingWinControl)
 public:
  explicit TScrollingWinControl(TComponent* owner = nullptr);
  bool AutoScroll = false;
};

class TScrollBox : public TScrollingWinControl {
  VELMORA_CLASS(TScrollBox, TScrollingWinControl)
  VELMORA_PUBLISHED(TScrollBox)
 public:
  explicit TScrollBox(TComponent* owner = nullptr) : TScrollingWinControl(owner) { AutoScroll = true; }
  TScrollBoxBorderStyle BorderStyle = TScrollBoxBorderStyle::bsSingle;

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TCustomForm : public TScrollingWinControl {
  VELMORA_CLASS(TCustomForm, TScrollingWinControl)
  VELMORA_PUBLISHED(TCustomForm)
 public:
  explicit TCustomForm(TComponent* owner = nullptr);
  ~TCustomForm() override;

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle style);
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState state);
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);
  TIcon& Icon() { return icon_; }
  void SetClientWidth(int width);
  void SetClientHeight(int height);
  int GetClientWidth() const { return const_cast<TCustomForm*>(this)->ClientWidth(); }
  int GetClientHeight() const { return const_cast<TCustomForm*>(this)->ClientHeight(); }

  TFormState FormState() const { return formState_; }
  int ModalResult = mrNone;
  // Shows the form and serves messages until ModalResult is set (or the program
  // ends); returns ModalResult. The form is hidden again afterwards.
  int ShowModal();
  void Show();
  void Close();

  // MDI: the client window of an MDI form, its children, the active child.
  HWND ClientHandle() const { return clientHandle_; }
  TCustomForm* ActiveMDIChild() const;
  std::vector<TCustomForm*> MDIChildren() const;

  // The windowed controls in tab order, nested.
  std::vector<TWinControl*> TabOrderList() const {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    return list;
  }

  void Loaded() override;
  void WndProc(TMessage& message) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;
  void DefaultHandler(TMessage& message) override;

 private:
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  TFormStyle formStyle_ = TFormStyle::fsNormal;
  TWindowState windowState_ = TWindowState::wsNormal;
  TMainMenu* menu_ = nullptr;
  TIcon icon_;
  TFormState formState_;
  HWND clientHandle_ = nullptr;
  bool closing_ = false;
};

class TForm : public TCustomForm {
  VELMORA_CLASS(TForm, TCustomForm)
 public:
  explicit TForm(TComponent* owner = nullptr) : TCustomForm(owner) {}
};

using TExceptionEvent = TEvent<TObject*, Exception*>;

class TApplication : public TComponent {
  VELMORA_CLASS(TApplication, TComponent)
  VELMORA_PUBLISHED(TApplication)
 public:
  explicit TApplication(TComponent* owner = nullptr);
  ~TApplication() override;

  // The hidden owner window, of class "TApplication".
  HWND Handle() const { return handle_; }
  TCustomForm* MainForm() const { return mainForm_; }
  // Makes a form owned by the application; the first one becomes the main form.
  template <class T>
  T* CreateForm() {
    auto* form = new T(this);
    if (!mainForm_) mainForm_ = form;
    return form;
  }
  // Takes a form made elsewhere as the main form (it stays the caller's).
  void SetMainForm(TCustomForm* form) { mainForm_ = form; }

  // Shows the main form and serves messages until Terminate or WM_QUIT.
  void Run();
  // Serves every pending message; returns at once when there is none.
  void ProcessMessages();
  // Waits for one message and serves it.
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Called inside a catch block by every window procedure, timer and hook entry:
  // EAbort is dropped silently; else OnException gets the exception when assigned,
  // ShowException shows it otherwise. Never throws. Kept out of line on purpose:
  // its address is handed to the exception logger (ApplicationHandlerAddresses).
  void HandleException(TObject* sender);
  // Shows the exception's message in a message box.
  void ShowException(Exception* error);

  TExceptionEvent OnException;
  std::string Title = "Velmora";
  int HintPause = 500;
  int HintHidePause = 2500;
  TIcon& Icon() { return icon_; }

 private:
  bool ProcessMessage(MSG& msg);
  HWND handle_ = nullptr;
  TCustomForm* mainForm_ = nullptr;
  bool terminated_ = false;
  TIcon icon_;
};

// Where the exception logger finds the application's handlers to take them over.
struct TApplicationHandlerAddresses {
  void* HandleException;  // TApplication::HandleException's code
  void* ShowException;    // TApplication::ShowException's code
};
TApplicationHandlerAddresses ApplicationHandlerAddresses();

class TScreen : public TComponent {
  VELMORA_CLASS(TScreen, TComponent)
 public:
  explicit TScreen(TComponent* owner = nullptr);
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int index) const { return forms_.at(static_cast<size_t>(index)); }
  TCustomForm* ActiveForm() const { return activeForm_; }
  TFont& MenuFont() { return menuFont_; }
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;
  TCustomForm* activeForm_ = nullptr;
  TFont menuFont_;
};

extern TApplication* Application;
extern TScreen* Screen;

// Registers the "Forms" unit (Application, Screen, class registration); call
// before InitUnits. Calling it again does nothing.
void RegisterFormsUnit();
