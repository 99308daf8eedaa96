#pragma once

// What the X desktop says about itself: the text scale its settings daemon publishes and
// whether a window manager runs. Read once, over a short connection of our own, before the
// first window exists (its size depends on the scale).

#include <optional>

namespace pinvale::ui::sdl {

struct X11Desktop {
  std::optional<double> xftDpi;  // "Xft.dpi" of the resource database (GNOME, KDE, Xfce set it)
  bool windowManager = false;    // a window manager announces itself on the root window
};

// Empty values when no X display can be opened (SDL's dummy driver, Wayland without X).
X11Desktop ReadX11Desktop();

// SDL ends its wait for events by sending an event to one of the windows, from whichever
// thread posted; that window may have been destroyed a moment before, and Xlib's default
// handler would end the program over the BadWindow. Such errors are ignored from now on;
// every other error goes to the handler that was in place.
void IgnoreWakeUpsToGoneWindows();

}  // namespace pinvale::ui::sdl
