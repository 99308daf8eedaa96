// Feeds arbitrary bytes to the CBOR reader as a key's answer would arrive: heads, both
// lookups, the typed reads on what they return, and item-by-item walks. The input is
// copied into a heap block of exactly its size so that any read past the view trips
// AddressSanitizer.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cbor/cbor_item.h"

namespace {

using pinvale::CborHead;
using pinvale::CborItem;

volatile uint32_t sink;

// Touches every byte a read claims to hand out, so that an out-of-bounds answer is
// caught even when nothing else would read it.
void touch(const uint8_t* p, uint32_t n) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += p[i];
  sink = sum;
}

void readEverything(const CborItem& item) {
  const CborHead head = item.head();
  sink = head.argument + head.headLength + item.simpleValue();
  uint32_t u = 0;
  int32_t i = 0;
  if (item.getUnsigned(u)) sink = u;
  if (item.getInt(i)) sink = static_cast<uint32_t>(i);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (item.getBytes(bytes, length)) touch(bytes, length);
  const char* text = nullptr;
  if (item.getText(text, length)) touch(reinterpret_cast<const uint8_t*>(text), length);
  if (item.data() != nullptr) touch(item.data(), item.length());
}

// Walks the items of a container one after another, as the virtual key walks a request.
void walkItems(const CborItem& container) {
  const CborHead head = container.head();
  if (!pinvale::isWellFormed(head) || (head.majorType != 4 && head.majorType != 5)) return;
  CborItem item(container.data() + head.headLength, container.length() - head.headLength);
  for (uint32_t n = 0; n < 64; ++n) {
    readEverything(item);
    CborItem after;
    if (!item.nextItem(after)) break;
    if (after.data() <= item.data()) __builtin_trap();  // a walk must advance
    item = after;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // The first byte picks the keys; the rest is the answer.
  const int32_t intKey = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  const uint32_t textLength = size > 0 ? (data[0] & 0x0F) : 0;
  std::vector<uint8_t> owned(data + (size > 0 ? 1 : 0), data + size);
  const uint8_t* bytes = owned.empty() ? nullptr : owned.data();
  const uint32_t length = static_cast<uint32_t>(owned.size());
  const CborItem root(bytes, length);

  CborHead head = pinvale::decodeHead(bytes, length);
  sink = head.argument;
  readEverything(root);
  walkItems(root);

  // Text keys are drawn from the answer itself so that matches actually happen.
  const char* text = length >= textLength && bytes != nullptr
                         ? reinterpret_cast<const char*>(bytes + length - textLength)
                         : "";
  for (const CborItem& found : {root.mapValueByInt(intKey), root.mapValueByInt(4),
                                root.mapValueByText(text, length >= textLength ? textLength : 0),
                                root.mapValueByText("clientPin", 9)}) {
    readEverything(found);
    walkItems(found);
    readEverything(found.mapValueByInt(1));
    readEverything(found.mapValueByText("uv", 2));
  }
  return 0;
}
