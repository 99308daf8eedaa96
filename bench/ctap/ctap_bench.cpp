// Time and HID reports per operation against pinvale-vkey's socket: Pinvale's
// own exchange (CFidoToken, the PIN protocol) beside libfido2 driving the same
// kind of key through fido_dev_set_io_functions.
//
// Each benchmark starts its own key so the PIN state of one never leaks into
// another. Report counts cover the timed operations only.

#include <benchmark/benchmark.h>
#include <fido.h>

#include <memory>
#include <string>
#include <vector>

#include "counting_hid.h"
#include "ctap/get_info.h"
#include "ctap/pin_protocol.h"
#include "ctap/pin_session.h"
#include "ctap/reset.h"
#include "fido2_socket_io.h"
#include "transport/fido_token.h"
#include "transport/hid_socket_linux.h"
#include "transport/maker_ids.h"
#include "vkey_process.h"

namespace pinvale::bench {
namespace {

const std::vector<std::string> kKeyArgs = {"--touch-delay", "0", "--reset-window", "3600"};

// The PIN benchmarks run once per PIN/UV auth protocol: the argument is its number, and
// the key is a CTAP 2.1 key that lists that protocol alone, so libfido2 (which picks
// protocol 2 whenever it is listed) and Pinvale speak the same one. 0: the CTAP 2.0 key.
std::vector<std::string> KeyArgs(int protocol) {
  std::vector<std::string> args = kKeyArgs;
  if (protocol != 0) {
    args.insert(args.end(), {"--profile", "2.1", "--pin-protocols", std::to_string(protocol)});
  }
  return args;
}

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
  explicit PinvaleSide(int protocol = 0)
      : key(PINVALE_VKEY_PROGRAM, KeyArgs(protocol)),
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

const PinUvAuthProtocol& ProtocolOf(const benchmark::State& state) {
  return state.range(0) == 2 ? PinProtocolTwo() : PinProtocolOne();
}

void BM_Pinvale_SetPin(benchmark::State& state) {
  PinvaleSide side(static_cast<int>(state.range(0)));
  const PinUvAuthProtocol& protocol = ProtocolOf(state);
  side.Loop(
      state, [&] { SendReset(side.token); },
      [&] { return SendSetPin(side.token, protocol, kPinA).code == 0; });
}

void BM_Pinvale_ChangePin(benchmark::State& state) {
  PinvaleSide side(static_cast<int>(state.range(0)));
  const PinUvAuthProtocol& protocol = ProtocolOf(state);
  SendSetPin(side.token, protocol, kPinA);
  bool atA = true;
  side.Loop(
      state, [] {},
      [&] {
        const bool ok =
            SendChangePin(side.token, protocol, atA ? kPinA : kPinB, atA ? kPinB : kPinA).code == 0;
        atA = !atA;
        return ok;
      });
}

void BM_Pinvale_GetPinToken(benchmark::State& state) {
  PinvaleSide side(static_cast<int>(state.range(0)));
  const PinUvAuthProtocol& protocol = ProtocolOf(state);
  SendSetPin(side.token, protocol, kPinA);
  side.Loop(
      state, [] {},
      [&] {
        const PinTokenResult result = ObtainPinToken(side.token, protocol, kPinA);
        return result.code == 0 && result.tokenPresent;
      });
}

// The platform's side alone, without a key: one key agreement (a fresh P-256
// pair and ECDH with the curve's base point) and the three requests built on it.
void BM_Pinvale_BuildPinRequests(benchmark::State& state) {
  // getKeyAgreement's answer body with the curve's base point as the key's public key:
  // {1: {1: 2, 3: -25, -1: 1, -2: x, -3: y}}, written out whole.
  static const std::vector<std::uint8_t> kBasePoint = {
      0xA1, 0x01, 0xA5, 0x01, 0x02, 0x03, 0x38, 0x18, 0x20, 0x01, 0x21, 0x58, 0x20,
      // x
      0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6, 0xE5, 0x63, 0xA4, 0x40,
      0xF2, 0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0, 0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98,
      0xC2, 0x96,
      // -3: y
      0x22, 0x58, 0x20, 0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B, 0x8E, 0xE7, 0xEB, 0x4A,
      0x7C, 0x0F, 0x9E, 0x16, 0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31, 0x5E, 0xCE, 0xCB, 0xB6, 0x40,
      0x68, 0x37, 0xBF, 0x51, 0xF5};
  const PinUvAuthProtocol& protocol = ProtocolOf(state);
  for (auto _ : state) {
    PinSession session(protocol);
    PinRequestBytes set;
    PinRequestBytes change;
    PinRequestBytes token;
    const bool ok =
        session.AgreeFromAnswer(kBasePoint.data(), static_cast<std::uint32_t>(kBasePoint.size())) ==
            0 &&
        session.BuildSetPin(kPinA, set) == 0 && session.BuildChangePin(kPinA, kPinB, change) == 0 &&
        session.BuildTokenRequest(PinSubCommand::kGetPinToken, kPinA, 0, {}, token) == 0;
    if (!ok) {
      state.SkipWithError("building the requests failed");
      break;
    }
    benchmark::DoNotOptimize(token.length);
  }
}

// ---------------------------------------------------------------- libfido2

struct Fido2Side {
  explicit Fido2Side(int protocol = 0) : key(PINVALE_VKEY_PROGRAM, KeyArgs(protocol)) {
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
  Fido2Side side(static_cast<int>(state.range(0)));
  side.Loop(
      state, [&] { fido_dev_reset(side.dev); },
      [&] { return fido_dev_set_pin(side.dev, "123456", nullptr) == FIDO_OK; });
}

void BM_Fido2_ChangePin(benchmark::State& state) {
  Fido2Side side(static_cast<int>(state.range(0)));
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

// libfido2 has no call that only asks for a PIN token; an assertion with a PIN asks for
// one (getKeyAgreement, then getPINToken or a token with the ga permission) and then
// sends getAssertion with its MAC, which this key, holding no credential, answers with
// 0x2E once it has checked the MAC.
void BM_Fido2_GetPinTokenPlusAssertion(benchmark::State& state) {
  Fido2Side side(static_cast<int>(state.range(0)));
  fido_dev_set_pin(side.dev, "123456", nullptr);
  const unsigned char hash[32] = {};
  side.Loop(
      state, [] {},
      [&] {
        fido_assert_t* assert = fido_assert_new();
        fido_assert_set_rp(assert, "example.com");
        fido_assert_set_clientdata_hash(assert, hash, sizeof hash);
        const int r = fido_dev_get_assert(side.dev, assert, "123456");
        fido_assert_free(&assert);
        return r == FIDO_ERR_NO_CREDENTIALS || r == FIDO_OK;
      });
}

// Credentials on the virtual key through libfido2: a makeCredential (a key pair, the
// id sealed or the passkey stored, one signature) and a getAssertion with it (one
// signature). The argument: 0 a credential that is not stored, found by its id; 1 a
// passkey (one user, replaced each time), found without an allow list.
fido_cred_t* NewCredential(bool resident) {
  static const unsigned char kHash[32] = {1};
  static const unsigned char kUser[] = {'u', '1'};
  fido_cred_t* cred = fido_cred_new();
  fido_cred_set_type(cred, COSE_ES256);
  fido_cred_set_clientdata_hash(cred, kHash, sizeof kHash);
  fido_cred_set_rp(cred, "pinvale.example", "Pinvale");
  fido_cred_set_user(cred, kUser, sizeof kUser, "alice", "Alice", nullptr);
  if (resident) fido_cred_set_rk(cred, FIDO_OPT_TRUE);
  return cred;
}

void BM_Fido2_MakeCredential(benchmark::State& state) {
  Fido2Side side(2);
  side.Loop(
      state, [] {},
      [&] {
        fido_cred_t* cred = NewCredential(state.range(0) == 1);
        const bool ok = fido_dev_make_cred(side.dev, cred, nullptr) == FIDO_OK;
        fido_cred_free(&cred);
        return ok;
      });
}

void BM_Fido2_GetAssertion(benchmark::State& state) {
  Fido2Side side(2);
  const bool resident = state.range(0) == 1;
  fido_cred_t* cred = NewCredential(resident);
  const bool made = fido_dev_make_cred(side.dev, cred, nullptr) == FIDO_OK;
  const std::vector<unsigned char> id(fido_cred_id_ptr(cred),
                                      fido_cred_id_ptr(cred) + fido_cred_id_len(cred));
  fido_cred_free(&cred);
  const unsigned char hash[32] = {2};
  side.Loop(
      state, [] {},
      [&] {
        fido_assert_t* assert = fido_assert_new();
        fido_assert_set_rp(assert, "pinvale.example");
        fido_assert_set_clientdata_hash(assert, hash, sizeof hash);
        if (!resident) fido_assert_allow_cred(assert, id.data(), id.size());
        const bool ok = made && fido_dev_get_assert(side.dev, assert, nullptr) == FIDO_OK &&
                        fido_assert_count(assert) == 1;
        fido_assert_free(&assert);
        return ok;
      });
}

BENCHMARK(BM_Pinvale_GetInfo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fido2_GetInfo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pinvale_SetPin)->Unit(benchmark::kMicrosecond)->Iterations(50)->Arg(1)->Arg(2);
BENCHMARK(BM_Fido2_SetPin)->Unit(benchmark::kMicrosecond)->Iterations(50)->Arg(1)->Arg(2);
BENCHMARK(BM_Pinvale_ChangePin)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);
BENCHMARK(BM_Fido2_ChangePin)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);
BENCHMARK(BM_Pinvale_GetPinToken)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);
BENCHMARK(BM_Fido2_GetPinTokenPlusAssertion)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);
BENCHMARK(BM_Fido2_MakeCredential)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);
BENCHMARK(BM_Fido2_GetAssertion)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);
BENCHMARK(BM_Pinvale_BuildPinRequests)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

}  // namespace
}  // namespace pinvale::bench

BENCHMARK_MAIN();
