#include "ui/sdl/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xresource.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace pinvale::ui::sdl {
namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
struct DatabaseDestroyer {
  void operator()(_XrmHashBucketRec* db) const { XrmDestroyDatabase(db); }
};

std::optional<double> XftDpi(Display* display) {
  // The RESOURCE_MANAGER property, which Xlib fetched while connecting.
  const char* resources = XResourceManagerString(display);
  if (!resources) return std::nullopt;
  XrmInitialize();
  std::unique_ptr<_XrmHashBucketRec, DatabaseDestroyer> db(XrmGetStringDatabase(resources));
  if (!db) return std::nullopt;
  char* type = nullptr;
  XrmValue value{};
  if (!XrmGetResource(db.get(), "Xft.dpi", "Xft.Dpi", &type, &value) || !value.addr) {
    return std::nullopt;
  }
  const std::string text(value.addr, value.size > 0 ? value.size - 1 : 0);
  char* end = nullptr;
  const double dpi = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !(dpi > 0)) return std::nullopt;
  return dpi;
}

// The EWMH check: the root window names a child window that names itself back.
bool WindowManagerRuns(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  auto childOf = [&](Window w) -> std::optional<Window> {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, w, check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &after, &data) != Success) {
      return std::nullopt;
    }
    std::optional<Window> result;
    if (data && type == XA_WINDOW && format == 32 && count == 1) {
      result = *reinterpret_cast<Window*>(data);
    }
    if (data) XFree(data);
    return result;
  };
  const std::optional<Window> child = childOf(DefaultRootWindow(display));
  if (!child) return false;
  // A window manager that died leaves its property on the root behind: the child must exist
  // and name itself. Errors for a missing window are ignored meanwhile.
  auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  const std::optional<Window> self = childOf(*child);
  XSync(display, False);
  XSetErrorHandler(previous);
  return self && *self == *child;
}

}  // namespace

X11Desktop ReadX11Desktop() {
  X11Desktop desktop;
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return desktop;
  desktop.xftDpi = XftDpi(display.get());
  desktop.windowManager = WindowManagerRuns(display.get());
  return desktop;
}

namespace {

XErrorHandler g_previousHandler = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return g_previousHandler ? g_previousHandler(display, error) : 0;
}

}  // namespace

void IgnoreWakeUpsToGoneWindows() {
  XErrorHandler previous = XSetErrorHandler(OnXError);
  if (previous != OnXError) g_previousHandler = previous;
}

}  // namespace pinvale::ui::sdl
