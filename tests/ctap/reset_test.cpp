#include "ctap/reset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_hid.h"

namespace pinvale {
namespace {

using test::Bytes;

// Records what the worker posts and how long it pauses, in order.
class Recorder : public ResetMessagePoster {
 public:
  void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back("post " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                      std::to_string(lParam));
  }
  void Sleep(std::chrono::milliseconds ms) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back("sleep " + std::to_string(ms.count()));
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  ResetWorker::Sleeper Sleeper() {
    return [this](std::chrono::milliseconds ms) { Sleep(ms); };
  }

 private:
  std::mutex lock_;
  std::vector<std::string> events_;
};

TEST(SendReset, SendsTheSingleByteAndReturnsTheStatus) {
  test::FakeKeyRig rig;
  rig.key->ScriptAnswer(0x30);
  EXPECT_EQ(SendReset(rig.token), 0x30);
  EXPECT_EQ(rig.key->SentMessages(), (std::vector<Bytes>{{0x07}}));
}

struct WorkerCase {
  const char* name;
  std::uint8_t status;
  std::vector<std::string> events;
};

class ResetWorkerSequence : public testing::TestWithParam<WorkerCase> {};

TEST_P(ResetWorkerSequence, PostsTheResultThenClosesAfterThePause) {
  test::FakeKeyRig rig;
  rig.key->ScriptAnswer(GetParam().status);
  Recorder recorder;
  std::atomic<bool> absent{false};
  ResetWorker worker(rig.token, recorder, absent, recorder.Sleeper());
  EXPECT_EQ(worker.Run(), kResetWorkerDone);
  EXPECT_EQ(recorder.Events(), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ResetWorkerSequence,
    testing::Values(WorkerCase{"Done", 0x00, {"post 1125 0 0", "sleep 500", "post 1126 1 0"}},
                    WorkerCase{"TooLate", 0x30, {"post 1125 48 0", "sleep 500", "post 1126 1 0"}},
                    WorkerCase{"NoTouch", 0x2F, {"post 1125 47 0", "sleep 500", "post 1126 1 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResetWorker, ReportsAFailedExchangeLikeAnyStatus) {
  test::FakeKeyRig rig;
  rig.key->SetPresent(false);
  Recorder recorder;
  std::atomic<bool> absent{false};
  ResetWorker worker(rig.token, recorder, absent, recorder.Sleeper());
  worker.Run();
  EXPECT_EQ(recorder.Events(),
            (std::vector<std::string>{"post 1125 43981 0", "sleep 500", "post 1126 1 0"}));
}

TEST(ResetWorker, OnlyClosesWhenTheKeyWentAwayDuringTheWait) {
  test::FakeKeyRig rig;
  std::atomic<bool> absent{false};
  // The key is pulled out while the user is asked to touch it.
  rig.key->SetResponder([&](const Bytes&) -> std::optional<Bytes> {
    absent = true;
    return test::CtapAnswer(0x00);
  });
  Recorder recorder;
  ResetWorker worker(rig.token, recorder, absent, recorder.Sleeper());
  EXPECT_EQ(worker.Run(), kResetWorkerDeviceGone);
  EXPECT_EQ(worker.ThreadResult(), kResetWorkerDeviceGone);
  EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"post 1126 2 0"}));
}

TEST(ResetWorker, RunsOnItsOwnThreadAndIsJoined) {
  test::FakeKeyRig rig;
  rig.key->ScriptAnswer(0x00);
  Recorder recorder;
  std::atomic<bool> absent{false};
  {
    ResetWorker worker(rig.token, recorder, absent, {}, std::chrono::milliseconds(1));
    worker.Start();
    worker.Join();
    EXPECT_EQ(worker.ThreadResult(), kResetWorkerDone);
  }
  EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"post 1125 0 0", "post 1126 1 0"}));
}

TEST(ResetWorker, PostsNothingOnceThePosterIsDetached) {
  test::FakeKeyRig rig;
  Recorder recorder;
  std::atomic<bool> absent{false};
  ResetWorker* self = nullptr;
  // The dialog's window goes away while the key still waits for the touch.
  rig.key->SetResponder([&](const Bytes&) -> std::optional<Bytes> {
    self->DetachPoster();
    return test::CtapAnswer(0x00);
  });
  {
    ResetWorker worker(rig.token, recorder, absent, recorder.Sleeper());
    self = &worker;
    worker.Start();
  }  // destruction joins
  EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"sleep 500"}));
}

}  // namespace
}  // namespace pinvale
