// The Linux backend: SDL2 video and events, software drawing only.

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>

#include "ui/native_window.h"
#include "ui/sdl/sdl_font.h"
#include "ui/sdl/sdl_surface.h"
#include "ui/sdl/sdl_window.h"
#include "ui/sdl/x11_desktop.h"

namespace pinvale::ui {
namespace sdl {
namespace {

UINT ToVirtualKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    case SDLK_ESCAPE:
      return VK_ESCAPE;
    case SDLK_TAB:
      return VK_TAB;
    case SDLK_BACKSPACE:
      return VK_BACK;
    case SDLK_DELETE:
      return VK_DELETE;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_UP:
      return VK_UP;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_HOME:
      return VK_HOME;
    case SDLK_END:
      return VK_END;
    case SDLK_PAGEUP:
      return VK_PRIOR;
    case SDLK_PAGEDOWN:
      return VK_NEXT;
    case SDLK_SPACE:
      return VK_SPACE;
    case SDLK_F4:
      return VK_F4;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
      return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
      return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
      return VK_MENU;
    default:
      break;
  }
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<UINT>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<UINT>('0' + (key - SDLK_0));
  return 0;
}

// SDL's stand-ins for a display draw into memory only. Taken when nothing else opens,
// they would leave a program running with no window that anyone can see or close, holding
// the one-copy claim, so they are used only when SDL_VIDEODRIVER names them (the tests).
bool DrawsNowhere(const char* driver) {
  for (const char* name : {"offscreen", "dummy", "evdev"}) {
    if (SDL_strcasecmp(driver, name) == 0) return true;
  }
  return false;
}

bool OpenDisplay() {
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);  // the environment's too
  if (asked && *asked) return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    const char* driver = SDL_GetVideoDriver(i);
    if (!driver || DrawsNowhere(driver)) continue;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  }
  return false;
}

// SDL turns SIGINT and SIGTERM into a quit event; noting which one came lets the program
// end by it once its windows are closed, as a shell expects of a program it interrupts.
constexpr int kQuitSignals[] = {SIGINT, SIGTERM};
volatile std::sig_atomic_t g_quitSignal = 0;
void (*g_sdlHandlers[2])(int) = {nullptr, nullptr};
struct sigaction g_noting[2] = {};

void NoteQuitSignal(int signal) {
  const int i = signal == kQuitSignals[0] ? 0 : 1;
  if (g_quitSignal != 0) {
    // Asked again: the loop that should have ended is stuck (a key that never answers).
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // delivered when this handler returns
    return;
  }
  g_quitSignal = signal;
  g_sdlHandlers[i](signal);                  // puts SDL's handler back in place
  sigaction(signal, &g_noting[i], nullptr);  // so that a second signal is seen here too
}

void NoteQuitSignals(bool note) {
  for (int i = 0; i < 2; ++i) {
    struct sigaction current {};
    if (sigaction(kQuitSignals[i], nullptr, &current) != 0) continue;
    if (note) {
      // Only where SDL handles the signal: one the starter ignores stays ignored.
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler == SIG_DFL ||
          current.sa_handler == SIG_IGN || current.sa_handler == &NoteQuitSignal)
        continue;
      g_sdlHandlers[i] = current.sa_handler;
      g_noting[i] = current;
      g_noting[i].sa_handler = &NoteQuitSignal;
      sigaction(kQuitSignals[i], &g_noting[i], nullptr);
    } else if (current.sa_handler == &NoteQuitSignal) {
      // SDL's own again, which SDL_Quit knows to take away.
      current.sa_handler = g_sdlHandlers[i];
      sigaction(kQuitSignals[i], &current, nullptr);
    }
  }
}

class SdlBackend : public IUiBackend {
 public:
  static std::unique_ptr<SdlBackend> Create() {
    // Software drawing only: the GL path costs tens of megabytes and a slow start.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_EVENTS) != 0) return nullptr;
    if (!OpenDisplay()) {
      SDL_Quit();
      return nullptr;
    }
    NoteQuitSignals(true);
    if (TTF_Init() != 0) {
      NoteQuitSignals(false);
      SDL_Quit();
      return nullptr;
    }
    IMG_Init(IMG_INIT_PNG);
    FcInit();
    auto backend = std::unique_ptr<SdlBackend>(new SdlBackend());
    backend->m_wakeEvent = SDL_RegisterEvents(1);
    backend->ReadDesktop();
    SDL_StartTextInput();
    return backend;
  }

