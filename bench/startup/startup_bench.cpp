// Measures how long programs take to their first frame on an X display, and their
// peak memory, running them in turn so that a loaded machine slows all of them alike.
//
// The clock starts in the child just before exec. The first frame is the first
// image the X server holds for a mapped top-level window of the child that is not
// a single colour: every damage report on the window (XDamage) is answered with
// XGetImage, so the time is when the server confirms the pixels, not when the
// program believes it drew them. Peak RSS comes from wait4 once the program has
// run on for a moment after its first frame and been ended.
//
//   startup_bench [--runs N] [--settle-ms M] "name=command args" ...

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Program {
  std::string name;
  std::vector<std::string> argv;
  std::vector<double> frameMs;
  std::vector<double> rssMiB;
  int failures = 0;
};

struct Run {
  double frameMs = -1;
  double rssMiB = 0;
};

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int IgnoreXError(Display*, XErrorEvent*) {
  return 0;  // a window of the child may vanish between an event and our request
}

// True when the window's pixels are not all one colour: the program has drawn.
bool HasDrawn(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
    return false;
  XImage* image =
      XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (!image) return false;
  const unsigned long first = XGetPixel(image, 0, 0);
  bool drawn = false;
  for (int y = 0; y < image->height && !drawn; y += 3) {
    for (int x = 0; x < image->width; x += 3) {
      if (XGetPixel(image, x, y) != first) {
        drawn = true;
        break;
      }
    }
  }
  XDestroyImage(image);
  return drawn;
}

Run MeasureOnce(Display* display, const Program& program, int settleMs) {
  Run run;
  Window root = DefaultRootWindow(display);
  XSync(display, True);  // forget what earlier runs left behind

  auto* startMs = static_cast<double*>(
      mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  *startMs = 0;
  std::vector<char*> argv;
  for (const std::string& arg : program.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    *startMs = NowMs();
    execvp(argv[0], argv.data());
    _exit(127);
  }

  std::map<Window, Damage> damages;
  const double deadline = NowMs() + 10000;
  int fd = ConnectionNumber(display);
  while (run.frameMs < 0 && NowMs() < deadline) {
    if (!XPending(display)) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) == 0) {
        // A frame drawn before our damage request reached the server raises no
        // report: a quiet moment looks at every window once more.
        for (auto& [window, damage] : damages) {
          if (HasDrawn(display, window)) run.frameMs = NowMs() - *startMs;
        }
      }
      int status = 0;
      if (waitpid(child, &status, WNOHANG) == child) break;  // ended without a frame
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == CreateNotify && event.xcreatewindow.parent == root &&
        !event.xcreatewindow.override_redirect) {
      damages[event.xcreatewindow.window] =
          XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
    } else if (event.type == MapNotify && damages.count(event.xmap.window)) {
      if (HasDrawn(display, event.xmap.window)) run.frameMs = NowMs() - *startMs;
    } else if (event.type >= 0) {
      int damageEvent = 0;
      int damageError = 0;
      XDamageQueryExtension(display, &damageEvent, &damageError);
      if (event.type == damageEvent + XDamageNotify) {
        auto* notify = reinterpret_cast<XDamageNotifyEvent*>(&event);
        XDamageSubtract(display, notify->damage, None, None);
        if (HasDrawn(display, notify->drawable)) run.frameMs = NowMs() - *startMs;
      }
    }
  }
  for (auto& [window, damage] : damages) XDamageDestroy(display, damage);
  XSync(display, False);

  // Let it settle (a connection after the first frame counts towards its memory).
  if (run.frameMs >= 0) usleep(static_cast<useconds_t>(settleMs) * 1000);
  kill(child, SIGTERM);
  int status = 0;
  rusage usage{};
  const double killDeadline = NowMs() + 3000;
  while (wait4(child, &status, WNOHANG, &usage) == 0) {
    if (NowMs() > killDeadline) kill(child, SIGKILL);
    usleep(5000);
  }
  run.rssMiB = usage.ru_maxrss / 1024.0;
  munmap(startMs, sizeof(double));
  return run;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Program ParseProgram(const std::string& spec) {
  Program program;
  std::string command = spec;
  if (auto eq = spec.find('='); eq != std::string::npos && spec.find(' ') > eq) {
    program.name = spec.substr(0, eq);
    command = spec.substr(eq + 1);
  }
  std::istringstream words(command);
  for (std::string word; words >> word;) program.argv.push_back(word);
  if (program.name.empty()) program.name = command;
  return program;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  int settleMs = 500;
  std::vector<Program> programs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (arg == "--settle-ms" && i + 1 < argc) {
      settleMs = std::atoi(argv[++i]);
    } else {
      programs.push_back(ParseProgram(arg));
    }
  }
  if (programs.empty() || runs < 1) {
    std::fprintf(stderr, "usage: startup_bench [--runs N] [--settle-ms M] \"name=command\"...\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  int damageEvent = 0;
  int damageError = 0;
  if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
    std::fprintf(stderr, "startup_bench: no X display with the DAMAGE extension\n");
    return 1;
  }
  XSetErrorHandler(IgnoreXError);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

  for (int round = 0; round < runs; ++round) {
    // Each round starts with another program, so none always follows the same one.
    for (std::size_t k = 0; k < programs.size(); ++k) {
      Program& program = programs[(round + k) % programs.size()];
      Run run = MeasureOnce(display, program, settleMs);
      if (run.frameMs < 0) {
        ++program.failures;
        std::printf("  %-12s run %2d: no frame\n", program.name.c_str(), round + 1);
        continue;
      }
      program.frameMs.push_back(run.frameMs);
      program.rssMiB.push_back(run.rssMiB);
      std::printf("  %-12s run %2d: %7.1f ms  %5.1f MiB\n", program.name.c_str(), round + 1,
                  run.frameMs, run.rssMiB);
      std::fflush(stdout);
    }
  }

  std::printf("\n%-12s %6s %12s %12s %12s %10s\n", "program", "runs", "first frame", "min",
              "peak RSS", "max RSS");
  for (const Program& program : programs) {
    std::printf(
        "%-12s %6zu %9.1f ms %9.1f ms %8.1f MiB %6.1f MiB%s\n", program.name.c_str(),
        program.frameMs.size(), Median(program.frameMs),
        program.frameMs.empty() ? 0.0
                                : *std::min_element(program.frameMs.begin(), program.frameMs.end()),
        Median(program.rssMiB),
        program.rssMiB.empty() ? 0.0
                               : *std::max_element(program.rssMiB.begin(), program.rssMiB.end()),
        program.failures ? "  (some runs showed no frame)" : "");
  }
  // The first program is the one measured; the others are its floors.
  const double measured = Median(programs[0].frameMs);
  for (std::size_t k = 1; k < programs.size(); ++k) {
    const double floor = Median(programs[k].frameMs);
    if (floor > 0)
      std::printf("ratio %s / %s: %.2f\n", programs[0].name.c_str(), programs[k].name.c_str(),
                  measured / floor);
  }
  XCloseDisplay(display);
  return 0;
}
