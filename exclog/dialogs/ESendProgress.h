#pragma once
// Where the send progress window stands: pure geometry of work area and size.
namespace exclog {

struct TWindowPlace {
  int Left = 0, Top = 0;
};

struct TAreaRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The bottom-right corner of the work area; a window larger than the area keeps
// its top-left corner inside it.
TWindowPlace CornerPlace(const TAreaRect& workArea, int width, int height);
// Centred on the work area (halves rounded toward zero).
TWindowPlace CentredPlace(const TAreaRect& workArea, int width, int height);

}  // namespace exclog
