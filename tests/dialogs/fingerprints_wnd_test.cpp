// The Fingerprints window against the in-process virtual key (2.1, and the 2.1 drafts'
// prototype command 0x40): the list, an enrolment with a bad sample, the name and its
// byte limit, rename, delete behind a confirmation, Cancel while the key waits for a
// finger, a full store, no finger, a pull-out during a capture and a token renewed without
// asking for the PIN again.

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ctap/bio_enrollment.h"
#include "ctap/pin_token.h"
#include "dialog_test_rig.h"
#include "dialogs/device_absent.h"
#include "dialogs/fingerprints_texts.h"
#include "dialogs/fingerprints_wnd.h"
#include "dialogs/management_access.h"

namespace pinvale::test {
namespace {

using namespace std::chrono_literals;

constexpr char kPin[] = "1234";
constexpr std::uint32_t kSamples = 3;

vkey::SensorInput Good() {
  return vkey::SensorInput{vkey::UserAction::kTouch, 0};
}
vkey::SensorInput Bad(std::uint8_t status) {
  return vkey::SensorInput{vkey::UserAction::kBadSample, status};
}

// The subcommand of every bio-enrolment request the key saw.
std::vector<int> BioSubcommands(const vkey::VirtualKey& key) {
  std::vector<int> seen;
  for (const vkey::CtapRequestRecord& r : key.RecentRequests()) {
    if (r.command != kBioEnrollmentCommand && r.command != kBioEnrollmentPrototypeCommand) continue;
    // {1: modality, 2: subCommand, ...} or {2: subCommand} for the sensor information.
    for (std::size_t i = 1; i + 1 < r.cbor.size(); ++i) {
      if (r.cbor[i] == 0x02) {
        seen.push_back(r.cbor[i + 1]);
        break;
      }
    }
  }
  return seen;
}

// How many enrolment requests that wait for a sample (begin, capture) the key saw.
int SampleRequests(const vkey::VirtualKey& key) {
  const std::vector<int> sub = BioSubcommands(key);
  return static_cast<int>(std::count(sub.begin(), sub.end(), 0x01) +
                          std::count(sub.begin(), sub.end(), 0x02));
}

// Plays the user at the sensor while the window waits off the UI thread: step k runs on the
// UI thread (inside the window's wait) once the key waits for the sample of the k-th request.
class SensorScript {
 public:
  SensorScript(vkey::VirtualKey& key, std::vector<std::function<void()>> steps)
      : key_(key),
        steps_(std::move(steps)),
        baseline_(SampleRequests(key)),
        thread_([this] { Run(); }) {}
  ~SensorScript() { thread_.join(); }
  int StepsRun() const { return run_.load(); }

