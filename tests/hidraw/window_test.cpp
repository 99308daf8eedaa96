// The main window on the Linux HID path: the udev monitor, the hidraw backend and
// the access rules of the nodes, with the virtual key behind emulated nodes.

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "app/app_texts.h"
#include "app/device_notice_forwarder.h"
#include "app/main_wnd.h"
#include "cli_on_hidraw.h"
#include "dialogs/device_absent.h"
#include "dialogs/message_box.h"
#include "embedded_skin.h"
#include "transport/hid_device_list.h"
#include "ui/ui_testing.h"

namespace pinvale::emulation::test {
namespace {

namespace uit = ui::testing;
using namespace std::chrono_literals;

class WindowOnHidraw : public HidrawTest {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(uit::InitHeadless());
    ui::RegisterResource(kSkinResourceKind, kSkinResourceId, EmbeddedSkinArchive());
  }
  static void TearDownTestSuite() { ui::UiShutdown(); }

  void SetUp() override {
    HidrawTest::SetUp();
    if (IsSkipped()) return;
    ClearHidAccessFailureFlag();
  }

  void TearDown() override {
    notices_.reset();
    if (window_) {
      if (IsWindow(window_->GetHWND())) DestroyWindow(window_->GetHWND());
      uit::PumpUntilIdle();
      window_.reset();
    }
  }

  // The window as the program opens it, with the device notices of the system.
  void Open() {
    window_ = std::make_unique<CMainWnd>(std::make_shared<LinuxHidPlatform>());
    window_->SetDeviceChangeWaits(0ms, 0ms);
    ASSERT_NE(window_->Create(nullptr, kProgramCaption, UI_WNDSTYLE_FRAME, 0), nullptr);
    window_->ShowWindow();
    notices_ = std::make_unique<DeviceNoticeForwarder>(
        window_->GetHWND(), DeviceNoticeSources{.hidraw = true, .virtualKeyDirectory = {}});
    // The first connection starts once the first frame is drawn and ends on a worker.
    EXPECT_TRUE(uit::PumpUntil([this] { return !window_->FirstConnectionPending(); }, 5000));
    uit::PumpUntilIdle();
  }

  ui::CControlUI* Control(std::u16string_view name) {
    return uit::FindControl(window_->GetHWND(), name);
  }
  std::u16string Status() { return Control(u"label_status")->GetText(); }
  bool Enabled(std::u16string_view name) { return Control(name)->IsEnabled(); }
  bool ShowsKey(bool pinSet) {
    return Status() == u"Device Inserted" && Enabled(u"btn_Format") &&
           Enabled(u"btn_change_pin") == pinSet && Enabled(u"btn_Verify") == pinSet &&
           Enabled(u"btn_Enroll") == !pinSet;
  }
  bool ShowsNoKey() {
    return Status() == u"Device NOT Inserted" && !Enabled(u"btn_Format") &&
           !Enabled(u"btn_Enroll") && DeviceAbsent;
  }

  std::unique_ptr<CMainWnd> window_;
  std::unique_ptr<DeviceNoticeForwarder> notices_;
};

TEST_F(WindowOnHidraw, FollowsPlugAndPullThroughTheUdevMonitor) {
  Open();
  EXPECT_TRUE(ShowsNoKey());

  vkey::VirtualKeyConfig config = QuickKey();
  config.initialPin = "1234";
  const int device = bed.Plug(vkey::VirtualKey::Create(config), KeyShape::kComposite);
  EXPECT_TRUE(uit::PumpUntil([&] { return ShowsKey(true); }, 5000)) << "no \"Device Inserted\"";

  bed.Unplug(device);
  EXPECT_TRUE(uit::PumpUntil([&] { return ShowsNoKey(); }, 5000));

  bed.Plug(vkey::VirtualKey::Create(QuickKey()), KeyShape::kFidoOnly);
  EXPECT_TRUE(uit::PumpUntil([&] { return ShowsKey(false); }, 5000));
}

TEST_F(WindowOnHidraw, APullOutClosesTheOpenDialog) {
  vkey::VirtualKeyConfig config = QuickKey();
  config.initialPin = "1234";
  const int device = bed.Plug(vkey::VirtualKey::Create(config), KeyShape::kFidoOnly);
  Open();
  ASSERT_TRUE(ShowsKey(true));

  HWND dialog = nullptr;
  uit::RunWhenModal([&](HWND hwnd) {
    dialog = hwnd;
    bed.Unplug(device);  // the dialog must go without anyone touching it
  });
  EXPECT_TRUE(uit::Click(window_->GetHWND(), u"btn_Verify"));
  EXPECT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(uit::PumpUntil([&] { return ShowsNoKey(); }, 5000));
  EXPECT_EQ(uit::ListWindows().size(), 1u);
}

// Runs `check` in a child process under another account than root (DAC then
// applies to the nodes' modes) and returns its exit code.
int RunAsOtherUser(const std::function<int()>& check) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
          ::setresuid(kNobody, kNobody, kNobody) != 0) {
        ::_exit(100);
      }
    }
    ::_exit(check());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

