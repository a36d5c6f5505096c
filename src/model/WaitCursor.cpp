#include "model/WaitCursor.h"

WaitCursor::WaitCursor() {
  HCURSOR wait = ::LoadCursor(nullptr, IDC_WAIT);
  if (wait) {
    previous_ = ::SetCursor(wait);
    active_ = true;
  }
}

WaitCursor::~WaitCursor() {
  if (active_) ::SetCursor(previous_);
}
