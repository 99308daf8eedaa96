// A full enumeration of a key at capacity (25 passkeys), the way a manager reads it
// when it opens its passkey list: getCredsMetadata, every site, every site's passkeys.
// Through the virtual key's CTAPHID link in process, so the figure is the key's own
// work plus its framing. The argument is how many sites the passkeys are spread over.

#include <benchmark/benchmark.h>

#include <string>

#include "cbor/cbor_item.h"
#include "credential_manager_host.h"
#include "vkey/credential_management_request.h"
#include "vkey/ctap_status.h"

namespace pinvale::vkey::test {
namespace {

constexpr int kCapacity = 25;
const std::string kPin = "123456";

std::uint32_t Total(const Bytes& answer, int member) {
  std::uint32_t value = 0;
  if (answer.size() < 2 || answer[0] != kStatusOk) return 0;
  CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
      .mapValueByInt(member)
      .getUnsigned(value);
  return value;
}

std::string RpIdOf(const Bytes& answer) {
  const char* text = nullptr;
  std::uint32_t length = 0;
  CborItem(answer.data() + 1, static_cast<std::uint32_t>(answer.size() - 1))
      .mapValueByInt(3)
      .mapValueByText("id", 2)
      .getText(text, length);
  return text ? std::string(text, length) : std::string();
}

void BM_FullEnumerationAtCapacity(benchmark::State& state) {
  const int sites = static_cast<int>(state.range(0));
  VirtualKeyConfig config = FastConfig();
  config.profile = CtapProfile::kCtap21;
  config.initialPin = kPin;
  config.capacity = kCapacity;
  auto key = VirtualKey::Create(config);
  for (int i = 0; i < kCapacity; ++i) {
    const std::string n = std::to_string(i + 1);
    std::string rpId = "site";
    rpId += std::to_string(i % sites);
    rpId += ".example";
    std::string userName = "user";
    userName += n;
    userName += "@example.com";
    std::string displayName = "User Number ";
    displayName += n;
    VirtualKeyTestAccess::StorePasskey(*key, Passkey(rpId, static_cast<std::uint8_t>(i + 1),
                                                     userName, displayName, "Example Site"));
  }
  CredentialManagerHost m(key, kCtapCredentialManagement);
  if (m.Login(kPin) != kStatusOk) {
    state.SkipWithError("no token");
    return;
  }
  std::uint64_t requests = 0;
  std::uint64_t passkeys = 0;
  for (auto _ : state) {
    const Bytes metadata = m.Call(kCredMgmtGetCredsMetadata);
    Bytes rp = m.Call(kCredMgmtEnumerateRpsBegin);
    const std::uint32_t rpCount = Total(rp, 5);
    requests += 2;
    std::vector<std::string> rpIds;
    for (std::uint32_t i = 0; i < rpCount; ++i) {
      if (i > 0) {
        rp = m.Next(kCredMgmtEnumerateRpsGetNextRp);
        ++requests;
      }
      rpIds.push_back(RpIdOf(rp));
    }
    for (const std::string& rpId : rpIds) {
      Bytes credential = m.Call(kCredMgmtEnumerateCredentialsBegin, RpIdHashParams(rpId));
      const std::uint32_t count = Total(credential, 9);
      ++requests;
      for (std::uint32_t i = 1; i < count; ++i) {
        credential = m.Next(kCredMgmtEnumerateCredentialsGetNext);
        ++requests;
      }
      passkeys += count;
    }
    benchmark::DoNotOptimize(metadata);
  }
  if (passkeys != static_cast<std::uint64_t>(kCapacity) * state.iterations()) {
    state.SkipWithError("the enumeration did not list every passkey");
  }
  state.counters["requests"] =
      benchmark::Counter(static_cast<double>(requests), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_FullEnumerationAtCapacity)
    ->ArgName("sites")
    ->Arg(1)
    ->Arg(5)
    ->Arg(25)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pinvale::vkey::test

BENCHMARK_MAIN();