 private:
  bool WaitForRequest(int count) {
    for (auto until = std::chrono::steady_clock::now() + 3s;
         std::chrono::steady_clock::now() < until;) {
      if (key_.Status().waitingForFinger && SampleRequests(key_) - baseline_ >= count) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }
  void Run() {
    int count = 0;
    for (auto& step : steps_) {
      if (!WaitForRequest(++count)) return;
      std::promise<void> done;
      uit::PostTask([&] {
        step();
        ++run_;
        done.set_value();
      });
      done.get_future().wait();
    }
  }
  vkey::VirtualKey& key_;
  std::vector<std::function<void()>> steps_;
  int baseline_;
  std::atomic<int> run_{0};
  std::thread thread_;
};

class FingerprintsTest : public DialogTest,
                         public ::testing::WithParamInterface<vkey::CtapProfile> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    UseKey(Config());
  }
  vkey::VirtualKeyConfig Config(int capacity = 5) {
    vkey::VirtualKeyConfig config = KeyConfig(kPin);
    config.profile = GetParam();
    config.samplesPerEnrollment = static_cast<int>(kSamples);
    config.fingerprintCapacity = capacity;
    return config;
  }
  std::unique_ptr<ManagementAccess> Access() {
    const ManagementPrecheckResult check =
        CheckBeforeManagement(Token(), ManagementKind::kFingerprints);
    EXPECT_EQ(check.outcome, ManagementPrecheck::kReady);
    const std::vector<std::uint8_t> pin(kPin, kPin + 4);
    PinRequestResult result;
    auto access = OpenManagementAccess(Token(), check, ManagementKind::kFingerprints, pin, result);
    EXPECT_NE(access, nullptr);
    return access;
  }
  std::unique_ptr<CFingerprintsWnd> Window() {
    auto window = std::make_unique<CFingerprintsWnd>(u"Fingerprints.xml", &Token(), Access());
    window->SetWatchdogPeriod(5ms);
    return window;
  }
  // Enrols a fingerprint straight through the client, before the window opens.
  void EnrolDirect(const std::string& name) {
    auto access = Access();
    BioEnrollment bio(Token(), access->command);
    for (std::uint32_t i = 0; i < kSamples; ++i) Key().Sensor(Good());
    EnrollmentProgress progress;
    ASSERT_EQ(
        access->session.Run([&](const PinUvToken& t) { return bio.EnrollBegin(t, {}, progress); }),
        0);
    const std::vector<std::uint8_t> id = progress.templateId;
    while (progress.remainingSamples.value_or(0) > 0) {
      ASSERT_EQ(access->session.Run([&](const PinUvToken& t) {
        return bio.CaptureNextSample(t, id, {}, progress);
      }),
                0);
    }
    if (!name.empty()) {
      ASSERT_EQ(access->session.Run(
                    [&](const PinUvToken& t) { return bio.SetFriendlyName(t, id, name); }),
                0);
    }
  }
  static void WaitForList(CFingerprintsWnd& w) {
    ASSERT_TRUE(uit::PumpUntil([&] { return w.ListRead(); }, 3000));
  }
  static std::vector<std::u16string> Rows(HWND hwnd) {
    std::vector<std::u16string> rows;
    auto* list = dynamic_cast<ui::CListUI*>(uit::FindControl(hwnd, u"list_fingerprints"));
    for (int i = 0; list && i < list->GetCount(); ++i) rows.push_back(list->GetItem(i)->title);
    return rows;
  }
  static void Select(HWND hwnd, int row) {
    auto* list = dynamic_cast<ui::CListUI*>(uit::FindControl(hwnd, u"list_fingerprints"));
    ASSERT_NE(list, nullptr);
    list->SelectItem(row);
  }
  static bool Enabled(HWND hwnd, std::u16string_view name) {
    ui::CControlUI* control = uit::FindControl(hwnd, name);
    return control && control->IsEnabled();
  }
  static void Shots(HWND hwnd, const std::string& name) {
    Snapshot(hwnd, name + "-1x");
    uit::SetScale(hwnd, 1.5);
    Snapshot(hwnd, name + "-1.5x");
    uit::SetScale(hwnd, 2.0);
    Snapshot(hwnd, name + "-2x");
    uit::SetScale(hwnd, 1.0);
  }
  // Answers the next box with OK or Cancel after checking its text.
  void AnswerBox(std::u16string text, bool ok, const std::string& shot = {}) {
    uit::RunWhenModal([text, ok, shot](HWND box) {
      auto* found = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(box));
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->Text(), text);
      if (!shot.empty()) Shots(box, shot);
      EXPECT_TRUE(uit::Click(box, ok ? u"OK" : u"Cancel"));
    });
  }
};

TEST_P(FingerprintsTest, AnEmptyKeyShowsTheEmptyTextAndOnlyAdd) {
  auto w = Window();
  EXPECT_EQ(RunDialog(*w,
                      [&](HWND hwnd) {
                        WaitForList(*w);
                        EXPECT_TRUE(Rows(hwnd).empty());
                        EXPECT_EQ(w->SensorInfo().maxCaptureSamples, kSamples);
                        EXPECT_TRUE(Enabled(hwnd, u"btn_add"));
                        EXPECT_FALSE(Enabled(hwnd, u"btn_rename"));
                        EXPECT_FALSE(Enabled(hwnd, u"btn_delete"));
                        Shots(hwnd, "list-empty");
                        uit::KeyDown(hwnd, VK_ESCAPE);
                      }),
            1);
}

