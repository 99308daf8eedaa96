// Pinvale's entry: --help and --version, one running copy per user session, the skin
// archive, the option "-E", and the main window's modal loop.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/app_options.h"
#include "app/app_texts.h"
#include "app/device_notice_forwarder.h"
#include "app/hid_setup.h"
#include "app/main_wnd.h"
#include "app/quit_timer.h"
#include "embedded_skin.h"
#include "platform/elevation.h"
#include "platform/program_arguments.h"
#include "platform/single_instance.h"
#include "ui/native_window.h"
#include "version/pinvale_version.h"

namespace pinvale {
namespace {

constexpr char kNoWindowMessage[] =
    "pinvale: cannot open the main window (is a display available?)";

// The main window from its creation to its end; the program's exit code.
int RunMainWindow(const AppOptions& options) {
  ui::CPaintManagerUI::SetInstance(nullptr);
  ui::CPaintManagerUI::SetResourcePath(ui::CPaintManagerUI::GetInstancePath());
  ui::CPaintManagerUI::SetResourceZip(kSkinArchiveName);
  ui::RegisterResource(kSkinResourceKind, kSkinResourceId, EmbeddedSkinArchive());

  // The display is opened before any thread exists (the demo key, plugged in after the
  // first frame, has one): while the process has a single thread, glibc spares libX11 a
  // lock for every character it reads from the compose table.
  if (!ui::UiInitialize()) {
    std::fprintf(stderr, "%s\n", kNoWindowMessage);
    return 1;
  }
  HidSetup hid = SetUpHid(options);
  int exitCode = 0;
  {
    CMainWnd window(hid.platform);
    if (window.Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0)) {
      window.CenterWindow();
      // Watched from the first frame on, just before the first connection, which finds
      // the demo key plugged in.
      std::optional<DeviceNoticeForwarder> notices;
      window.SetAfterFirstFrame([&] {
        hid.PlugDemoKey();
        notices.emplace(window.GetHWND(),
                        DeviceNoticeSources{.hidraw = true,
                                            .virtualKeyDirectory = options.virtualKeyDirectory});
      });
      std::optional<QuitTimer> quitTimer;
      if (auto delay = ParseQuitDelay(std::getenv("PINVALE_QUIT_AFTER_MS")))
        quitTimer.emplace(window.GetHWND(), std::chrono::milliseconds(*delay));
      window.ShowModal();
    } else {
      std::fprintf(stderr, "%s\n", kNoWindowMessage);
      exitCode = 1;
    }
  }
  ui::UiShutdown();
  return exitCode;
}

}  // namespace
}  // namespace pinvale

int main(int argc, char** argv) {
  using namespace pinvale;

  const std::vector<std::string> argumentText = ProgramArguments(argc, argv);
  std::vector<std::string_view> arguments(argumentText.begin(), argumentText.end());
  AppOptions options = ParseAppOptions(arguments, std::getenv("PINVALE_VKEY_DIR"));
  // Answered from a terminal without a display, and while another copy runs.
  if (options.help) {
    std::fputs(AppUsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("pinvale %s\n", kVersion);
    return 0;
  }

  // A second copy leaves at once, silently; the first keeps its claim until it ends.
  // PINVALE_INSTANCE_TAG lets a test run its own copy beside one on the desktop.
  std::string instanceName(kSingleInstanceName);
  if (const char* tag = std::getenv("PINVALE_INSTANCE_TAG")) instanceName += tag;
  auto claim = ClaimSingleInstance(instanceName);
  // Started again as administrator: the copy that started this one is ending.
  const bool afterElevation =
      std::find(arguments.begin(), arguments.end(), kAfterElevationArgument) != arguments.end();
  for (int wait = 0; !claim && afterElevation && wait < 50; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    claim = ClaimSingleInstance(instanceName);
  }
  if (!claim) return 0;
  if (options.resetOnStart) ResetOnStart = true;

  int exitCode = RunMainWindow(options);
  if (const int signal = ui::QuitSignal()) {
    // Interrupted: the windows are closed and the key is released; the starter (a shell,
    // a session manager) learns that the signal ended the program.
    claim.reset();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return exitCode;
}
