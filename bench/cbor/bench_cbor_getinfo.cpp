// Reading "clientPin" and "uv" from a typical key's getInfo answer: our views walk the
// received bytes in place, libcbor decodes them into a tree first.
#include <benchmark/benchmark.h>
#include <cbor.h>

#include <cstring>
#include <vector>

#include "cbor/cbor_item.h"
#include "cbor/cbor_writer.h"

namespace {

using pinvale::CborItem;
using pinvale::CborWriter;

// versions, extensions, aaguid, options (five entries), maxMsgSize, pinProtocols.
std::vector<uint8_t> typicalGetInfo() {
  static const uint8_t aaguid[16] = {0x3f, 0x8c, 0x2d, 0x71, 0x10, 0x20, 0x30, 0x40,
                                     0x50, 0x60, 0x70, 0x80, 0x90, 0xa0, 0xb0, 0xc0};
  std::vector<uint8_t> buffer(256);
  CborWriter w(buffer.data(), static_cast<uint32_t>(buffer.size()));
  w.beginMap(6);
  w.putInt(1).beginArray(1).putText("FIDO_2_0", 8);
  w.putInt(2).beginArray(1).putText("hmac-secret", 11);
  w.putInt(3).putBytes(aaguid, sizeof aaguid);
  w.putInt(4).beginMap(5);
  w.putText("rk", 2).putBool(true);
  w.putText("up", 2).putBool(true);
  w.putText("uv", 2).putBool(false);
  w.putText("plat", 4).putBool(false);
  w.putText("clientPin", 9).putBool(true);
  w.putInt(5).putInt(1200);
  w.putInt(6).beginArray(1).putInt(1);
  buffer.resize(w.length());
  return buffer;
}

void BM_CborItem(benchmark::State& state) {
  const std::vector<uint8_t> answer = typicalGetInfo();
  for (auto _ : state) {
    benchmark::DoNotOptimize(answer.data());
    const CborItem options =
        CborItem(answer.data(), static_cast<uint32_t>(answer.size())).mapValueByInt(4);
    const bool pinSet = options.mapValueByText("clientPin", 9).simpleValue() == 21;
    const bool uvSet = options.mapValueByText("uv", 2).simpleValue() == 21;
    benchmark::DoNotOptimize(pinSet);
    benchmark::DoNotOptimize(uvSet);
    if (!pinSet || uvSet) state.SkipWithError("wrong answer");
  }
}
BENCHMARK(BM_CborItem);

cbor_item_t* libcborMember(cbor_item_t* map, bool (*matches)(cbor_item_t*, const void*),
                           const void* key) {
  if (map == nullptr || !cbor_isa_map(map)) return nullptr;
  cbor_pair* pairs = cbor_map_handle(map);
  for (size_t i = 0; i < cbor_map_size(map); ++i) {
    if (matches(pairs[i].key, key)) return pairs[i].value;
  }
  return nullptr;
}

bool intKey(cbor_item_t* key, const void* wanted) {
  return cbor_isa_uint(key) && cbor_get_int(key) == *static_cast<const uint64_t*>(wanted);
}

bool textKey(cbor_item_t* key, const void* wanted) {
  const char* text = static_cast<const char*>(wanted);
  const size_t length = std::strlen(text);
  return cbor_isa_string(key) && cbor_string_is_definite(key) &&
         cbor_string_length(key) == length &&
         std::memcmp(cbor_string_handle(key), text, length) == 0;
}

bool libcborOption(cbor_item_t* options, const char* name) {
  cbor_item_t* value = libcborMember(options, textKey, name);
  return value != nullptr && cbor_is_bool(value) && cbor_get_bool(value);
}

void BM_Libcbor(benchmark::State& state) {
  const std::vector<uint8_t> answer = typicalGetInfo();
  const uint64_t optionsKey = 4;
  for (auto _ : state) {
    cbor_load_result result;
    cbor_item_t* root = cbor_load(answer.data(), answer.size(), &result);
    cbor_item_t* options = libcborMember(root, intKey, &optionsKey);
    const bool pinSet = libcborOption(options, "clientPin");
    const bool uvSet = libcborOption(options, "uv");
    benchmark::DoNotOptimize(pinSet);
    benchmark::DoNotOptimize(uvSet);
    if (root != nullptr) cbor_decref(&root);
    if (!pinSet || uvSet) state.SkipWithError("wrong answer");
  }
}
BENCHMARK(BM_Libcbor);

}  // namespace

BENCHMARK_MAIN();