TEST_P(FingerprintsTest, EnrolsWithABadSampleShowingTheDirectionThenNamesIt) {
  auto w = Window();
  EXPECT_EQ(
      RunDialog(
          *w,
          [&](HWND hwnd) {
            WaitForList(*w);
            SensorScript user(
                Key(),
                {
                    [&] {
                      EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kAddPage);
                      EXPECT_EQ(TextOf(hwnd, u"label_cue"), kTouchSensorText);
                      EXPECT_EQ(TextOf(hwnd, u"progress_samples"), u"0 of 3 samples");
                      EXPECT_FALSE(Enabled(hwnd, u"btn_add") && uit::Click(hwnd, u"btn_add"));
                      Key().Sensor(Good());
                    },
                    [&] {
                      EXPECT_EQ(TextOf(hwnd, u"label_cue"), kTouchAgainText);
                      EXPECT_EQ(TextOf(hwnd, u"progress_samples"), u"1 of 3 samples");
                      Key().Sensor(Bad(0x01));
                    },
                    [&] {
                      EXPECT_EQ(TextOf(hwnd, u"label_advice"),
                                u"Place your finger a little lower.");
                      EXPECT_EQ(TextOf(hwnd, u"label_cue"), kTouchSensorText);
                      EXPECT_EQ(TextOf(hwnd, u"progress_samples"), u"1 of 3 samples");
                      Shots(hwnd, "enrol-bad-sample");
                      Key().Sensor(Good());
                    },
                    [&] { Key().Sensor(Good()); },
                });
            // Enter on the list is Add; it returns once the key stored the template.
            uit::KeyDown(hwnd, VK_RETURN);
            ASSERT_TRUE(uit::PumpUntil(
                [&] { return w->CurrentPage() == CFingerprintsWnd::kNamePage; }, 3000));
            EXPECT_EQ(user.StepsRun(), 4);
            EXPECT_EQ(Key().Status().fingerprints, 1u);
            EXPECT_EQ(TextOf(hwnd, u"label_name_count"), u"0 of 15 bytes");
            EXPECT_EQ(TextOf(hwnd, u"btn_name_cancel"), kSkipText);
            // 16 bytes: refused with a plain count, OK disabled; 15 fit.
            uit::TypeText(hwnd, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
            EXPECT_EQ(TextOf(hwnd, u"label_name_count"), u"16 of 15 bytes: too long for this key");
            EXPECT_FALSE(Enabled(hwnd, u"btn_name_ok"));
            Shots(hwnd, "name-too-long");
            uit::KeyDown(hwnd, VK_BACK);
            uit::TypeText(hwnd, "x");
            EXPECT_EQ(TextOf(hwnd, u"label_name_count"), u"15 of 15 bytes");
            EXPECT_TRUE(Enabled(hwnd, u"btn_name_ok"));
            Shots(hwnd, "name");
            uit::KeyDown(hwnd, VK_RETURN);
            EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kListPage);
            EXPECT_EQ(Rows(hwnd),
                      std::vector<std::u16string>{u"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9x"});
            uit::KeyDown(hwnd, VK_ESCAPE);
          }),
      1);
  // Every request went with the key's command byte: 0x40 on keys of the 2.1 drafts.
  const int bio = GetParam() == vkey::CtapProfile::kCtap21 ? 0x09 : 0x40;
  for (int command : CommandsSeen()) {
    EXPECT_TRUE(command == bio || command == 0x06 || command == 0x04) << command;
  }
  // The enrolment went as the CLI sends it: begin, a capture per further sample, the name.
  const std::vector<int> sub = BioSubcommands(Key());
  EXPECT_EQ(std::count(sub.begin(), sub.end(), 0x02), 3);
  EXPECT_EQ(std::count(sub.begin(), sub.end(), 0x05), 1);
  EXPECT_EQ(std::count(sub.begin(), sub.end(), 0x03), 0);
}

