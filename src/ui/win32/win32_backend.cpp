// The Windows backend: native windows of class "DUIMainFrame", GDI+ drawing, and the
// Win32 message queue under the framework's message loop.
//
// The framework's window handles are the native ones (see MessageHub::Register), so
// PostMessageW, SendMessageW, SetTimer and DestroyWindow work on them directly:
// - raw input (mouse, keys, typed text) and the system's moves become NativeEvents,
//   which the portable loop turns into window messages as on Linux;
// - messages the program posts (WM_CLOSE, WM_TIMER, WM_USER + n) go through the
//   framework's dispatch, which records close codes and runs the message filters;
// - messages sent to a window (from this thread or another) reach its HandleMessage;
// - the system's own bookkeeping (non-client area, activation, broadcasts such as
//   WM_DEVICECHANGE for volumes) never reaches the windows' code: device notices come
//   from the platform's watcher, with the same notice type as on Linux.

#include <windows.h>

#include <deque>
#include <map>
#include <string>
#include <tuple>

#include "ui/attribute_values.h"
#include "ui/message_hub.h"
#include "ui/message_loop.h"
#include "ui/native_window.h"
#include "ui/ui_text.h"
#include "ui/win32/gdiplus_graphics.h"
#include "ui/win32/win32_window.h"
#include "ui/window_impl_base.h"
#include "ui/window_record.h"

namespace pinvale::ui {
namespace win32 {
namespace {

using detail::MessageHub;

// Messages the program itself exchanges with its windows; everything else that the
// system sends is handled here or by DefWindowProc.
bool IsProgramMessage(UINT message) {
  switch (message) {
    case WM_CLOSE:
    case WM_SYSCOMMAND:
    case WM_TIMER:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return true;
    default:
      return message >= WM_USER && message < 0xC000;
  }
}

// Windows 10 1703 and later ask a per-monitor window for its size at a new DPI before
// they suggest its frame in WM_DPICHANGED (the headers name it from WINVER 0x0605 only).
constexpr UINT kGetDpiScaledSize = 0x02E4;

bool KeyDown(int vk) {
  return (::GetKeyState(vk) & 0x8000) != 0;
}

class Win32Backend;
Win32Backend* g_backend = nullptr;

class Win32Backend : public IUiBackend {
 public:
  static std::unique_ptr<Win32Backend> Create() {
    if (!StartGdiplus()) return nullptr;
    auto backend = std::unique_ptr<Win32Backend>(new Win32Backend());
    if (!backend->m_wake) return nullptr;
    g_backend = backend.get();
    return backend;
  }

  ~Win32Backend() override {
    if (g_backend == this) g_backend = nullptr;
    m_fonts.clear();
    if (m_wake) ::CloseHandle(m_wake);
  }

  // ---- graphics ----
  std::shared_ptr<IFont> OpenFont(const FontSpec& spec) override {
    const auto key =
        std::make_tuple(spec.family, spec.size, spec.bold, spec.italic, spec.underline);
    auto it = m_fonts.find(key);
    if (it != m_fonts.end()) return it->second;
    std::shared_ptr<IFont> font = GdiplusFont::Open(spec);
    m_fonts[key] = font;
    return font;
  }

  std::shared_ptr<IImage> DecodeImage(std::span<const std::uint8_t> bytes,
                                      std::optional<DWORD> mask) override {
    return GdiplusImage::Decode(bytes, mask);
  }

  std::unique_ptr<IRenderTarget> CreateOffscreen(int width, int height) override {
    return GdiplusTarget::Create(width, height);
  }

  bool SavePng(IRenderTarget& target, const std::string& path) override {
    auto* frame = dynamic_cast<GdiplusTarget*>(&target);
    return frame && SaveTargetAsPng(*frame, path);
  }

  // ---- windows and events ----
  std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params) override {
    return Win32Window::Create(params, &WindowProcedure);
  }

