#pragma once
// A modal box or dialog enables its owner again when it ends, whatever state it found it
// in. The owner stays disabled through an update (no command may start another), so a
// box shown during one must leave it disabled.

#include <windows.h>

class KeepOwnerDisabled {
  public:
    explicit KeepOwnerDisabled(HWND owner)
        : owner_(owner), disabled_(owner != nullptr && !::IsWindowEnabled(owner)) {}
    ~KeepOwnerDisabled() {
        if (disabled_) {
            ::EnableWindow(owner_, FALSE);
        }
    }
    KeepOwnerDisabled(const KeepOwnerDisabled&) = delete;
    KeepOwnerDisabled& operator=(const KeepOwnerDisabled&) = delete;

  private:
    HWND owner_;
    bool disabled_;
};