TEST_P(FingerprintsTest, RenamesAndDeletesBehindAConfirmationNamingTheFingerprint) {
  EnrolDirect("Index");
  EnrolDirect("");
  auto w = Window();
  EXPECT_EQ(
      RunDialog(*w,
                [&](HWND hwnd) {
                  WaitForList(*w);
                  EXPECT_EQ(Rows(hwnd), (std::vector<std::u16string>{u"Index", u"Fingerprint 2"}));
                  EXPECT_FALSE(Enabled(hwnd, u"btn_rename"));
                  Select(hwnd, 1);
                  EXPECT_TRUE(Enabled(hwnd, u"btn_rename"));
                  EXPECT_TRUE(Enabled(hwnd, u"btn_delete"));
                  Shots(hwnd, "list-few");
                  ASSERT_TRUE(uit::Click(hwnd, u"btn_rename"));
                  EXPECT_EQ(TextOf(hwnd, u"label_name_title"), u"New name for \"Fingerprint 2\":");
                  uit::TypeText(hwnd, "Thumb");
                  ASSERT_TRUE(uit::Click(hwnd, u"btn_name_ok"));
                  EXPECT_EQ(Rows(hwnd), (std::vector<std::u16string>{u"Index", u"Thumb"}));
                  // The renamed row stays selected.
                  EXPECT_EQ(dynamic_cast<ui::CListUI*>(uit::FindControl(hwnd, u"list_fingerprints"))
                                ->GetCurSel(),
                            1);
                  // A kept name starts the edit; Escape leaves it as it was.
                  Select(hwnd, 0);
                  ASSERT_TRUE(uit::Click(hwnd, u"btn_rename"));
                  EXPECT_EQ(TextOf(hwnd, u"edit_name"), u"Index");
                  EXPECT_EQ(TextOf(hwnd, u"label_name_count"), u"5 of 15 bytes");
                  uit::KeyDown(hwnd, VK_ESCAPE);
                  EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kListPage);
                  EXPECT_EQ(Rows(hwnd), (std::vector<std::u16string>{u"Index", u"Thumb"}));

                  Select(hwnd, 0);
                  const std::u16string question =
                      u"Delete the fingerprint \"Index\"?\nIt can no longer unlock this key.";
                  AnswerBox(question, false);
                  ASSERT_TRUE(uit::Click(hwnd, u"btn_delete"));
                  EXPECT_EQ(Rows(hwnd).size(), 2u);
                  AnswerBox(question, true, "delete-confirm");
                  ASSERT_TRUE(uit::Click(hwnd, u"btn_delete"));
                  EXPECT_EQ(Rows(hwnd), std::vector<std::u16string>{u"Thumb"});
                  EXPECT_FALSE(Enabled(hwnd, u"btn_delete"));
                  ASSERT_TRUE(uit::Click(hwnd, u"closebtn"));
                }),
      1);
  EXPECT_EQ(Key().Status().fingerprints, 1u);
}

// How the user stops a capture: the Cancel button, Escape, the window's close button, or
// the frame's close (the title bar's X, Alt+F4).
enum class StopBy { kCancel, kEscape, kClose, kFrameClose };

