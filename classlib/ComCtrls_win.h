#pragma once
// The common controls over comctl32's classes (and RichEdit 2.0): tab and page
// controls with their sheets, header, status bar with panels, tool bar with tool
// buttons, progress bar, track bar, up-down, date-time picker, list view, tree view
// and rich edit. Each registers under its class name as a superclass of the system
// class ("TTrackBar" over "msctls_trackbar32"); notifications arrive from the parent
// as the reflected WM_NOTIFY (CN_NOTIFY), scrolling as CN_HSCROLL/CN_VSCROLL.
//
// State lives in the object and is copied into the window when the window is made,
// so properties may be set before there is a window (as a layout does). Range
// properties set while loading are checked once, in Loaded.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/ImgList_win.h"
#include "classlib/StdCtrls_win.h"

enum class TProgressBarOrientation { pbHorizontal, pbVertical };
enum class TTrackBarOrientation { trHorizontal, trVertical };
enum class TUDOrientation { udHorizontal, udVertical };
enum class TUDBtnType { btNext, btPrev };
enum class TDateTimeKind { dtkDate, dtkTime };
enum class TDTDateMode { dmComboBox, dmUpDown };
enum class TDTDateFormat { dfShort, dfLong };
enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum class TCustomDrawStateItem {
  cdsSelected, cdsGrayed, cdsDisabled, cdsChecked, cdsFocused, cdsDefault, cdsHot, cdsMarked, cdsIndeterminate
};
// The bit order is the system's CDIS_ order: FromBits(uItemState & 0x1FF).
using TCustomDrawState = TSet<TCustomDrawStateItem>;

extern const TEnumType ProgressBarOrientationType;
extern const TEnumType TrackBarOrientationType;
extern const TEnumType UDOrientationType;
extern const TEnumType DateTimeKindType;
extern const TEnumType DTDateModeType;
extern const TEnumType DTDateFormatType;
extern const TEnumType ViewStyleType;

// ---------------------------------------------------------------------------
// Tabs

class TCustomTabControl : public TWinControl {
  VELMORA_CLASS(TCustomTabControl, TWinControl)
  VELMORA_PUBLISHED(TCustomTabControl)
 public:
  explicit TCustomTabControl(TComponent* owner = nullptr);
  TTabPosition TabPosition() const { return tabPosition_; }
  void SetTabPosition(TTabPosition position);
  TTabStyle Style() const { return style_; }
  void SetStyle(TTabStyle style);
  bool MultiLine() const { return multiLine_; }
  void SetMultiLine(bool on);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  // The area tabs leave for content, in client coordinates (TCM_ADJUSTRECT).
  RECT DisplayRect();
  // The selected tab; -1 when none.
  int TabIndex() const;
  void SetTabIndex(int index);
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;
  // The texts of the tabs, in order.
  virtual std::vector<std::string> TabTexts() const = 0;
  // Puts the tab texts into the window again.
  void UpdateTabs();
  // The user picked another tab.
  virtual void Change();
  int tabIndex_ = -1;

 private:
  TTabPosition tabPosition_ = TTabPosition::tpTop;
  TTabStyle style_ = TTabStyle::tsTabs;
  bool multiLine_ = false;
  TCustomImageList* images_ = nullptr;
};

class TTabControl : public TCustomTabControl {
  VELMORA_CLASS(TTabControl, TCustomTabControl)
  VELMORA_PUBLISHED(TTabControl)
 public:
  explicit TTabControl(TComponent* owner = nullptr) : TCustomTabControl(owner) {}
  const std::vector<std::string>& Tabs() const { return tabs_; }
  void SetTabs(const std::vector<std::string>& tabs);

 protected:
  std::vector<std::string> TabTexts() const override { return tabs_; }

 private:
  std::vector<std::string> tabs_;
};

class TPageControl;

// A page of a page control: a plain windowed container shown while its tab is
// selected. Placed in a page control by SetParent (or SetPageControl).
class TTabSheet : public TWinControl {
  VELMORA_CLASS(TTabSheet, TWinControl)
  VELMORA_PUBLISHED(TTabSheet)
 public:
  explicit TTabSheet(TComponent* owner = nullptr);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* pageControl);
  void SetParent(TWinControl* parent) override;
  // Whether the sheet has a tab; a sheet without one is never shown.
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool on);
  int ImageIndex = -1;
  // The place among the page control's sheets; -1 without one.
  int PageIndex() const;
  // The place among the visible tabs; -1 when it has none.
  int TabIndex() const;

 protected:
  void TextChanged() override;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