  bool PollEvent(NativeEvent& out) override {
    for (;;) {
      if (!m_events.empty()) {
        out = std::move(m_events.front());
        m_events.pop_front();
        return true;
      }
      MSG message;
      if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // PeekMessage hands messages sent from other threads straight to their
        // window; the loop must hear that work was done, or it would wait on
        // although the window it runs for has gone meanwhile.
        if (!m_handledSent) return false;
        m_handledSent = false;
        out = NativeEvent{};
        out.kind = NativeEvent::Kind::kWake;
        return true;
      }
      if (message.message == WM_QUIT) {
        // The framework's loops end on their own quit message.
        detail::QueuedMessage quit;
        quit.msg = WM_QUIT;
        quit.wParam = message.wParam;
        MessageHub::Get().PostUnbound(std::move(quit));
        out = NativeEvent{};
        out.kind = NativeEvent::Kind::kWake;
        return true;
      }
      if (message.hwnd && IsProgramMessage(message.message) &&
          MessageHub::Get().Exists(message.hwnd)) {
        detail::QueuedMessage posted;
        posted.hwnd = message.hwnd;
        posted.msg = message.message;
        posted.wParam = message.wParam;
        posted.lParam = message.lParam;
        detail::DispatchQueued(posted, nullptr);
        out = NativeEvent{};
        out.kind = NativeEvent::Kind::kWake;
        return true;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  void WaitEvent(int timeoutMs) override {
    if (!m_events.empty()) return;
    ::MsgWaitForMultipleObjectsEx(1, &m_wake,
                                  timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }

  void Wake() override { ::SetEvent(m_wake); }

  std::uint64_t NowMs() const override { return ::GetTickCount64(); }

  ScaleFactor DisplayScale() const override {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return ScaleFactor::FromDpi(dpi);
  }

  RECT WorkArea() const override {
    RECT area{0, 0, 1024, 768};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) || area.right <= area.left) {
      area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return area;
  }

 private:
  Win32Backend() : m_wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  void Push(NativeEvent event) { m_events.push_back(std::move(event)); }

  static NativeEvent MouseEvent(NativeEvent::Kind kind, HWND hwnd, LPARAM lParam) {
    NativeEvent event;
    event.kind = kind;
    event.window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
    event.x = GET_X_LPARAM(lParam);
    event.y = GET_Y_LPARAM(lParam);
    POINT screen{event.x, event.y};
    ::ClientToScreen(hwnd, &screen);
    event.screenX = static_cast<int>(screen.x);
    event.screenY = static_cast<int>(screen.y);
    return event;
  }

  static NativeEvent KeyEvent(NativeEvent::Kind kind, HWND hwnd, WPARAM vk, bool system) {
    NativeEvent event;
    event.kind = kind;
    event.window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
    event.vk = static_cast<UINT>(vk);
    event.shift = KeyDown(VK_SHIFT);
    event.control = KeyDown(VK_CONTROL);
    event.alt = system || KeyDown(VK_MENU);
    return event;
  }

  // The framework's end of a window the system is destroying: the same steps as the
  // framework's own DestroyWindow on Linux.
  static void FinishWindow(HWND hwnd, Win32Window& native) {
    std::shared_ptr<WindowRecord> record = MessageHub::Get().Lookup(hwnd);
    native.Detach();
    if (!record) return;
    record->destroying = true;
    record->ReleaseOwner();  // when it was never shown, so never hidden
    WindowImplBase* window = record->window;
    if (window) window->HandleMessage(WM_DESTROY, 0, 0);
    MessageHub::Get().Unregister(hwnd);
    record->native.reset();  // `native` is gone from here on
    record->frame.reset();
    record->window = nullptr;
    if (window) WindowRecord::FinalMessage(*window, hwnd);
  }

  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    Win32Window* native = Win32Window::FromHandle(hwnd);
    if (!native || !g_backend) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    return g_backend->HandleWindowMessage(hwnd, *native, message, wParam, lParam);
  }

  LRESULT HandleWindowMessage(HWND hwnd, Win32Window& native, UINT message, WPARAM wParam,
                              LPARAM lParam) {
    using Kind = NativeEvent::Kind;
    switch (message) {
      // The skin draws the frame: no system caption or border.
      case WM_NCCALCSIZE:
        if (wParam) return 0;
        break;
      case WM_NCPAINT:
        return 0;
      case WM_NCACTIVATE:
        return TRUE;
      case WM_NCHITTEST:
        return HTCLIENT;
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT:
        native.Paint();
        return 0;

      case WM_MOUSEMOVE:
        if (!native.trackingMouse) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
          native.trackingMouse = ::TrackMouseEvent(&track) != FALSE;
        }
        Push(MouseEvent(Kind::kMouseMove, hwnd, lParam));
        return 0;
      case WM_MOUSELEAVE: {
        native.trackingMouse = false;
        NativeEvent event;
        event.kind = Kind::kMouseLeave;
        event.window = native.Id();
        Push(std::move(event));
        return 0;
      }
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        Push(MouseEvent(Kind::kMouseDown, hwnd, lParam));
        return 0;
      case WM_LBUTTONUP:
        Push(MouseEvent(Kind::kMouseUp, hwnd, lParam));
        return 0;
      case WM_MOUSEWHEEL: {
        NativeEvent event;
        event.kind = Kind::kMouseWheel;
        event.window = native.Id();
        event.wheel = GET_WHEEL_DELTA_WPARAM(wParam);
        Push(std::move(event));
        return 0;
      }

      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        Push(KeyEvent(Kind::kKeyDown, hwnd, wParam, message == WM_SYSKEYDOWN));
        return 0;
      case WM_KEYUP:
      case WM_SYSKEYUP:
        Push(KeyEvent(Kind::kKeyUp, hwnd, wParam, message == WM_SYSKEYUP));
        return 0;
      case WM_CHAR: {
        // Typed text only: control characters travel as key-downs.
        const auto unit = static_cast<wchar_t>(wParam);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          native.pendingHighSurrogate = unit;
          return 0;
        }
        // Typed text may be a password: it travels in storage that is wiped.
        WipingU16Text text;
        text.Reserve(2);
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          if (!native.pendingHighSurrogate) return 0;
          text.PushBack(static_cast<char16_t>(native.pendingHighSurrogate));
        }
        native.pendingHighSurrogate = 0;
        if (unit < 0x20 || unit == 0x7F) return 0;
        text.PushBack(static_cast<char16_t>(unit));
        NativeEvent event;
        event.kind = Kind::kText;
        event.window = native.Id();
        Utf16ToUtf8(text, event.text);
        Push(std::move(event));
        return 0;
      }
      case WM_SYSCHAR:
        return 0;  // no menu bar to look for, and no beep