TEST_P(FingerprintsTest, CancelMidCaptureLeavesNoTemplateAndNoPendingEnrolment) {
  for (StopBy how : {StopBy::kCancel, StopBy::kEscape, StopBy::kClose, StopBy::kFrameClose}) {
    SCOPED_TRACE(static_cast<int>(how));
    Key().ClearRecentRequests();
    auto w = Window();
    const int code = RunDialog(*w, [&](HWND hwnd) {
      WaitForList(*w);
      SensorScript user(Key(), {
                                   [&] { Key().Sensor(Good()); },
                                   [&] {
                                     // The window takes the click while the capture waits.
                                     if (how == StopBy::kCancel) {
                                       EXPECT_TRUE(uit::Click(hwnd, u"btn_enrol_cancel"));
                                     }
                                     if (how == StopBy::kEscape) uit::KeyDown(hwnd, VK_ESCAPE);
                                     if (how == StopBy::kClose) {
                                       EXPECT_TRUE(uit::Click(hwnd, u"closebtn"));
                                     }
                                     if (how == StopBy::kFrameClose) uit::SystemClose(hwnd);
                                   },
                               });
      ExpectNoBox([&] { ASSERT_TRUE(uit::Click(hwnd, u"btn_add")); });
      EXPECT_EQ(user.StepsRun(), 2);
      if (how == StopBy::kClose || how == StopBy::kFrameClose) return;
      EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kListPage);
      EXPECT_TRUE(Rows(hwnd).empty());
      uit::KeyDown(hwnd, VK_ESCAPE);
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(unexpectedBoxes_, 0);
    EXPECT_EQ(Key().Status().fingerprints, 0u);
    EXPECT_FALSE(Key().Status().waitingForFinger);
    // The window told the key to drop the template it had started.
    const std::vector<int> sub = BioSubcommands(Key());
    ASSERT_FALSE(sub.empty());
    EXPECT_NE(std::find(sub.begin(), sub.end(), 0x03), sub.end());
  }
  // A new enrolment starts afresh: nothing was left pending on the key.
  EnrolDirect("after");
  EXPECT_EQ(Key().Status().fingerprints, 1u);
}

TEST_P(FingerprintsTest, AFullStoreIsToldAndNothingChanges) {
  // More than the list shows at once: it scrolls.
  const std::vector<std::string> names = {"Right thumb", "Right index", "",
                                          "Left thumb",  "Left index",  "Little finger"};
  UseKey(Config(static_cast<int>(names.size())));
  for (const std::string& name : names) EnrolDirect(name);
  auto w = Window();
  EXPECT_EQ(RunDialog(*w,
                      [&](HWND hwnd) {
                        WaitForList(*w);
                        Select(hwnd, 5);
                        Shots(hwnd, "list-full");
                        AnswerBox(std::u16string(kStoreFullText), true, "error-store-full");
                        ASSERT_TRUE(uit::Click(hwnd, u"btn_add"));
                        EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kListPage);
                        EXPECT_EQ(Rows(hwnd).size(), names.size());
                        EXPECT_EQ(Rows(hwnd)[2], u"Fingerprint 3");
                        uit::KeyDown(hwnd, VK_ESCAPE);
                      }),
            1);
  EXPECT_EQ(uit::PendingModalTasks(), 0);
}

// The sensor felt nothing: a sample that says so (status 0x0D), or the key's own time-out.
TEST_P(FingerprintsTest, NoFingerEndsTheEnrolmentWithAPlainMessage) {
  for (bool keyTimesOut : {false, true}) {
    SCOPED_TRACE(keyTimesOut);
    vkey::VirtualKeyConfig config = Config();
    config.userPresenceTimeoutMs = 60;
    UseKey(config);
    auto w = Window();
    EXPECT_EQ(RunDialog(*w,
                        [&](HWND hwnd) {
                          WaitForList(*w);
                          Key().Sensor(Good());
                          if (!keyTimesOut) {
                            Key().Sensor(vkey::SensorInput{vkey::UserAction::kNoFinger, 0});
                          }
                          ExpectBox(std::u16string(kNoFingerText), kMessageBoxIconError);
                          ASSERT_TRUE(uit::Click(hwnd, u"btn_add"));
                          EXPECT_EQ(w->CurrentPage(), CFingerprintsWnd::kListPage);
                          uit::KeyDown(hwnd, VK_ESCAPE);
                        }),
              1);
    EXPECT_EQ(Key().Status().fingerprints, 0u);
    const std::vector<int> sub = BioSubcommands(Key());
    EXPECT_NE(std::find(sub.begin(), sub.end(), 0x03), sub.end());
  }
}

// A key whose sensor is blocked refuses every fingerprint command: the user is told how to
// unblock it rather than shown a status.
TEST_P(FingerprintsTest, ABlockedSensorIsToldWithWhatToDo) {
  const int command = GetParam() == vkey::CtapProfile::kCtap21 ? 0x09 : 0x40;
  vkey::VirtualKeyConfig config = Config();
  config.faults.push_back(ForcedStatus(command, -1, 0x3C));
  UseKey(config);
  auto w = Window();
  ExpectBox(std::u16string(kSensorBlockedText), kMessageBoxIconError);
  EXPECT_EQ(RunDialog(*w,
                      [&](HWND hwnd) {
                        WaitForList(*w);
                        EXPECT_TRUE(Rows(hwnd).empty());
                        uit::KeyDown(hwnd, VK_ESCAPE);
                      }),
            1);
  EXPECT_EQ(uit::PendingModalTasks(), 0);
}

