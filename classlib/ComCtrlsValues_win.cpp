// The value controls: progress bar, track bar, up-down, date-time picker.
#include "classlib/ComCtrls_win.h"

#include <algorithm>

#include "classlib/ComCtrlsParts_win.h"
#include "classlib/ControlClasses.h"

using namespace comctrls;

const TEnumType ProgressBarOrientationType("TProgressBarOrientation", {"pbHorizontal", "pbVertical"});
const TEnumType TrackBarOrientationType("TTrackBarOrientation", {"trHorizontal", "trVertical"});
const TEnumType UDOrientationType("TUDOrientation", {"udHorizontal", "udVertical"});
const TEnumType DateTimeKindType("TDateTimeKind", {"dtkDate", "dtkTime"});
const TEnumType DTDateModeType("TDTDateMode", {"dmComboBox", "dmUpDown"});
const TEnumType DTDateFormatType("TDTDateFormat", {"dfShort", "dfLong"});

// ---------------------------------------------------------------------------
// Progress bar

VELMORA_PUBLISH(TProgressBar) {
  p.Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin)
      .Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax)
      .Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition)
      .Integer("Step", &TProgressBar::Step)
      .Default(10)
      .Enum("Orientation", ProgressBarOrientationType, &TProgressBar::Orientation, &TProgressBar::SetOrientation)
      .Default(0)
      .Boolean("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth)
      .Default(0);
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 150, 16); }

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, PROGRESS_CLASSA);
  if (orientation_ == TProgressBarOrientation::pbVertical) params.Style |= PBS_VERTICAL;
  if (smooth_) params.Style |= PBS_SMOOTH;
}

void TProgressBar::CreateHandleDone() {
  SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

int TProgressBar::Position() const {
  if (!HandleAllocated()) return position_;
  return static_cast<int>(SendMessageA(const_cast<TProgressBar*>(this)->Handle(), PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int v) {
  position_ = Loading() ? v : std::clamp(v, min_, max_);
  if (HandleAllocated()) SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetRange(int min, int max) {
  if (!Loading() && min > max) throw EInvalidOperation("Progress bar range " + std::to_string(min) + ".." +
                                                       std::to_string(max) + " is empty");
  min_ = min;
  max_ = max;
  if (Loading()) return;
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) CreateHandleDone();
}

void TProgressBar::Loaded() {
  TWinControl::Loaded();
  SetRange(min_, max_);
}

void TProgressBar::SetOrientation(TProgressBarOrientation orientation) {
  orientation_ = orientation;
  RecreateWnd();
}

void TProgressBar::SetSmooth(bool on) {
  smooth_ = on;
  RecreateWnd();
}

// ---------------------------------------------------------------------------
// Track bar

VELMORA_PUBLISH(TTrackBar) {
  p.Integer("Min", &TTrackBar::Min, &TTrackBar::SetMin)
      .Integer("Max", &TTrackBar::Max, &TTrackBar::SetMax)
      .Integer("Position", &TTrackBar::Position, &TTrackBar::SetPosition)
      .Integer("PageSize", &TTrackBar::PageSize, &TTrackBar::SetPageSize)
      .Default(2)
      .Integer("Frequency", &TTrackBar::Frequency, &TTrackBar::SetFrequency)
      .Default(1)
      .Enum("Orientation", TrackBarOrientationType, &TTrackBar::Orientation, &TTrackBar::SetOrientation)
      .Default(0)
      .Boolean("Transparent", &TTrackBar::Transparent)
      .Default(0)
      .Event("OnChange", &TTrackBar::OnChange);
}

TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetBounds(0, 0, 150, 45);
}

void TTrackBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, TRACKBAR_CLASSA);
  params.Style |= TBS_AUTOTICKS | (orientation_ == TTrackBarOrientation::trVertical ? TBS_VERT : TBS_HORZ);
}