  ~SdlBackend() override {
    m_fonts.clear();
    WipeMemory(&m_pending, sizeof m_pending);
    IMG_Quit();
    TTF_Quit();
    NoteQuitSignals(false);
    SDL_Quit();
  }

  std::shared_ptr<IFont> OpenFont(const FontSpec& spec) override {
    const auto key = std::make_tuple(spec.family, spec.size, spec.bold, spec.italic,
                                     spec.drawsAnotherSizesLayout);
    auto it = m_fonts.find(key);
    if (it != m_fonts.end()) return it->second;
    std::shared_ptr<IFont> font = SdlFont::Open(spec);
    m_fonts[key] = font;
    return font;
  }

  std::shared_ptr<IImage> DecodeImage(std::span<const std::uint8_t> bytes,
                                      std::optional<DWORD> mask) override {
    SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (!rw) return nullptr;
    SurfacePtr decoded(IMG_Load_RW(rw, 1));
    if (!decoded) return nullptr;
    SurfacePtr argb(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
    if (!argb) return nullptr;
    if (mask) {
      // Pixels of the mask colour are drawn as transparent.
      const Uint32 rgb = *mask & 0x00FFFFFF;
      SDL_LockSurface(argb.get());
      for (int y = 0; y < argb->h; ++y) {
        auto* row = reinterpret_cast<Uint32*>(static_cast<Uint8*>(argb->pixels) + y * argb->pitch);
        for (int x = 0; x < argb->w; ++x) {
          if ((row[x] & 0x00FFFFFF) == rgb) row[x] = 0;
        }
      }
      SDL_UnlockSurface(argb.get());
    }
    SDL_SetSurfaceBlendMode(argb.get(), SDL_BLENDMODE_BLEND);
    return std::make_shared<SdlImage>(std::move(argb));
  }

  std::unique_ptr<IRenderTarget> CreateOffscreen(int width, int height) override {
    return SurfaceTarget::Create(width, height);
  }

  bool SavePng(IRenderTarget& target, const std::string& path) override {
    auto* surface = dynamic_cast<SurfaceTarget*>(&target);
    return surface && IMG_SavePNG(surface->Surface(), path.c_str()) == 0;
  }

  std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params) override {
    return SdlWindow::Create(params, m_scale, m_windowManager);
  }

  ScaleFactor DisplayScale() const override { return m_scale; }

  bool PollEvent(NativeEvent& out) override {
    if (m_displayLost) {
      m_displayLost = false;
      out = NativeEvent{};
      out.kind = NativeEvent::Kind::kQuit;
      return true;
    }
    SDL_Event event;
    if (m_hasPending) {
      m_hasPending = false;
      const bool translated = Translate(m_pending, out);
      WipeMemory(&m_pending, sizeof m_pending);
      if (translated) return true;
    }
    while (SDL_PollEvent(&event)) {
      const bool translated = Translate(event, out);
      // Typed and composed text may be a password: no copy of it stays on the stack.
      WipeMemory(&event, sizeof event);
      if (translated) return true;
    }
    return false;
  }

  void WaitEvent(int timeoutMs) override {
    // Blocks in the video driver's wait: no spinning at idle. The event that ends the wait
    // is taken out and kept for PollEvent: a wait that only peeks (SDL 2.26 with a null
    // event) leaves a marker in the queue on every round of the polling that drivers
    // without a wait of their own do, each round scans them all, and once the queue is
    // full even the quit that SIGTERM asks for is dropped.
    if (m_hasPending) return;
    if (timeoutMs < 0) {
      // A wait without time-out that fails means the display is gone (X server ended):
      // end the session instead of spinning.
      if (SDL_WaitEvent(&m_pending) == 0) {
        m_displayLost = true;
        return;
      }
      m_hasPending = true;
    } else {
      m_hasPending = SDL_WaitEventTimeout(&m_pending, timeoutMs) != 0;
    }
  }

  void Wake() override {
    SDL_Event event{};
    event.type = m_wakeEvent;
    SDL_PushEvent(&event);
  }

  std::uint64_t NowMs() const override { return SDL_GetTicks64(); }

  RECT WorkArea() const override {
    SDL_Rect r{0, 0, 1024, 768};
    if (SDL_GetDisplayUsableBounds(0, &r) != 0) SDL_GetDisplayBounds(0, &r);
    if (r.w <= 0 || r.h <= 0) r = SDL_Rect{0, 0, 1024, 768};
    return RECT{r.x, r.y, r.x + r.w, r.y + r.h};
  }

