#include "ui/window_impl_base.h"

#include <algorithm>

#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/ui_text.h"
#include "ui/window_record.h"

namespace pinvale::ui {

using detail::MessageHub;

void WindowRecord::SetRect(const RECT& r) {
  const bool resized = Width(r) != Width(rect) || Height(r) != Height(rect);
  rect = r;
  if (native) native->SetFrame(r);
  if (resized && window) {
    CPaintManagerUI& pm = window->GetPaintManager();
    pm.SetClientSize(pm.GetScale().ToUnits(SIZE{Width(r), Height(r)}));
  }
}

void WindowRecord::SetEnabled(bool enable) {
  enabled = enable;
  if (enable) return;
  dragging = false;
  if (window) window->GetPaintManager().DropHover();
}

void WindowRecord::HoldOwner() {
  if (holdsOwner || !owner) return;
  auto ownerRecord = MessageHub::Get().Lookup(owner);
  if (!ownerRecord) return;
  holdsOwner = true;
  if (ownerRecord->modalHolds++ == 0) EnableWindow(owner, FALSE);
}

void WindowRecord::ReleaseOwner() {
  if (!holdsOwner) return;
  holdsOwner = false;
  auto ownerRecord = MessageHub::Get().Lookup(owner);
  if (!ownerRecord || ownerRecord->modalHolds == 0) return;
  if (--ownerRecord->modalHolds == 0) EnableWindow(owner, TRUE);
}

void WindowRecord::FinalMessage(WindowImplBase& window, HWND hwnd) {
  window.m_hWnd = nullptr;
  window.m_record.reset();
  window.OnFinalMessage(hwnd);
}

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() {
  if (m_hWnd && IsWindow(m_hWnd)) {
    // Derived parts are gone: end the native window without calling back into them.
    const HWND hwnd = m_hWnd;
    if (auto record = MessageHub::Get().Lookup(hwnd)) {
      record->destroying = true;
      for (auto& other : MessageHub::Get().Windows()) {
        if (other->owner == hwnd) DestroyWindow(other->hwnd);
      }
      record->ReleaseOwner();
      MessageHub::Get().Unregister(hwnd);
      record->native.reset();
      record->frame.reset();
      record->window = nullptr;
    }
  }
  m_pm.RemoveNotifier(this);
  m_pm.RemovePreMessageFilter(this);
}

WindowImplBase* WindowFromHandle(HWND hwnd) {
  auto record = MessageHub::Get().Lookup(hwnd);
  return record ? record->window : nullptr;
}

// ---------------- window operations ----------------

HWND WindowImplBase::Create(HWND hwndParent, std::u16string_view caption, DWORD style,
                            DWORD /*exStyle*/, int x, int y, int cx, int cy) {
  if (!UiInitialize()) return nullptr;
  if (m_hWnd && IsWindow(m_hWnd)) return m_hWnd;

  auto record = std::make_shared<WindowRecord>();
  record->window = this;
  record->owner = IsWindow(hwndParent) ? hwndParent : nullptr;
  record->style = style;
  record->caption = caption;
  record->className = GetWindowClassName();
  // cx and cy are in 96-DPI units like the layouts; the native window has pixels.
  const ScaleFactor scale = Backend()->DisplayScale();
  const int width = static_cast<int>(scale.ToPixels(cx == CW_USEDEFAULT ? 400 : cx));
  const int height = static_cast<int>(scale.ToPixels(cy == CW_USEDEFAULT ? 300 : cy));
  const RECT work = Backend()->WorkArea();
  const int left = x == CW_USEDEFAULT ? work.left + 40 : x;
  const int top = y == CW_USEDEFAULT ? work.top + 40 : y;
  record->rect = RECT{left, top, left + width, top + height};

  NativeWindowParams params;
  params.titleUtf8 = Utf16ToUtf8(caption);
  params.x = left;
  params.y = top;
  params.width = width;
  params.height = height;
  params.popup = (style & WS_POPUP) != 0;
  params.style = style;
  params.classNameUtf8 = Utf16ToUtf8(GetWindowClassName());
  if (record->owner) {
    if (auto owner = MessageHub::Get().Lookup(record->owner); owner && owner->native) {
      params.ownerId = owner->native->Id();
    }
  }
  record->native = Backend()->CreateNativeWindow(params);
  if (!record->native) return nullptr;

  m_record = record;
  m_hWnd = MessageHub::Get().Register(record);
  m_pm.Init(m_hWnd);
  m_pm.SetScale(record->native->Scale());
  if (m_pm.GetScale() != scale) {
    // Opened on a monitor of another scale than the default one (Windows).
    const SIZE units = scale.ToUnits(SIZE{width, height});
    const SIZE pixels = m_pm.GetScale().ToPixels(units);
    record->SetRect(RECT{left, top, left + pixels.cx, top + pixels.cy});
  }
  m_pm.SetClientSize(m_pm.GetScale().ToUnits(SIZE{Width(record->rect), Height(record->rect)}));
  record->native->LetWindowManagerMove([hwnd = m_hWnd](POINT pixel) {
    auto r = MessageHub::Get().Lookup(hwnd);
    if (!r || !r->window || !r->enabled) return false;
    CPaintManagerUI& pm = r->window->GetPaintManager();
    const ScaleFactor s = pm.GetScale();
    return pm.IsCaptionHit(POINT{s.UnitAt(pixel.x), s.UnitAt(pixel.y)});
  });

  if (HandleMessage(WM_CREATE, 0, 0) == -1) {
    DestroyWindow(m_hWnd);
    return nullptr;
  }
  if (!IsWindow(m_hWnd)) return nullptr;
  record->visible = (style & WS_VISIBLE) != 0;
  return m_hWnd;
}

void WindowImplBase::CenterWindow() {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  if (!record) return;
  RECT around = Backend()->WorkArea();
  if (auto owner = MessageHub::Get().Lookup(record->owner);
      owner && owner->visible && !owner->minimized) {
    around = owner->rect;
  }
  const long w = Width(record->rect);
  const long h = Height(record->rect);
  long left = around.left + (Width(around) - w) / 2;
  long top = around.top + (Height(around) - h) / 2;
  // Stay on the screen.
  const RECT work = Backend()->WorkArea();
  left = std::max(work.left, std::min(left, work.right - w));
  top = std::max(work.top, std::min(top, work.bottom - h));
  record->SetRect(RECT{left, top, left + w, top + h});
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus) {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  if (!record) return;
  record->visible = show;
  if (!show) {
    record->ReleaseOwner();
    if (record->native) record->native->Show(false);
    record->nativeShown = false;
    return;
  }
  record->minimized = false;
  if (record->modal) record->HoldOwner();  // shown again while its loop runs
  if (record->nativeShown && record->native) {
    record->native->Show(true);
    if (takeFocus) record->native->Raise();
  }
  // Otherwise the first paint maps it.
}

UINT WindowImplBase::ShowModal() {
  const HWND hwnd = m_hWnd;
  auto record = MessageHub::Get().Lookup(hwnd);
  if (!record) return 0;
  std::shared_ptr<UINT> closeCode = record->closeCode;
  const HWND owner = record->owner;
  record->modal = true;
  ShowWindow(true, true);
  std::weak_ptr<WindowRecord> weak = record;
  record.reset();

  int quitCode = 0;
  const bool ended = detail::RunModalLoop(hwnd, &quitCode);

  // The window gave its owner back when it hid or went; a quit ends the loop with the
  // window still there.
  if (auto stillThere = weak.lock()) {
    stillThere->modal = false;
    stillThere->ReleaseOwner();
  }
  if (owner && IsWindow(owner)) {
    if (auto ownerRecord = MessageHub::Get().Lookup(owner);
        ownerRecord && ownerRecord->native && ownerRecord->nativeShown) {
      ownerRecord->native->Raise();
    }
  }
  if (!ended) PostQuitMessage(quitCode);  // the loops further out end too
  return *closeCode;
}

void WindowImplBase::Close(UINT code) {
  ::PostMessage(m_hWnd, WM_CLOSE, code, 0);
}

void WindowImplBase::SetWindowText(std::u16string_view caption) {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  if (!record) return;
  record->caption = caption;
  if (record->native) record->native->SetTitle(Utf16ToUtf8(caption));
}

std::u16string WindowImplBase::GetWindowText() const {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  return record ? record->caption : std::u16string{};
}

void WindowImplBase::ResizeClient(int width, int height) {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  if (!record) return;
  const SIZE pixels = m_pm.GetScale().ToPixels(SIZE{width, height});
  record->SetRect(RECT{record->rect.left, record->rect.top, record->rect.left + pixels.cx,
                       record->rect.top + pixels.cy});
}

LRESULT WindowImplBase::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, uMsg, wParam, lParam);
}