void TTrackBar::CreateHandleDone() {
  HWND window = Handle();
  SendMessageA(window, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageA(window, TBM_SETRANGEMAX, FALSE, max_);
  SendMessageA(window, TBM_SETPAGESIZE, 0, pageSize_);
  SendMessageA(window, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
  SendMessageA(window, TBM_SETPOS, TRUE, position_);
}

int TTrackBar::Position() const {
  if (!HandleAllocated()) return position_;
  return static_cast<int>(SendMessageA(const_cast<TTrackBar*>(this)->Handle(), TBM_GETPOS, 0, 0));
}

void TTrackBar::SetPosition(int v) {
  const int next = Loading() ? v : std::clamp(v, min_, max_);
  const bool moved = next != position_;
  position_ = next;
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETPOS, TRUE, position_);
  if (moved && !Loading()) OnChange(this);
}

void TTrackBar::SetRange(int min, int max) {
  if (!Loading() && min > max)
    throw EInvalidOperation("Track bar range " + std::to_string(min) + ".." + std::to_string(max) + " is empty");
  min_ = min;
  max_ = max;
  if (Loading()) return;
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) CreateHandleDone();
}

void TTrackBar::SetPageSize(int v) {
  pageSize_ = std::max(v, 0);
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETPAGESIZE, 0, pageSize_);
}

void TTrackBar::SetFrequency(int v) {
  frequency_ = std::max(v, 1);
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetOrientation(TTrackBarOrientation orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  if (!Loading()) SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TTrackBar::Loaded() {
  TWinControl::Loaded();
  SetRange(min_, max_);
}

void TTrackBar::WndProc(TMessage& message) {
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) {
    const int now = static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    if (now != position_) {
      position_ = now;
      OnChange(this);
    }
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Up-down

VELMORA_PUBLISH(TUpDown) {
  p.Integer("Min", &TUpDown::Min, &TUpDown::SetMin)
      .Integer("Max", &TUpDown::Max, &TUpDown::SetMax)
      .Integer("Position", &TUpDown::Position, &TUpDown::SetPosition)
      .Integer("Increment", &TUpDown::Increment)
      .Default(1)
      .Boolean("Wrap", &TUpDown::Wrap)
      .Default(0)
      .Enum("Orientation", UDOrientationType, &TUpDown::Orientation, &TUpDown::SetOrientation)
      .Default(1)
      .Object("Associate", &TUpDown::Associate, &TUpDown::SetAssociate)
      .Event("OnClick", &TUpDown::OnClick);
}

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 17, 25); }

void TUpDown::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, UPDOWN_CLASSA);
  params.Style |= UDS_ARROWKEYS;
  if (orientation_ == TUDOrientation::udHorizontal) params.Style |= UDS_HORZ;
}

void TUpDown::CreateHandleDone() {
  SendMessageA(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
}

void TUpDown::SetMin(int v) {
  min_ = v;
  SetPosition(position_);
  if (HandleAllocated()) CreateHandleDone();
}

void TUpDown::SetMax(int v) {
  max_ = v;
  SetPosition(position_);
  if (HandleAllocated()) CreateHandleDone();
}

void TUpDown::SetPosition(int v) {
  position_ = Loading() ? v : UpDownStep(v, 0, min_, max_, false);
  if (HandleAllocated()) SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
  ShowPosition();
}

void TUpDown::SetOrientation(TUDOrientation orientation) {
  orientation_ = orientation;
  RecreateWnd();
}

void TUpDown::SetAssociate(TWinControl* control) {
  if (associate_) associate_->RemoveFreeNotification(this);
  associate_ = control == this ? nullptr : control;
  if (associate_) associate_->FreeNotification(this);
  ShowPosition();
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == TOperation::opRemove && component == associate_) associate_ = nullptr;
}

void TUpDown::Loaded() {
  TWinControl::Loaded();
  SetPosition(position_);  // clamps and shows it in the associate, now resolved
}

void TUpDown::ShowPosition() {
  if (associate_ && !Loading()) associate_->SetText(std::to_string(position_));
}

