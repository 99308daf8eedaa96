#pragma once

// Notifications and the hooks through which windows receive them.

#include <string>

#include "ui/win_types.h"

namespace pinvale::ui {

class CControlUI;

// "windowinit", "click", "textchanged", "setfocus", "killfocus", "link", "tabselect",
// "itemselect", "itemactivate".
// For "tabselect" wParam is the new index and lParam the old one; for "link" wParam is the
// link's index in its Text control; for "itemselect" wParam is the new row (-1 none) and
// lParam the old one; for "itemactivate" wParam is the row.
struct TNotifyUI {
  std::u16string sType;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

// A message filter sees a window's queued and input messages before the window itself.
// Setting bHandled stops the message there.
class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

// Events a control receives from its paint manager.
enum class UIEvent {
  kMouseEnter,
  kMouseLeave,
  kMouseMove,
  kButtonDown,
  kButtonUp,
  kSetFocus,
  kKillFocus,
  kKeyDown,
  kChar,         // chKey holds one UTF-16 unit
  kScrollWheel,  // wParam as WM_MOUSEWHEEL: GET_WHEEL_DELTA_WPARAM is the signed turn
  kTimer,
};

struct TEventUI {
  UIEvent Type = UIEvent::kMouseMove;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
  char16_t chKey = 0;  // key code for kKeyDown, text unit for kChar
  bool shift = false;
  bool control = false;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

}  // namespace pinvale::ui