class TPageControl : public TCustomTabControl {
  VELMORA_CLASS(TPageControl, TCustomTabControl)
  VELMORA_PUBLISHED(TPageControl)
 public:
  explicit TPageControl(TComponent* owner = nullptr);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const { return pages_.at(static_cast<size_t>(index)); }
  TTabSheet* ActivePage() const { return activePage_; }
  // Shows `page` (one of this control's sheets with a tab, or null) and hides the rest.
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);
  void Loaded() override;

 protected:
  std::vector<std::string> TabTexts() const override;
  void CreateHandleDone() override;
  void BoundsChanged() override;
  void Change() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void PagesChanged();
  void ArrangePages();
  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
};

// ---------------------------------------------------------------------------
// Header

using TSectionNotifyEvent = TEvent<TObject*, int>;

class THeaderControl : public TWinControl {
  VELMORA_CLASS(THeaderControl, TWinControl)
  VELMORA_PUBLISHED(THeaderControl)
 public:
  explicit THeaderControl(TComponent* owner = nullptr);
  // Section texts, each SectionWidth pixels wide.
  const std::vector<std::string>& Sections() const { return sections_; }
  void SetSections(const std::vector<std::string>& sections);
  int SectionWidth = 100;
  TCustomImageList* Images = nullptr;
  // A section was clicked: the sender and the section's index.
  TSectionNotifyEvent OnSectionClick;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  std::vector<std::string> sections_;
};

// ---------------------------------------------------------------------------
// Status bar

class TCustomStatusBar;
using TDrawPanelEvent = TEvent<TCustomStatusBar*, TStatusPanel*, const RECT&>;

class TCustomStatusBar : public TWinControl {
  VELMORA_CLASS(TCustomStatusBar, TWinControl)
  VELMORA_PUBLISHED(TCustomStatusBar)
 public:
  explicit TCustomStatusBar(TComponent* owner = nullptr);
  ~TCustomStatusBar() override;
  TStatusPanels* Panels() const { return panels_.get(); }
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool on);
  std::string SimpleText() const { return simpleText_; }
  void SetSimpleText(const std::string& text);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool on);
  // Called for owner-drawn panels (psOwnerDraw) with the panel's rectangle; the
  // bar's Canvas draws on the panel's DC during the call.
  TDrawPanelEvent OnDrawPanel;
  TCanvas& Canvas() { return *canvas_; }
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  void UpdatePanels();
  std::unique_ptr<TStatusPanels> panels_;
  std::unique_ptr<TCanvas> canvas_;
  bool simplePanel_ = false;
  std::string simpleText_;
  bool sizeGrip_ = true;
};

class TStatusBar : public TCustomStatusBar {
  VELMORA_CLASS(TStatusBar, TCustomStatusBar)
 public:
  explicit TStatusBar(TComponent* owner = nullptr) : TCustomStatusBar(owner) {}
};

// ---------------------------------------------------------------------------
// Tool bar

class TToolBar;

// A button of a tool bar: windowless; the tool bar's window draws it (through the
// custom-draw events) and the button takes its mouse clicks.
class TToolButton : public TGraphicControl {
  VELMORA_CLASS(TToolButton, TGraphicControl)
  VELMORA_PUBLISHED(TToolButton)
 public:
  explicit TToolButton(TComponent* owner = nullptr);
  ~TToolButton() override;
  void SetParent(TWinControl* parent) override;
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  bool Down() const { return down_; }
  void SetDown(bool on);
  // The command id the tool bar window knows the button by; 0 outside a tool bar.
  int CommandId() const { return commandId_; }
  TToolBar* ToolBar() const { return toolBar_; }
  // A menu the skin engine gives owner-drawn handlers (may be null).
  TComponent* MenuItem = nullptr;

 protected:
  void TextChanged() override;

 private:
  friend class TToolBar;
  TToolBar* toolBar_ = nullptr;
  int imageIndex_ = -1;
  bool down_ = false;
  int commandId_ = 0;
};

using TToolBarCustomDrawEvent = TEvent<TToolBar*, const RECT&, bool&>;
using TToolBarCustomDrawButtonEvent = TEvent<TToolBar*, TToolButton*, TCustomDrawState, bool&>;

