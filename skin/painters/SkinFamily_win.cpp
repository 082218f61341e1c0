#include "skin/painters/SkinFamily_win.h"

namespace skin {
void FrameSolid(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  if (!brush) return;
  FrameRect(dc, &rect, brush);
  DeleteObject(brush);
}

// Told by the painter's free notification when it goes.
class TPainterLife::TWatcher : public TComponent {
 public:
  explicit TWatcher(bool& gone) : gone_(gone) {}
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == TOperation::opRemove && component == watched) {
      gone_ = true;
      watched = nullptr;
    }
    TComponent::Notification(component, operation);
  }
  TComponent* watched = nullptr;

 private:
  bool& gone_;
};

TPainterLife::TPainterLife(TComponent* painter) : watcher_(new TWatcher(gone_)) {
  watcher_->watched = painter;
  if (painter) painter->FreeNotification(watcher_);
}

TPainterLife::~TPainterLife() {
  if (watcher_->watched) watcher_->watched->RemoveFreeNotification(watcher_);
  delete watcher_;
}

}  // namespace skin
