#include "exclog/dialogs/ESendProgress.h"

#include <algorithm>

namespace exclog {

TWindowPlace CornerPlace(const TAreaRect& a, int width, int height) {
  return {std::max(a.Left, a.Right - width), std::max(a.Top, a.Bottom - height)};
}

TWindowPlace CentredPlace(const TAreaRect& a, int width, int height) {
  return {a.Left + (a.Right - a.Left - width) / 2, a.Top + (a.Bottom - a.Top - height) / 2};
}

}  // namespace exclog
