#include "ui/paint_manager.h"

#include <algorithm>

#include "ui/container.h"
#include "ui/image_drawing.h"
#include "ui/label.h"
#include "ui/native_window.h"
#include "ui/scaled_drawing.h"
#include "ui/skin_resources.h"
#include "ui/ui_text.h"
#include "ui/window_messages.h"

namespace pinvale::ui {
namespace {

std::uint64_t NowMs() {
  IUiBackend* backend = Backend();
  return backend ? backend->NowMs() : 0;
}

}  // namespace

// ---------------- window ----------------

CPaintManagerUI::CPaintManagerUI() {
  m_defaultFont.info.sFontName = u"微软雅黑";
  m_defaultFont.info.iSize = 12;
}

CPaintManagerUI::~CPaintManagerUI() {
  // Controls tell their manager when they die; detach them first so nothing calls back here.
  if (m_root) m_root->ForEach([](CControlUI& c) { c.SetManager(nullptr, c.GetParent()); });
  m_focus = m_hot = m_capture = m_pressed = nullptr;
  m_root.reset();
}

void CPaintManagerUI::Init(HWND hwnd) {
  m_hwnd = hwnd;
}

void CPaintManagerUI::SetInitSize(int width, int height) {
  m_initSize = SIZE{width, height};
}

void CPaintManagerUI::SetClientSize(SIZE size) {
  if (size == m_clientSize) return;
  m_clientSize = size;
  NeedUpdate();
}

void CPaintManagerUI::SetWindowAttribute(std::u16string_view name, std::u16string_view value) {
  if (name == u"size") {
    const SIZE s = ParseSize(value);
    SetInitSize(s.cx, s.cy);
  } else if (name == u"mininfo") {
    const SIZE s = ParseSize(value);
    SetMinInfo(s.cx, s.cy);
  } else if (name == u"maxinfo") {
    const SIZE s = ParseSize(value);
    SetMaxInfo(s.cx, s.cy);
  } else if (name == u"caption") {
    SetCaptionRect(ParseRect(value));
  } else if (name == u"sizebox") {
    SetSizeBox(ParseRect(value));
  }
}

// ---------------- controls ----------------

bool CPaintManagerUI::AttachDialog(std::unique_ptr<CControlUI> root) {
  if (!root) return false;
  if (m_root) m_root->ForEach([](CControlUI& c) { c.SetManager(nullptr, c.GetParent()); });
  m_focus = m_hot = m_capture = m_pressed = nullptr;
  m_root = std::move(root);
  m_root->SetManager(this, nullptr);
  m_firstLayout = true;
  NeedUpdate();
  return true;
}

CControlUI* CPaintManagerUI::FindControl(std::u16string_view name) const {
  return m_root ? m_root->FindByName(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  return m_root ? m_root->FindAt(pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent,
                                                  std::u16string_view name) const {
  return parent ? parent->FindByName(name) : nullptr;
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
  ForgetPassLayout(control);
  if (m_focus == control) m_focus = nullptr;
  if (m_hot == control) {
    // Going away: no mouse-leave for it, but its tooltip goes with it.
    m_hot = nullptr;
    HideToolTip();
  }
  if (m_capture == control) m_capture = nullptr;
  if (m_pressed == control) m_pressed = nullptr;
}

// ---------------- default attributes ----------------

void CPaintManagerUI::AddDefaultAttributeList(std::u16string_view controlClass,
                                              std::u16string_view list) {
  m_defaultAttributes[std::u16string(controlClass)] = std::u16string(list);
}

std::u16string CPaintManagerUI::GetDefaultAttributeList(std::u16string_view controlClass) const {
  auto it = m_defaultAttributes.find(controlClass);
  return it == m_defaultAttributes.end() ? std::u16string{} : it->second;
}

// ---------------- focus, hot, capture ----------------

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) return;
  if (control && (!control->IsVisible() || !control->IsEnabled())) return;
  if (CControlUI* old = m_focus) {
    m_focus = nullptr;
    TEventUI event;
    event.Type = UIEvent::kKillFocus;
    event.pSender = old;
    old->DoEvent(event);
    SendNotify(old, u"killfocus");
  }
  if (!control) return;
  m_focus = control;
  TEventUI event;
  event.Type = UIEvent::kSetFocus;
  event.pSender = control;
  control->DoEvent(event);
  SendNotify(control, u"setfocus");
}

bool CPaintManagerUI::SetNextTabControl(bool forward) {
  if (!m_root) return false;
  std::vector<CControlUI*> order;
  m_root->ForEach([&](CControlUI& c) {
    if (c.IsFocusable() && c.IsVisible() && c.IsEnabled()) order.push_back(&c);
  });
  if (order.empty()) return false;
  auto it = std::find(order.begin(), order.end(), m_focus);
  size_t index;
  if (it == order.end()) {
    index = forward ? 0 : order.size() - 1;
  } else {
    const size_t current = static_cast<size_t>(it - order.begin());
    index = forward ? (current + 1) % order.size() : (current + order.size() - 1) % order.size();
  }
  SetFocus(order[index]);
  return true;
}

void CPaintManagerUI::SetCapture(CControlUI* control) {
  m_capture = control;
}

bool CPaintManagerUI::IsCaptionHit(POINT pt) const {
  const RECT band{m_caption.left, m_caption.top, m_clientSize.cx - m_caption.right,
                  m_caption.bottom};
  if (!Contains(band, pt)) return false;
  CControlUI* hit = FindControl(pt);
  if (!hit) return true;
  if (hit->IsFocusable()) return false;
  if (auto* text = dynamic_cast<CTextUI*>(hit); text && text->GetLinkCount() > 0) return false;
  return true;
}

// ---------------- notifications and input ----------------

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end()) {
    m_notifiers.push_back(notifier);
  }
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  std::erase(m_notifiers, notifier);
}