 private:
  SdlBackend() = default;

  // One scale for all windows: X has one text scale for the whole desktop.
  void ReadDesktop() {
    const char* driver = SDL_GetCurrentVideoDriver();
    X11Desktop desktop;
    if (driver && std::strcmp(driver, "x11") == 0) {
      desktop = ReadX11Desktop();
      IgnoreWakeUpsToGoneWindows();
    }
    m_windowManager = desktop.windowManager;
    if (desktop.xftDpi) m_scale = ScaleFactor::FromDpi(*desktop.xftDpi);
    if (const char* setting = std::getenv("PINVALE_SCALE")) {
      if (auto scale = ScaleFactor::Parse(setting)) m_scale = *scale;
    }
  }

  // Desktop coordinates of a mouse event: the window's position plus the event's point.
  // (SDL's global mouse state lags behind the events while the pointer is grabbed.)
  static void ToScreen(NativeEvent& out) {
    int wx = 0;
    int wy = 0;
    if (SDL_Window* window = SDL_GetWindowFromID(out.window))
      SDL_GetWindowPosition(window, &wx, &wy);
    out.screenX = wx + out.x;
    out.screenY = wy + out.y;
  }

  bool Translate(const SDL_Event& event, NativeEvent& out) {
    using Kind = NativeEvent::Kind;
    out = NativeEvent{};
    if (event.type == m_wakeEvent) {
      out.kind = Kind::kWake;
      return true;
    }
    switch (event.type) {
      case SDL_QUIT:
        out.kind = Kind::kQuit;
        return true;
      case SDL_WINDOWEVENT:
        out.window = event.window.windowID;
        switch (event.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            out.kind = Kind::kCloseRequest;
            return true;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SHOWN:
          case SDL_WINDOWEVENT_RESTORED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            out.kind = Kind::kExposed;
            return true;
          case SDL_WINDOWEVENT_MOVED:
            out.kind = Kind::kMoved;
            out.screenX = event.window.data1;
            out.screenY = event.window.data2;
            return true;
          case SDL_WINDOWEVENT_LEAVE:
            out.kind = Kind::kMouseLeave;
            return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            out.kind = Kind::kFocusGained;
            return true;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            out.kind = Kind::kFocusLost;
            return true;
          default:
            return false;
        }
      case SDL_MOUSEMOTION:
        out.kind = Kind::kMouseMove;
        out.window = event.motion.windowID;
        out.x = event.motion.x;
        out.y = event.motion.y;
        ToScreen(out);
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT) return false;
        out.kind = event.type == SDL_MOUSEBUTTONDOWN ? Kind::kMouseDown : Kind::kMouseUp;
        out.window = event.button.windowID;
        out.x = event.button.x;
        out.y = event.button.y;
        ToScreen(out);
        return true;
      case SDL_MOUSEWHEEL: {
        out.kind = Kind::kMouseWheel;
        out.window = event.wheel.windowID;
        const int notches =
            event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        out.wheel = notches * WHEEL_DELTA;
        return notches != 0;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        out.kind = event.type == SDL_KEYDOWN ? Kind::kKeyDown : Kind::kKeyUp;
        out.window = event.key.windowID;
        out.vk = ToVirtualKey(event.key.keysym.sym);
        const Uint16 mod = event.key.keysym.mod;
        out.shift = (mod & KMOD_SHIFT) != 0;
        out.control = (mod & KMOD_CTRL) != 0;
        out.alt = (mod & KMOD_ALT) != 0;
        return out.vk != 0;
      }
      case SDL_TEXTINPUT:
        out.kind = Kind::kText;
        out.window = event.text.windowID;
        out.text.Assign(event.text.text);
        return true;
      default:
        return false;
    }
  }

  Uint32 m_wakeEvent = 0;
  bool m_displayLost = false;
  SDL_Event m_pending{};  // taken out by WaitEvent, handed on by the next PollEvent
  bool m_hasPending = false;
  ScaleFactor m_scale;
  bool m_windowManager = false;
  std::map<std::tuple<std::string, int, bool, bool, bool>, std::shared_ptr<IFont>> m_fonts;
};

}  // namespace
}  // namespace sdl

std::unique_ptr<IUiBackend> CreatePlatformBackend() {
  return sdl::SdlBackend::Create();
}

int QuitSignal() {
  return sdl::g_quitSignal;
}

}  // namespace pinvale::ui