      case WM_WINDOWPOSCHANGED: {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!(position->flags & SWP_NOMOVE) && !::IsIconic(hwnd)) {
          NativeEvent event;
          event.kind = Kind::kMoved;
          event.window = native.Id();
          event.screenX = position->x;
          event.screenY = position->y;
          Push(std::move(event));
        }
        if (position->flags & SWP_SHOWWINDOW) {
          NativeEvent event;
          event.kind = Kind::kExposed;
          event.window = native.Id();
          Push(std::move(event));
        }
        return 0;
      }
      case kGetDpiScaledSize: {
        // The layout's size in units at the new scale, rounded as the framework rounds:
        // the system's own guess is the pixels times the DPI ratio, which at a DPI between
        // quarter steps is not the size the layout is drawn at.
        auto record = MessageHub::Get().Lookup(hwnd);
        auto* size = reinterpret_cast<SIZE*>(lParam);
        if (!record || !record->window || !size) break;
        const ScaleFactor now = record->window->GetPaintManager().GetScale();
        const SIZE units = now.ToUnits(SIZE{Width(record->rect), Height(record->rect)});
        *size = ScaleFactor::FromDpi(static_cast<double>(wParam)).ToPixels(units);
        return TRUE;
      }
      case WM_DPICHANGED: {
        // Moved to a monitor of another DPI (wParam, the same in both words): the window
        // takes the frame the system suggests there and lays itself out at the new scale.
        // Handled at once rather than queued: the system expects the window at the
        // suggested frame when the message returns.
        native.SetDpi(LOWORD(wParam));
        NativeEvent event;
        event.kind = Kind::kScaleChanged;
        event.window = native.Id();
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
          event.screenX = static_cast<int>(suggested->left);
          event.screenY = static_cast<int>(suggested->top);
          event.x = static_cast<int>(Width(*suggested));
          event.y = static_cast<int>(Height(*suggested));
        }
        m_handledSent = true;
        detail::HandleNativeEvent(event);
        return 0;
      }
      case WM_WINDOWPOSCHANGING:
        // Every hide passes here, the system's own in DestroyWindow too: a modal window
        // enables its owner first, so that activation goes back to the owner and a click
        // on it right after is not dropped.
        if (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW) {
          if (auto record = MessageHub::Get().Lookup(hwnd)) record->ReleaseOwner();
        }
        break;
      case WM_ENABLE:
        if (auto record = MessageHub::Get().Lookup(hwnd)) record->SetEnabled(wParam != 0);
        return 0;
      case WM_CAPTURECHANGED:
        if (auto record = MessageHub::Get().Lookup(hwnd)) record->dragging = false;
        return 0;
      case WM_DEVICECHANGE:
        return TRUE;
      case WM_DESTROY:
        m_handledSent = true;
        FinishWindow(hwnd, native);
        return 0;
      default:
        break;
    }
    if (IsProgramMessage(message)) {
      // Sent to the window, from this thread or another: straight to its handler.
      if (auto record = MessageHub::Get().Lookup(hwnd); record && record->window) {
        m_handledSent = true;
        if (message == WM_KILLFOCUS) record->dragging = false;
        return record->window->HandleMessage(message, wParam, lParam);
      }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }

  HANDLE m_wake;
  std::deque<NativeEvent> m_events;
  bool m_handledSent = false;  // a window handled a message outside PollEvent's own dispatch
  std::map<std::tuple<std::string, int, bool, bool, bool>, std::shared_ptr<IFont>> m_fonts;
};

}  // namespace
}  // namespace win32

std::unique_ptr<IUiBackend> CreatePlatformBackend() {
  return win32::Win32Backend::Create();
}

int QuitSignal() {
  return 0;  // no console signals reach a windowed program here
}

namespace detail {

std::u16string ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return u".\\";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // a long path: try again with room for it
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return u".\\";
  return std::u16string(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(slash) + 1);
}

}  // namespace detail
}  // namespace pinvale::ui
