#pragma once
#include <windows.h>

// Shows the system's hourglass while it lives and restores the previous cursor.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  bool active() const { return active_; }

 private:
  HCURSOR previous_ = nullptr;
  bool active_ = false;
};
