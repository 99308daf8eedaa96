// Time and HID reports per operation against pinvale-vkey's socket: Pinvale's
// own exchange (CFidoToken, the PIN protocol) beside libfido2 driving the same
// kind of key through fido_dev_set_io_functions.
//
// Each benchmark starts its own key so the PIN state of one never leaks into
// another. Report counts cover the timed operations only.

#include <benchmark/benchmark.h>
#include <fido.h>
#include <fido/credman.h>

#include <memory>
#include <string>
#include <vector>

#include "counting_hid.h"
#include "ctap/get_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/reset.h"
#include "fido2_socket_io.h"
#include "transport/fido_token.h"
#include "transport/hid_socket_linux.h"
#include "transport/maker_ids.h"
#include "vkey_process.h"

namespace pinvale::bench {
namespace {

const std::vector<std::string> kKeyArgs = {"--touch-delay", "0", "--reset-window", "3600"};

const std::vector<std::uint8_t> kPinA = {'1', '2', '3', '4', '5', '6'};
const std::vector<std::uint8_t> kPinB = {'6', '5', '4', '3', '2', '1'};

// Adds the reports of the timed part to the benchmark's counters.
class ReportTally {
 public:
  template <typename Counts>
  void Add(std::uint64_t sentBefore, std::uint64_t receivedBefore, const Counts& after) {
    sent_ += after.sent - sentBefore;
    received_ += after.received - receivedBefore;
  }
  void Publish(benchmark::State& state) const {
    state.counters["reports_sent"] =
        benchmark::Counter(static_cast<double>(sent_), benchmark::Counter::kAvgIterations);
    state.counters["reports_received"] =
        benchmark::Counter(static_cast<double>(received_), benchmark::Counter::kAvgIterations);
  }

 private:
  std::uint64_t sent_ = 0;
  std::uint64_t received_ = 0;
};

// ---------------------------------------------------------------- Pinvale

struct PinvaleSide {
  PinvaleSide()
      : key(PINVALE_VKEY_PROGRAM, kKeyArgs),
        counts(std::make_shared<ReportCounts>()),
        token(std::make_shared<CountingHidPlatform>(
            std::make_shared<SocketHidPlatform>(key.Directory()), counts)) {
    token.SetTransport(kTransportUsbHid);
    connected = key.Ready() && token.EnumerateDevices() > 0 &&
                token.SelectDevice(kMakerVendorId, kMakerProductIds[0]) == 1;
  }

  // Runs `op` timed and counted; `prepare` untimed and uncounted.
  template <typename Prepare, typename Op>
  void Loop(benchmark::State& state, Prepare prepare, Op op) {
    if (!connected) {
      state.SkipWithError("pinvale-vkey did not start");
      return;
    }
    ReportTally tally;
    for (auto _ : state) {
      state.PauseTiming();
      prepare();
      const std::uint64_t sent = counts->sent;
      const std::uint64_t received = counts->received;
      state.ResumeTiming();
      if (!op()) {
        state.SkipWithError("the operation failed");
        break;
      }
      tally.Add(sent, received, *counts);
    }
    tally.Publish(state);
  }