class TToolBar : public TWinControl {
  VELMORA_CLASS(TToolBar, TWinControl)
  VELMORA_PUBLISHED(TToolBar)
 public:
  explicit TToolBar(TComponent* owner = nullptr);
  ~TToolBar() override;
  bool Flat() const { return flat_; }
  void SetFlat(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool ShowCaptions() const { return showCaptions_; }
  void SetShowCaptions(bool on);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TToolButton* Buttons(int index) const { return buttons_.at(static_cast<size_t>(index)); }
  // The bar's background and each button, from the window's NM_CUSTOMDRAW; clearing
  // the flag keeps the system from drawing. Canvas draws on the custom-draw DC.
  TToolBarCustomDrawEvent OnCustomDraw;
  TToolBarCustomDrawButtonEvent OnCustomDrawButton;
  TCanvas& Canvas() { return *canvas_; }
  TComponent* Menu = nullptr;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;
  void BoundsChanged() override;

 private:
  friend class TToolButton;
  // The window keeps its own hot item and pressed button under the mouse (custom
  // draw reports them) and clicks its buttons through WM_COMMAND.
  bool RoutesMouseToControls() const override { return false; }
  void InsertButton(TToolButton* button);
  void RemoveButton(TToolButton* button);
  void UpdateButtons();
  void ArrangeButtons();
  TToolButton* ButtonOfCommand(int id) const;
  LRESULT CustomDraw(NMTBCUSTOMDRAW& draw);
  std::vector<TToolButton*> buttons_;
  std::unique_ptr<TCanvas> canvas_;
  TCustomImageList* images_ = nullptr;
  bool flat_ = false;
  bool transparent_ = false;
  bool showCaptions_ = false;
  int nextCommand_ = 1;
};

// ---------------------------------------------------------------------------
// Range controls

class TProgressBar : public TWinControl {
  VELMORA_CLASS(TProgressBar, TWinControl)
  VELMORA_PUBLISHED(TProgressBar)
 public:
  explicit TProgressBar(TComponent* owner = nullptr);
  int Min() const { return min_; }
  void SetMin(int v) { SetRange(v, max_); }
  int Max() const { return max_; }
  void SetMax(int v) { SetRange(min_, v); }
  int Position() const;
  // Clamped into [Min, Max].
  void SetPosition(int v);
  int Step = 10;
  void StepIt() { SetPosition(Position() + Step); }
  void StepBy(int delta) { SetPosition(Position() + delta); }
  TProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TProgressBarOrientation orientation);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool on);
  // Raises EInvalidOperation when min > max (checked in Loaded while loading).
  void SetRange(int min, int max);
  void Loaded() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
  TProgressBarOrientation orientation_ = TProgressBarOrientation::pbHorizontal;
  bool smooth_ = false;
};

class TTrackBar : public TWinControl {
  VELMORA_CLASS(TTrackBar, TWinControl)
  VELMORA_PUBLISHED(TTrackBar)
 public:
  explicit TTrackBar(TComponent* owner = nullptr);
  int Min() const { return min_; }
  void SetMin(int v) { SetRange(v, max_); }
  int Max() const { return max_; }
  void SetMax(int v) { SetRange(min_, v); }
  int Position() const;
  void SetPosition(int v);
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v);
  int Frequency() const { return frequency_; }
  void SetFrequency(int v);
  TTrackBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TTrackBarOrientation orientation);
  bool Transparent = false;
  // Raises EInvalidOperation when min > max (checked in Loaded while loading).
  void SetRange(int min, int max);
  TNotifyEvent OnChange;
  void Loaded() override;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  int min_ = 0, max_ = 10, position_ = 0, pageSize_ = 2, frequency_ = 1;
  TTrackBarOrientation orientation_ = TTrackBarOrientation::trHorizontal;
};

using TUDClickEvent = TEvent<TObject*, TUDBtnType>;

class TUpDown : public TWinControl {
  VELMORA_CLASS(TUpDown, TWinControl)
  VELMORA_PUBLISHED(TUpDown)
 public:
  explicit TUpDown(TComponent* owner = nullptr);
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const { return position_; }
  // Clamped into the range; the associated control shows the number.
  void SetPosition(int v);
  int Increment = 1;
  bool Wrap = false;
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation orientation);
  TWinControl* Associate() const { return associate_; }
  void SetAssociate(TWinControl* control);
  // An arrow was clicked (after the position moved).
  TUDClickEvent OnClick;
  void Loaded() override;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  void ShowPosition();
  int min_ = 0, max_ = 100, position_ = 0;
  TUDOrientation orientation_ = TUDOrientation::udVertical;
  TWinControl* associate_ = nullptr;
};