BOOL WindowImplBase::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, uMsg, wParam, lParam);
}

// ---------------- skin ----------------

bool WindowImplBase::LoadSkin() {
  switch (GetResourceType()) {
    case UILIB_ZIPRESOURCE: {
      // The archive linked into the program under ("ZIPRES", id).
      const auto bytes = FindResource(u"ZIPRES", GetResourceID());
      if (!bytes.empty()) CPaintManagerUI::SetResourceZip(bytes);
      break;
    }
    case UILIB_ZIP:
      if (!GetZIPFileName().empty()) CPaintManagerUI::SetResourceZip(GetZIPFileName());
      break;
    default:
      break;  // the archive already loaded, or files under the resource path
  }
  std::u16string layout = GetSkinFile();
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> root = builder.Create(layout, this, &m_pm);
  if (!root) {
    const std::u16string folder = GetSkinFolder();
    if (!folder.empty()) root = builder.Create(folder + u"/" + layout, this, &m_pm);
  }
  if (!root) return false;
  m_pm.AttachDialog(std::move(root));
  m_pm.AddNotifier(this);
  m_pm.AddPreMessageFilter(this);
  return true;
}

// ---------------- messages ----------------

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = TRUE;
  if (!LoadSkin()) return -1;
  const SIZE init = m_pm.GetInitSize();
  if (init.cx > 0 && init.cy > 0)
    ResizeClient(static_cast<int>(init.cx), static_cast<int>(init.cy));
  InitWindow();
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  bHandled = TRUE;
  if (!record) return 0;
  switch (wParam & 0xFFF0) {
    case SC_CLOSE:
      // The system close reaches the window directly, not through the loop.
      ::SendMessage(m_hWnd, WM_CLOSE, 0, 0);
      break;
    case SC_MINIMIZE:
      record->minimized = true;
      if (record->native) record->native->Minimize();
      break;
    case SC_MAXIMIZE:
      if (record->native) record->native->Maximize();
      break;
    case SC_RESTORE:
      record->minimized = false;
      if (record->native) record->native->Restore();
      break;
    default:
      bHandled = FALSE;
      break;
  }
  return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}
LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  return 0;
}

LONG WindowImplBase::GetStyle() {
  auto record = MessageHub::Get().Lookup(m_hWnd);
  return record ? static_cast<LONG>(record->style) : 0;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  BOOL handled = TRUE;
  switch (uMsg) {
    case WM_CREATE:
      result = OnCreate(uMsg, wParam, lParam, handled);
      break;
    case WM_CLOSE:
      result = OnClose(uMsg, wParam, lParam, handled);
      break;
    case WM_DESTROY:
      result = OnDestroy(uMsg, wParam, lParam, handled);
      break;
    case WM_SIZE:
      result = OnSize(uMsg, wParam, lParam, handled);
      break;
    case WM_CHAR:
      result = OnChar(uMsg, wParam, lParam, handled);
      break;
    case WM_SYSCOMMAND:
      result = OnSysCommand(uMsg, wParam, lParam, handled);
      break;
    case WM_KEYDOWN:
      result = OnKeyDown(uMsg, wParam, lParam, handled);
      break;
    case WM_KILLFOCUS:
      result = OnKillFocus(uMsg, wParam, lParam, handled);
      break;
    case WM_SETFOCUS:
      result = OnSetFocus(uMsg, wParam, lParam, handled);
      break;
    case WM_LBUTTONDOWN:
      result = OnLButtonDown(uMsg, wParam, lParam, handled);
      break;
    case WM_LBUTTONUP:
      result = OnLButtonUp(uMsg, wParam, lParam, handled);
      break;
    case WM_MOUSEMOVE:
      result = OnMouseMove(uMsg, wParam, lParam, handled);
      break;
    default:
      handled = FALSE;
      break;
  }
  if (!handled) result = HandleCustomMessage(uMsg, wParam, lParam, handled);
  if (handled) return result;
  if (m_pm.MessageHandler(uMsg, wParam, lParam, result)) return result;
  // What the system does with messages nobody handled.
  if (uMsg == WM_CLOSE) DestroyWindow(m_hWnd);
  return 0;
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && (wParam == VK_ESCAPE || wParam == VK_RETURN)) {
    // Not marked handled: the key still reaches HandleMessage.
    ResponseDefaultKeyEvent(wParam);
  }
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (wParam == VK_ESCAPE) {
    Close(1);
    return TRUE;
  }
  return FALSE;  // Enter does nothing
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (msg.sType == u"click") OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::u16string& name = msg.pSender->GetName();
  if (name == u"closebtn") {
    Close(1);
  } else if (name == u"minbtn") {
    ::SendMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == u"maxbtn") {
    ::SendMessage(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == u"restorebtn") {
    ::SendMessage(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

std::unique_ptr<CControlUI> WindowImplBase::CreateControl(std::u16string_view) {
  return nullptr;
}

void WindowImplBase::OnFinalMessage(HWND) {}

}  // namespace pinvale::ui
