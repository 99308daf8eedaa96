// The hot control (the one under the mouse) and its tooltip.
//
// Hover is a promise that the pointer is on the control now. It ends the moment that stops
// being true for any reason, not only when the pointer moves: the control is hidden (a tab
// page goes away when the key is pulled out), disabled, or the window is disabled because a
// modal window covers it. Waiting for the next mouse move would leave a button lit, or a
// tooltip standing on a page it does not belong to, until the user happens to move the mouse.

#include <algorithm>

#include "ui/image_drawing.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"

namespace pinvale::ui {
namespace {

constexpr int kHoverDelayMs = 400;
constexpr DWORD kToolTipBack = 0xFFFFFFE1;
constexpr DWORD kToolTipBorder = 0xFF767676;
constexpr DWORD kToolTipText = 0xFF202020;

std::uint64_t NowMs() {
  IUiBackend* backend = Backend();
  return backend ? backend->NowMs() : 0;
}

}  // namespace

CControlUI* CPaintManagerUI::HoverTarget(POINT pt) const {
  // A disabled control shows no hover and no tooltip; it still gets its mouse events.
  CControlUI* hit = FindControl(pt);
  return hit && hit->IsEnabled() ? hit : nullptr;
}

void CPaintManagerUI::HideToolTip() {
  m_hoverDeadline = 0;
  if (m_tooltipShown) {
    m_tooltipShown = false;
    Invalidate();
  }
}

void CPaintManagerUI::SetHot(CControlUI* control, POINT pt) {
  if (control == m_hot) return;
  ++m_hoverChanges;
  if (CControlUI* old = m_hot) {
    m_hot = nullptr;
    TEventUI event;
    event.Type = UIEvent::kMouseLeave;
    event.pSender = old;
    event.ptMouse = pt;
    old->DoEvent(event);
  }
  m_hot = control;
  HideToolTip();
  if (control) {
    TEventUI event;
    event.Type = UIEvent::kMouseEnter;
    event.pSender = control;
    event.ptMouse = pt;
    control->DoEvent(event);
    if (!control->GetToolTip().empty()) m_hoverDeadline = NowMs() + kHoverDelayMs;
  }
}

void CPaintManagerUI::DropHover() {
  ++m_hoverChanges;
  HideToolTip();
  SetHot(nullptr, m_lastMouse);
}

void CPaintManagerUI::StopHovering(CControlUI* control) {
  if (control && control == m_hot) DropHover();
}

bool CPaintManagerUI::HoverTimerDue(std::uint64_t nowMs) {
  if (m_hoverDeadline == 0 || nowMs < m_hoverDeadline) return false;
  m_hoverDeadline = 0;
  if (m_hot && !m_hot->GetToolTip().empty()) {
    m_tooltipText = m_hot->GetToolTip();
    m_tooltipShown = true;
    Invalidate();
  }
  return true;
}

void CPaintManagerUI::PaintToolTip(IRenderTarget& target) {
  if (!m_tooltipShown || m_tooltipText.empty()) return;
  IFont* font = GetFont(-1);
  if (!font) return;
  const SIZE text = font->Measure(m_tooltipText);
  const SIZE area = target.Size();
  const int w = static_cast<int>(text.cx) + 8;
  const int h = static_cast<int>(text.cy) + 4;
  int x = std::min<int>(m_lastMouse.x + 12, area.cx - w - 1);
  int y = m_lastMouse.y + 20;
  if (y + h > area.cy) y = m_lastMouse.y - h - 4;
  x = std::max(0, x);
  y = std::max(0, y);
  const RECT box{x, y, x + w, y + h};
  target.FillRect(box, kToolTipBack);
  DrawFrame(target, box, 1, kToolTipBorder);
  target.DrawTextRun(*font, x + 4, y + 2, m_tooltipText, kToolTipText);
}

}  // namespace pinvale::ui