void TUpDown::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(UDN_DELTAPOS)) {
    // The position is kept here (Increment, Wrap, either range order); the window
    // is told not to move and gets the result.
    const auto& change = *reinterpret_cast<const NMUPDOWN*>(message.LParam);
    const int64_t step = static_cast<int64_t>(change.iDelta) * Increment;
    const int delta = static_cast<int>(std::clamp<int64_t>(step, INT32_MIN, INT32_MAX));
    SetPosition(UpDownStep(position_, delta, min_, max_, Wrap));
    message.Result = 1;
    OnClick(this, change.iDelta > 0 ? TUDBtnType::btNext : TUDBtnType::btPrev);
    return;
  }
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) return;
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Date-time picker

VELMORA_PUBLISH(TDateTimePicker) {
  p.Enum("Kind", DateTimeKindType, &TDateTimePicker::Kind, &TDateTimePicker::SetKind)
      .Default(0)
      .Enum("DateMode", DTDateModeType, &TDateTimePicker::DateMode, &TDateTimePicker::SetDateMode)
      .Default(0)
      .Enum("DateFormat", DTDateFormatType, &TDateTimePicker::DateFormat, &TDateTimePicker::SetDateFormat)
      .Default(0)
      .Event("OnChange", &TDateTimePicker::OnChange);
}

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWinControl(owner), value_(Now()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 186, 21);
}

void TDateTimePicker::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, DATETIMEPICK_CLASSA);
  if (kind_ == TDateTimeKind::dtkTime) {
    params.Style |= DTS_TIMEFORMAT;
  } else {
    if (dateMode_ == TDTDateMode::dmUpDown) params.Style |= DTS_UPDOWN;
    params.Style |= dateFormat_ == TDTDateFormat::dfLong ? DTS_LONGDATEFORMAT : DTS_SHORTDATEFORMAT;
  }
}

namespace {
SYSTEMTIME ToSystemTime(const TDateTimeParts& parts) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(parts.Year);
  st.wMonth = static_cast<WORD>(parts.Month);
  st.wDayOfWeek = static_cast<WORD>(parts.DayOfWeek);
  st.wDay = static_cast<WORD>(parts.Day);
  st.wHour = static_cast<WORD>(parts.Hour);
  st.wMinute = static_cast<WORD>(parts.Minute);
  st.wSecond = static_cast<WORD>(parts.Second);
  st.wMilliseconds = static_cast<WORD>(parts.Milliseconds);
  return st;
}
std::optional<TDateTime> FromSystemTime(const SYSTEMTIME& st) {
  TDateTimeParts parts{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return PartsToDateTime(parts);
}
}  // namespace

void TDateTimePicker::CreateHandleDone() {
  SYSTEMTIME st = ToSystemTime(DateTimeToParts(value_));
  SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

TDateTime TDateTimePicker::DateTime() const {
  if (!HandleAllocated()) return value_;
  SYSTEMTIME st{};
  if (SendMessageA(const_cast<TDateTimePicker*>(this)->Handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) !=
      GDT_VALID)
    return value_;
  return FromSystemTime(st).value_or(value_);
}

void TDateTimePicker::SetDateTime(TDateTime value) {
  // The system record holds the years 1601 to 30827; our dates end at 9999.
  if (DateTimeToParts(value).Year < 1601) throw EConvertError("Invalid date for a date-time picker");
  value_ = value;
  if (HandleAllocated()) CreateHandleDone();
}

void TDateTimePicker::SetKind(TDateTimeKind kind) {
  kind_ = kind;
  RecreateWnd();
}
void TDateTimePicker::SetDateMode(TDTDateMode mode) {
  dateMode_ = mode;
  RecreateWnd();
}
void TDateTimePicker::SetDateFormat(TDTDateFormat format) {
  dateFormat_ = format;
  RecreateWnd();
}

void TDateTimePicker::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(DTN_DATETIMECHANGE)) {
    const auto& change = *reinterpret_cast<const NMDATETIMECHANGE*>(message.LParam);
    if (change.dwFlags == GDT_VALID)
      if (auto value = FromSystemTime(change.st)) value_ = *value;
    OnChange(this);
    return;
  }
  TWinControl::WndProc(message);
}