enum AccessCheck : int { kAsExpected = 0, kWrongCliAnswer = 1, kWrongWindow = 2 };

// The window connects on a thread of its own, and ThreadSanitizer cannot follow
// threads started in the child of a process that already has threads. These
// checks are of access rights, not of threads; the other builds run them.
#if defined(__SANITIZE_THREAD__)
#define SKIP_IN_FORKED_CHILD_UNDER_TSAN() GTEST_SKIP() << "threads in a forked child"
#else
#define SKIP_IN_FORKED_CHILD_UNDER_TSAN() (void)0
#endif

TEST_F(WindowOnHidraw, AKeyThatMayNotBeOpenedGetsTheUdevAdvice) {
  SKIP_IN_FORKED_CHILD_UNDER_TSAN();
  const int device = bed.Plug(vkey::VirtualKey::Create(QuickKey()), KeyShape::kFidoOnly);
  ASSERT_TRUE(bed.SetNodeMode(bed.FidoNode(device), 0));
  ASSERT_TRUE(bed.OpenToOtherUsers());
  const int result = RunAsOtherUser([this] {
    const CliOutcome info = RunCliOnHidraw({"info"});
    if (info.exit != cli::kExitNoKey ||
        info.err.find("udev rule 70-pinvale.rules") == std::string::npos) {
      std::fprintf(stderr, "pinvale-cli said: %s", info.err.c_str());
      return int{kWrongCliAnswer};
    }
    std::u16string warning;
    uit::RunWhenModal([&](HWND box) {
      warning = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(box))->Text();
      uit::Click(box, u"OK");
    });
    Open();
    return warning.find(u"udev rule") != std::u16string::npos && ShowsNoKey() ? int{kAsExpected}
                                                                              : int{kWrongWindow};
  });
  EXPECT_EQ(result, kAsExpected);
}

TEST_F(WindowOnHidraw, AClosedKeyboardNodeBesideTheFidoNodeRaisesNoWarning) {
  SKIP_IN_FORKED_CHILD_UNDER_TSAN();
  const int device = bed.Plug(vkey::VirtualKey::Create(QuickKey()), KeyShape::kComposite);
  const std::vector<std::string> nodes = bed.Nodes(device);
  ASSERT_EQ(nodes.size(), 2u);
  ASSERT_TRUE(bed.SetNodeMode(nodes[0], 0));  // the keyboard
  ASSERT_TRUE(bed.SetNodeMode(nodes[1], 0666));
  ASSERT_TRUE(bed.OpenToOtherUsers());
  const int result = RunAsOtherUser([this] {
    const CliOutcome info = RunCliOnHidraw({"info"});
    if (info.exit != cli::kExitOk) {
      std::fprintf(stderr, "pinvale-cli said: %s", info.err.c_str());
      return int{kWrongCliAnswer};
    }
    Open();
    return ShowsKey(false) && uit::ListWindows().size() == 1 ? int{kAsExpected} : int{kWrongWindow};
  });
  EXPECT_EQ(result, kAsExpected);
}

}  // namespace
}  // namespace pinvale::emulation::test
