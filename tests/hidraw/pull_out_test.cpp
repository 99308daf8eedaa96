// The key pulled out after every report of every operation, in both directions:
// each case ends at once (long before the silence limit) saying that the key was
// pulled out, and under ASan with nothing leaked.

#include <gmock/gmock.h>

#include <chrono>

#include "cli_on_hidraw.h"
#include "transport/hid_device_list.h"

namespace pinvale::emulation::test {
namespace {

struct Operation {
  const char* name;
  std::string pin;  // the key's PIN before the operation
  std::vector<std::string> args;
  std::deque<std::string> input;
  friend void PrintTo(const Operation& operation, std::ostream* out) { *out << operation.name; }
};

const Operation kOperations[] = {
    {"Info", "", {"info"}, {}},
    {"Retries", "1234", {"retries"}, {}},
    {"SetPin", "", {"--pin-stdin", "set-pin"}, {"1234"}},
    {"ChangePin", "1234", {"--pin-stdin", "change-pin"}, {"1234", "56789"}},
    {"VerifyPin", "1234", {"--pin-stdin", "verify-pin"}, {"1234"}},
    {"Reset", "1234", {"--yes", "reset"}, {}},
};

class PullOut : public HidrawTest, public testing::WithParamInterface<Operation> {
 protected:
  // Plugs a fresh key; the touch for a reset comes with the first keepalive, so
  // every run carries the same reports.
  int PlugKey() {
    vkey::VirtualKeyConfig config = QuickKey();
    config.initialPin = GetParam().pin;
    config.touchMode = vkey::TouchMode::kOnDemand;
    key_ = vkey::VirtualKey::Create(config);
    return bed.Plug(key_, KeyShape::kFidoOnly);
  }

  // Runs the operation, pulling the key out after report `pullAt` of `direction`
  // (0: never).
  CliOutcome Run(int device, ReportDirection direction, int pullAt) {
    auto key = key_;
    bed.SetReportObserver(
        [this, key, device, direction, pullAt](int from, ReportDirection dir, int index) {
          if (from != device) return;
          if (dir == direction && index == pullAt) bed.Unplug(device);
          if (dir == ReportDirection::kToHost && key->Status().waitingForTouch) key->Touch();
        });
    CliOutcome outcome = RunCliOnHidraw(GetParam().args, GetParam().input);
    bed.SetReportObserver(nullptr);
    return outcome;
  }

  std::shared_ptr<vkey::VirtualKey> key_;
};

TEST_P(PullOut, AfterEveryReportInEitherDirection) {
  // A run without a pull-out counts the reports.
  const int census = PlugKey();
  ASSERT_EQ(Run(census, ReportDirection::kToKey, 0).exit, cli::kExitOk);
  const int toKey = bed.ReportsCarried(census, ReportDirection::kToKey);
  const int toHost = bed.ReportsCarried(census, ReportDirection::kToHost);
  bed.Unplug(census);
  RecordProperty("reports_to_key", toKey);
  RecordProperty("reports_to_host", toHost);

  for (ReportDirection direction : {ReportDirection::kToKey, ReportDirection::kToHost}) {
    const int count = direction == ReportDirection::kToKey ? toKey : toHost;
    for (int k = 1; k <= count; ++k) {
      SCOPED_TRACE(testing::Message()
                   << (direction == ReportDirection::kToKey ? "to key" : "to host") << ", report "
                   << k << " of " << count);
      const int device = PlugKey();
      ASSERT_GE(device, 0);
      const auto start = std::chrono::steady_clock::now();
      const CliOutcome outcome = Run(device, direction, k);
      const auto elapsed = std::chrono::steady_clock::now() - start;
      EXPECT_LT(elapsed, std::chrono::milliseconds(CHidDeviceList::kDefaultSilenceLimitMs / 3));
      EXPECT_EQ(bed.ReportsCarried(device, direction), k);
      if (direction == ReportDirection::kToHost && k == count) {
        // The whole answer was there before the key went.
        EXPECT_EQ(outcome.exit, cli::kExitOk) << outcome.err;
      } else {
        // Whichever step it cut short, the user hears that the key was pulled
        // out; after the check that follows a new PIN, the PIN is set all the
        // same.
        EXPECT_THAT(outcome.err, testing::HasSubstr("pulled out before it"));
        EXPECT_THAT(outcome.err, testing::Not(testing::HasSubstr("status")));
        const bool confirmation = outcome.err.find("confirmed the new PIN") != std::string::npos;
        EXPECT_EQ(outcome.exit, confirmation ? cli::kExitOk : cli::kExitNoKey);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, PullOut, testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pinvale::emulation::test