void CPaintManagerUI::SendNotify(CControlUI* sender, std::u16string_view type, WPARAM wParam,
                                 LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.ptMouse = m_lastMouse;
  msg.dwTimestamp = static_cast<DWORD>(NowMs());
  const std::vector<INotifyUI*> notifiers = m_notifiers;  // a handler may change the list
  for (INotifyUI* notifier : notifiers) notifier->Notify(msg);
}

void CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
  if (std::find(m_preFilters.begin(), m_preFilters.end(), filter) == m_preFilters.end()) {
    m_preFilters.push_back(filter);
  }
}

void CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
  std::erase(m_preFilters, filter);
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  const std::vector<IMessageFilterUI*> filters = m_preFilters;
  for (IMessageFilterUI* filter : filters) {
    bool handled = false;
    const LRESULT result = filter->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = result;
      return true;
    }
  }
  return false;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  lRes = 0;
  if (!m_root) return false;
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  auto deliver = [&](CControlUI* target, UIEvent type) {
    TEventUI event;
    event.Type = type;
    event.pSender = target;
    event.ptMouse = m_lastMouse;
    event.shift = shift;
    event.control = control;
    event.wParam = wParam;
    event.lParam = lParam;
    event.chKey = static_cast<char16_t>(wParam);
    event.dwTimestamp = static_cast<DWORD>(NowMs());
    target->DoEvent(event);
  };
  switch (uMsg) {
    case WM_MOUSEMOVE: {
      m_lastMouse = pt;
      if (m_capture) {
        deliver(m_capture, UIEvent::kMouseMove);
        return true;
      }
      CControlUI* hit = FindControl(pt);
      SetHot(HoverTarget(pt), pt);
      if (hit) deliver(hit, UIEvent::kMouseMove);
      return true;
    }
    case WM_MOUSELEAVE:
      if (!m_capture) SetHot(nullptr, m_lastMouse);
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      m_lastMouse = pt;
      HideToolTip();
      CControlUI* hit = FindControl(pt);
      SetHot(HoverTarget(pt), pt);
      if (!hit) return true;
      if (hit->IsFocusable() && hit->IsEnabled()) SetFocus(hit);
      m_capture = hit;
      deliver(hit, UIEvent::kButtonDown);
      return true;
    }
    case WM_LBUTTONUP: {
      m_lastMouse = pt;
      CControlUI* target = m_capture ? m_capture : FindControl(pt);
      m_capture = nullptr;
      const std::uint64_t hoverChanges = m_hoverChanges;
      if (target) deliver(target, UIEvent::kButtonUp);
      // The pointer may have left the control while the button was held. A click that
      // opened a dialog returns only when the dialog has closed: by then the pointer is
      // elsewhere, and the moves since have set the hover already.
      if (hoverChanges == m_hoverChanges) SetHot(HoverTarget(pt), pt);
      return true;
    }
    case WM_KEYDOWN:
      if (wParam == VK_TAB) {
        SetNextTabControl(!shift);
        return true;
      }
      if (m_focus) {
        deliver(m_focus, UIEvent::kKeyDown);
        return true;
      }
      return false;
    case WM_MOUSEWHEEL: {
      // To the control under the pointer, or the nearest of its parents that scrolls.
      HideToolTip();
      for (CControlUI* c = FindControl(m_lastMouse); c; c = c->GetParent()) {
        if (c->IsScrollable() && c->IsEnabled()) {
          deliver(c, UIEvent::kScrollWheel);
          return true;
        }
      }
      return false;
    }
    case WM_CHAR:
      if (m_focus) {
        deliver(m_focus, UIEvent::kChar);
        return true;
      }
      return false;
    case WM_KILLFOCUS:
      m_capture = nullptr;
      return false;
    default:
      return false;
  }
}

// ---------------- layout and painting ----------------

void CPaintManagerUI::NeedUpdate() {
  m_updateNeeded = true;
  m_invalid = true;
}

void CPaintManagerUI::Invalidate() {
  m_invalid = true;
}

void CPaintManagerUI::DoLayout() {
  ForgetMeasures();
  LayOutRoot();
  ForgetMeasures();
}

void CPaintManagerUI::LayOutRoot() {
  if (!m_root) return;
  m_updateNeeded = false;
  m_root->SetPos(RECT{0, 0, m_clientSize.cx, m_clientSize.cy});
  m_invalid = true;
  if (m_firstLayout) {
    m_firstLayout = false;
    SendNotify(m_root.get(), u"windowinit");
  }
}

void CPaintManagerUI::Paint(IRenderTarget& target) {
  if (m_scale.IsOne()) {
    PaintUnits(target);
    return;
  }
  m_scaledTarget = std::make_unique<ScaledTarget>(target, m_scale);
  PaintUnits(*m_scaledTarget);
}

void CPaintManagerUI::PaintUnits(IRenderTarget& target) {
  ForgetMeasures();
  m_paintDC = &target;
  // The layout and the drawing are one pass: the drawing uses the layouts of the texts.
  if (m_updateNeeded || m_firstLayout) LayOutRoot();
  if (m_updateNeeded) {
    ForgetMeasures();  // windowinit may have changed the tree
    LayOutRoot();
  }
  const SIZE size = target.Size();
  const RECT all{0, 0, size.cx, size.cy};
  target.SetClip(all);
  target.FillRect(all, 0xFFFFFFFF);
  if (m_root && m_root->IsVisible()) m_root->DoPaint(target, all);
  target.SetClip(all);
  PaintToolTip(target);
  ForgetMeasures();
  m_invalid = false;
}

}  // namespace pinvale::ui