  VkeyProcess key;
  std::shared_ptr<ReportCounts> counts;
  CFidoToken token;
  bool connected = false;
};

void BM_Pinvale_GetInfo(benchmark::State& state) {
  PinvaleSide side;
  side.Loop(
      state, [] {},
      [&] {
        TokenInfo info;
        return GetInfo(side.token, info) == 0;
      });
}

void BM_Pinvale_SetPin(benchmark::State& state) {
  PinvaleSide side;
  side.Loop(
      state, [&] { SendReset(side.token); },
      [&] { return SendSetPin(side.token, kPinA).code == 0; });
}

void BM_Pinvale_ChangePin(benchmark::State& state) {
  PinvaleSide side;
  SendSetPin(side.token, kPinA);
  bool atA = true;
  side.Loop(
      state, [] {},
      [&] {
        const bool ok =
            SendChangePin(side.token, atA ? kPinA : kPinB, atA ? kPinB : kPinA).code == 0;
        atA = !atA;
        return ok;
      });
}

void BM_Pinvale_GetPinToken(benchmark::State& state) {
  PinvaleSide side;
  SendSetPin(side.token, kPinA);
  side.Loop(
      state, [] {},
      [&] {
        const PinTokenResult result = ObtainPinToken(side.token, kPinA);
        return result.code == 0 && result.tokenPresent;
      });
}

// ---------------------------------------------------------------- libfido2

struct Fido2Side {
  Fido2Side() : key(PINVALE_VKEY_PROGRAM, kKeyArgs) {
    fido_init(0);
    dev = fido_dev_new();
    if (dev == nullptr || !key.Ready()) return;
    fido_dev_set_io_functions(dev, &Fido2SocketIo());
    connected = fido_dev_open(dev, key.SocketPath().c_str()) == FIDO_OK;
  }
  ~Fido2Side() {
    if (connected) fido_dev_close(dev);
    fido_dev_free(&dev);
  }
  Fido2Side(const Fido2Side&) = delete;
  Fido2Side& operator=(const Fido2Side&) = delete;

  template <typename Prepare, typename Op>
  void Loop(benchmark::State& state, Prepare prepare, Op op) {
    if (!connected) {
      state.SkipWithError("libfido2 could not open the virtual key");
      return;
    }
    ReportTally tally;
    for (auto _ : state) {
      state.PauseTiming();
      prepare();
      const std::uint64_t sent = Fido2Counts().sent;
      const std::uint64_t received = Fido2Counts().received;
      state.ResumeTiming();
      if (!op()) {
        state.SkipWithError("the operation failed");
        break;
      }
      tally.Add(sent, received, Fido2Counts());
    }
    tally.Publish(state);
  }

  VkeyProcess key;
  fido_dev_t* dev = nullptr;
  bool connected = false;
};

void BM_Fido2_GetInfo(benchmark::State& state) {
  Fido2Side side;
  side.Loop(
      state, [] {},
      [&] {
        fido_cbor_info_t* info = fido_cbor_info_new();
        const bool ok = fido_dev_get_cbor_info(side.dev, info) == FIDO_OK;
        fido_cbor_info_free(&info);
        return ok;
      });
}

void BM_Fido2_SetPin(benchmark::State& state) {
  Fido2Side side;
  side.Loop(
      state, [&] { fido_dev_reset(side.dev); },
      [&] { return fido_dev_set_pin(side.dev, "123456", nullptr) == FIDO_OK; });
}

void BM_Fido2_ChangePin(benchmark::State& state) {
  Fido2Side side;
  fido_dev_set_pin(side.dev, "123456", nullptr);
  bool atA = true;
  side.Loop(
      state, [] {},
      [&] {
        const bool ok = fido_dev_set_pin(side.dev, atA ? "654321" : "123456",
                                         atA ? "123456" : "654321") == FIDO_OK;
        atA = !atA;
        return ok;
      });
}

// libfido2 has no call that only asks for a PIN token; reading the credential
// metadata asks for one (getKeyAgreement, getPINToken) and then sends one
// credential-management request, which this key refuses in a single packet.
void BM_Fido2_GetPinTokenPlusRefusedCredMgmt(benchmark::State& state) {
  Fido2Side side;
  fido_dev_set_pin(side.dev, "123456", nullptr);
  side.Loop(
      state, [] {},
      [&] {
        fido_credman_metadata_t* metadata = fido_credman_metadata_new();
        const int r = fido_credman_get_dev_metadata(side.dev, metadata, "123456");
        fido_credman_metadata_free(&metadata);
        // The token step succeeded when the failure is the key refusing the command.
        return r == FIDO_ERR_INVALID_COMMAND || r == FIDO_OK;
      });
}

BENCHMARK(BM_Pinvale_GetInfo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fido2_GetInfo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pinvale_SetPin)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_Fido2_SetPin)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_Pinvale_ChangePin)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fido2_ChangePin)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pinvale_GetPinToken)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fido2_GetPinTokenPlusRefusedCredMgmt)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pinvale::bench

BENCHMARK_MAIN();
