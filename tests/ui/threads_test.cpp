// Posting and sending from other threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "test_skin.h"
#include "ui/off_ui_thread.h"
#include "ui/ui_testing.h"

namespace pinvale::ui {
namespace {

using test::RecordingWindow;
namespace t = ui::testing;

class ThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::UseTestSkin(); }
};

TEST_F(ThreadsTest, PostsFromAWorkerArriveInOrder) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::thread worker([hwnd] {
    for (WPARAM i = 0; i < 200; ++i) PostMessage(hwnd, WM_USER + 1, i, 0);
  });
  worker.join();
  t::PumpUntil([&] { return window.userMessages.size() == 200; });
  ASSERT_EQ(window.userMessages.size(), 200u);
  for (WPARAM i = 0; i < 200; ++i) EXPECT_EQ(window.userMessages[i], i);
}

TEST_F(ThreadsTest, SendFromAWorkerWaitsForTheResult) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::atomic<LRESULT> result{-1};
  std::thread worker([&] { result = SendMessage(hwnd, WM_USER + 1, 21, 0); });
  EXPECT_TRUE(t::PumpUntil([&] { return result.load() != -1; }, 5000));
  worker.join();
  EXPECT_EQ(result.load(), 42);
}

TEST_F(ThreadsTest, SendToAWindowDestroyedMeanwhileReturnsZero) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::atomic<bool> started{false};
  std::atomic<LRESULT> result{-1};
  std::thread worker([&] {
    started = true;
    result = SendMessage(hwnd, WM_USER + 1, 21, 0);
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // The UI thread destroys the window without taking its messages: the waiting send ends.
  DestroyWindow(hwnd);
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_TRUE(window.userMessages.empty());
}

TEST_F(ThreadsTest, MessagesToAGoneWindowAreDropped) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  DestroyWindow(hwnd);
  EXPECT_FALSE(PostMessage(hwnd, WM_USER + 1, 1, 0));
  LRESULT sent = -1;
  std::thread worker([&] { sent = SendMessage(hwnd, WM_USER + 1, 1, 0); });
  worker.join();
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(SendMessage(hwnd, WM_USER + 1, 1, 0), 0);  // from the UI thread too
  t::PumpUntilIdle();
  EXPECT_TRUE(window.userMessages.empty());
}

struct Notice {
  int eventType;
  char path[32];
};

class PayloadWindow : public RecordingWindow {
 public:
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_DEVICECHANGE) {
      const auto* notice = reinterpret_cast<const Notice*>(lParam);
      seenEvent = static_cast<int>(wParam);
      seenPath = notice->path;
    }
    return RecordingWindow::HandleMessage(uMsg, wParam, lParam);
  }
  int seenEvent = 0;
  std::string seenPath;
};

TEST_F(ThreadsTest, PostedPayloadLivesUntilHandled) {
  PayloadWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::weak_ptr<const Notice> watch;
  std::thread worker([&] {
    auto notice = std::make_shared<Notice>(Notice{5, "vid_3f8c&pid_2d71"});
    watch = notice;
    PostMessage(hwnd, WM_DEVICECHANGE, 0x8000, std::shared_ptr<const void>(std::move(notice)));
  });
  worker.join();
  EXPECT_FALSE(watch.expired());  // owned by the queue
  t::PumpUntilIdle();
  EXPECT_EQ(window.seenEvent, 0x8000);
  EXPECT_EQ(window.seenPath, "vid_3f8c&pid_2d71");
  EXPECT_TRUE(watch.expired());
}

TEST_F(ThreadsTest, AWorkerCanCloseAModalDialog) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::thread worker;
  t::RunWhenModal([&](HWND) {
    worker = std::thread([hwnd] {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      PostMessage(hwnd, WM_CLOSE, 2, 0);
    });
  });
  EXPECT_EQ(window.ShowModal(), 2u);
  worker.join();
}

TEST_F(ThreadsTest, PostedTasksRunOnTheUiThread) {
  std::atomic<bool> ran{false};
  std::thread::id where;
  std::thread worker([&] {
    t::PostTask([&] {
      where = std::this_thread::get_id();
      ran = true;
    });
  });
  worker.join();
  EXPECT_TRUE(t::PumpUntil([&] { return ran.load(); }));
  EXPECT_EQ(where, std::this_thread::get_id());
}

// Work off the UI thread: the window that asked takes no input meanwhile, unless it asked
// for its input to stay live (a Cancel while the work waits for the user).
class OffUiInputTest : public ThreadsTest, public ::testing::WithParamInterface<OffUiInput> {};

TEST_P(OffUiInputTest, AClickDuringTheWorkReachesTheWindowOnlyWhenInputIsLive) {
  RecordingWindow window;
  const HWND hwnd = test::CreateTestWindow(window);
  std::atomic<int> clicks{-1};
  RunOffUiThread(
      hwnd,
      [&] {
        t::PostTask([&] {
          t::Click(hwnd, u"minbtn");
          t::KeyDown(hwnd, VK_DOWN);
          clicks = window.Count("click:minbtn");
        });
        for (int i = 0; i < 2000 && clicks.load() < 0; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      },
      {}, kBusyCueDelay, GetParam());
  const bool live = GetParam() == OffUiInput::kLive;
  EXPECT_EQ(clicks.load(), live ? 1 : 0);
  EXPECT_EQ(window.keyDownsSeen.size(), live ? 1u : 0u);
  // Afterwards the window takes input as before, either way.
  const std::size_t before = window.keyDownsSeen.size();
  t::KeyDown(hwnd, VK_UP);
  EXPECT_EQ(window.keyDownsSeen.size(), before + 1);
  DestroyWindow(hwnd);
}

INSTANTIATE_TEST_SUITE_P(Inputs, OffUiInputTest,
                         ::testing::Values(OffUiInput::kBlocked, OffUiInput::kLive),
                         [](const auto& info) {
                           return info.param == OffUiInput::kLive ? "Live" : "Blocked";
                         });

}  // namespace
}  // namespace pinvale::ui