// ---------------------------------------------------------------------------
// Date-time picker

class TDateTimePicker : public TWinControl {
  VELMORA_CLASS(TDateTimePicker, TWinControl)
  VELMORA_PUBLISHED(TDateTimePicker)
 public:
  explicit TDateTimePicker(TComponent* owner = nullptr);
  TDateTime DateTime() const;
  // Raises EConvertError for a value the system record cannot hold.
  void SetDateTime(TDateTime value);
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind kind);
  TDTDateMode DateMode() const { return dateMode_; }
  void SetDateMode(TDTDateMode mode);
  TDTDateFormat DateFormat() const { return dateFormat_; }
  void SetDateFormat(TDTDateFormat format);
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  TDateTime value_;
  TDateTimeKind kind_ = TDateTimeKind::dtkDate;
  TDTDateMode dateMode_ = TDTDateMode::dmComboBox;
  TDTDateFormat dateFormat_ = TDTDateFormat::dfShort;
};

// ---------------------------------------------------------------------------
// List and tree views

using TCustomDrawEvent = TEvent<TWinControl*, const RECT&, bool&>;

// Items are lines: the caption, then sub-item texts after tab characters.
class TCustomListView : public TWinControl {
  VELMORA_CLASS(TCustomListView, TWinControl)
  VELMORA_PUBLISHED(TCustomListView)
 public:
  explicit TCustomListView(TComponent* owner = nullptr);
  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle style);
  const std::vector<std::string>& Columns() const { return columns_; }
  void SetColumns(const std::vector<std::string>& columns);
  int ColumnWidth = 100;
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TCustomImageList* LargeImages = nullptr;
  TCustomImageList* SmallImages = nullptr;
  TNotifyEvent OnChange;
  // The whole control before the system draws it; clearing the flag skips it.
  TCustomDrawEvent OnCustomDraw;
  TCanvas& Canvas() { return *canvas_; }
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  void FillWindow();
  std::unique_ptr<TCanvas> canvas_;
  TViewStyle viewStyle_ = TViewStyle::vsIcon;
  std::vector<std::string> columns_;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TListView : public TCustomListView {
  VELMORA_CLASS(TListView, TCustomListView)
 public:
  explicit TListView(TComponent* owner = nullptr) : TCustomListView(owner) {}
};

// Items are outline lines: two spaces (or a tab) of indentation per level.
class TCustomTreeView : public TWinControl {
  VELMORA_CLASS(TCustomTreeView, TWinControl)
  VELMORA_PUBLISHED(TCustomTreeView)
 public:
  explicit TCustomTreeView(TComponent* owner = nullptr);
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int NodeCount() const { return static_cast<int>(nodes_.size()); }
  // The selected node's text; "" when none.
  std::string SelectedText() const;
  // Selects the node of that outline index (-1: none).
  void SelectNode(int index);
  bool ShowLines = true;
  bool ShowRoot = true;
  bool ShowButtons = true;
  TCustomImageList* Images = nullptr;
  TNotifyEvent OnChange;
  TCustomDrawEvent OnCustomDraw;
  TCanvas& Canvas() { return *canvas_; }
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  void FillWindow();
  std::unique_ptr<TCanvas> canvas_;
  std::vector<std::string> items_;
  std::vector<TOutlineNode> nodes_;
  std::vector<HTREEITEM> handles_;  // of nodes_, while the window lives
};

class TTreeView : public TCustomTreeView {
  VELMORA_CLASS(TTreeView, TCustomTreeView)
 public:
  explicit TTreeView(TComponent* owner = nullptr) : TCustomTreeView(owner) {}
};

// ---------------------------------------------------------------------------
// Rich edit: a memo over RichEdit 2.0 ("RichEdit20A" of riched20.dll).

class TCustomRichEdit : public TCustomMemo {
  VELMORA_CLASS(TCustomRichEdit, TCustomMemo)
  VELMORA_PUBLISHED(TCustomRichEdit)
 public:
  explicit TCustomRichEdit(TComponent* owner = nullptr);
  bool PlainText = false;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;
};

class TRichEdit : public TCustomRichEdit {
  VELMORA_CLASS(TRichEdit, TCustomRichEdit)
 public:
  explicit TRichEdit(TComponent* owner = nullptr) : TCustomRichEdit(owner) {}
};

void RegisterComCtrlsClasses();