TEST_P(FingerprintsTest, PullOutDuringACaptureClosesTheWindowWithZero) {
  auto w = Window();
  const int code = RunDialog(*w, [&](HWND hwnd) {
    WaitForList(*w);
    SensorScript user(Key(), {[&] {
                        DeviceAbsent = true;
                        Key().Unplug();
                      }});
    uit::Click(hwnd, u"btn_add");
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(unexpectedBoxes_, 0);
}

// A token the key no longer takes (another program got a new one meanwhile) is renewed with
// the kept PIN: the rename goes through, and no PIN is asked for.
TEST_P(FingerprintsTest, ATokenTheKeyDroppedIsRenewedWithoutAskingForThePin) {
  EnrolDirect("Old");
  auto w = Window();
  EXPECT_EQ(RunDialog(*w,
                      [&](HWND hwnd) {
                        WaitForList(*w);
                        PinUvToken other;
                        const std::vector<std::uint8_t> pin(kPin, kPin + 4);
                        ASSERT_EQ(
                            ObtainPinUvAuthToken(Token(), w->Access()->info, *w->Access()->protocol,
                                                 pin, kPermissionBioEnrollment, "", other)
                                .code,
                            0);
                        Select(hwnd, 0);
                        ASSERT_TRUE(uit::Click(hwnd, u"btn_rename"));
                        uit::TypeText(hwnd, "New");
                        ExpectNoBox([&] { uit::KeyDown(hwnd, VK_RETURN); });
                        EXPECT_EQ(Rows(hwnd), std::vector<std::u16string>{u"New"});
                        uit::KeyDown(hwnd, VK_ESCAPE);
                      }),
            1);
  EXPECT_EQ(unexpectedBoxes_, 0);
  // A 2.1 key makes a new token for every request, so the window's was refused once.
  if (GetParam() == vkey::CtapProfile::kCtap21) {
    EXPECT_EQ(w->Access()->session.Renewals(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, FingerprintsTest,
                         ::testing::Values(vkey::CtapProfile::kCtap21,
                                           vkey::CtapProfile::kCtap21Pre),
                         [](const auto& info) {
                           return info.param == vkey::CtapProfile::kCtap21 ? "Ctap21" : "Ctap21Pre";
                         });

TEST(FingerprintNames, UnnamedFingerprintsShowTheirPlaceAndNamesArePrintable) {
  FingerprintEnrollment unnamed;
  EXPECT_EQ(CFingerprintsWnd::ShownName(unnamed, 0), u"Fingerprint 1");
  unnamed.friendlyName = "";
  EXPECT_EQ(CFingerprintsWnd::ShownName(unnamed, 2), u"Fingerprint 3");
  FingerprintEnrollment broken;
  broken.friendlyName = std::string("ab\xFF\x01", 4);
  EXPECT_EQ(CFingerprintsWnd::ShownName(broken, 0),
            ui::Utf8ToUtf16(PrintableText(*broken.friendlyName)));
}

TEST(FingerprintNames, TheCountIsInUtf8BytesAndRefusesBrokenText) {
  bool ok = false;
  EXPECT_EQ(CFingerprintsWnd::NameCountText(u"", 15, ok), u"0 of 15 bytes");
  EXPECT_TRUE(ok);
  // U+1F44D is four bytes: 3 + 4 + 4 = 11.
  EXPECT_EQ(CFingerprintsWnd::NameCountText(u"abc\U0001F44D\U0001F44D", 15, ok), u"11 of 15 bytes");
  EXPECT_TRUE(ok);
  EXPECT_EQ(CFingerprintsWnd::NameCountText(u"\U0001F44D\U0001F44D\U0001F44D\U0001F44D", 15, ok),
            u"16 of 15 bytes: too long for this key");
  EXPECT_FALSE(ok);
  const char16_t lone[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ(CFingerprintsWnd::NameCountText(lone, 15, ok), kNameInvalidText);
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace pinvale::test
