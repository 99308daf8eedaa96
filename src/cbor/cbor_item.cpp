#include "cbor/cbor_item.h"

#include <cstring>

#include "cbor/cbor_walk.h"

namespace pinvale {

namespace {

// Whether the definite string content of `head` lies inside a view of `length` bytes.
bool contentFits(const CborHead& head, uint32_t length) {
  return isWellFormed(head) && !isIndefinite(head) && head.argument <= length - head.headLength;
}

}  // namespace

bool CborItem::getUnsigned(uint32_t& out) const {
  const CborHead h = head();
  if (!isWellFormed(h) || h.majorType != 0) return false;
  out = h.argument;
  return true;
}

bool CborItem::getInt(int32_t& out) const {
  const CborHead h = head();
  if (!isWellFormed(h) || h.majorType > 1 || h.argument > 0x7FFFFFFFu) return false;
  const int32_t magnitude = static_cast<int32_t>(h.argument);
  out = h.majorType == 0 ? magnitude : -1 - magnitude;
  return true;
}

bool CborItem::getBytes(const uint8_t*& out, uint32_t& outLength) const {
  const CborHead h = head();
  if (h.majorType != 2 || !contentFits(h, length_)) return false;
  out = data_ + h.headLength;
  outLength = h.argument;
  return true;
}

bool CborItem::getText(const char*& out, uint32_t& outLength) const {
  const CborHead h = head();
  if (h.majorType != 3 || !contentFits(h, length_)) return false;
  out = reinterpret_cast<const char*>(data_ + h.headLength);
  outLength = h.argument;
  return true;
}

uint8_t CborItem::simpleValue() const {
  return head().additionalInfo;
}

template <typename KeyTest>
CborItem CborItem::findValue(KeyTest matches) const {
  const CborHead map = head();
  if (!isWellFormed(map) || map.majorType != 5) return {};
  const bool indefinite = isIndefinite(map);
  if (!indefinite && map.argument == 0) return {};

  CborOpenContainers open;
  uint32_t offset = map.headLength;
  // Counted in 64 bits so that 2^32-1 pairs cannot wrap; running out of bytes ends
  // the walk long before a hostile count would.
  uint64_t pairsLeft = map.argument;
  while (offset < length_ && (indefinite || pairsLeft-- > 0)) {
    const CborHead key = decodeHead(data_ + offset, length_ - offset);
    if (isBreak(key)) return {};  // end of an indefinite map, or a stray break
    if (isWellFormed(key) &&
        matches(key, data_ + offset + key.headLength, length_ - offset - key.headLength)) {
      const uint32_t valueOffset =
          offset + key.headLength + (key.majorType == 3 ? key.argument : 0);
      // A key whose value is a break has no value: the pair is malformed.
      if (isBreak(decodeHead(data_ + valueOffset, length_ - valueOffset))) return {};
      return CborItem(data_ + valueOffset, length_ - valueOffset);
    }
    if (!skipCborItem(data_, length_, offset, open)) return {};  // the key
    if (!skipCborItem(data_, length_, offset, open)) return {};  // its value
  }
  return {};
}

CborItem CborItem::mapValueByInt(int32_t key) const {
  return findValue([key](const CborHead& head, const uint8_t*, uint32_t) {
    if (head.majorType == 0) return static_cast<int64_t>(head.argument) == key;
    if (head.majorType == 1) return -1 - static_cast<int64_t>(head.argument) == key;
    return false;
  });
}

CborItem CborItem::mapValueByText(const char* text, uint32_t length) const {
  if (text == nullptr) return {};
  return findValue(
      [text, length](const CborHead& head, const uint8_t* content, uint32_t available) {
        // An indefinite text key has argument 31 and chunks for content: never compared.
        return head.majorType == 3 && !isIndefinite(head) && head.argument == length &&
               length <= available && std::memcmp(content, text, length) == 0;
      });
}

bool CborItem::nextItem(CborItem& after) const {
  if (data_ == nullptr) return false;
  CborOpenContainers open;
  uint32_t offset = 0;
  if (!skipCborItem(data_, length_, offset, open)) return false;
  after.assign(data_ + offset, length_ - offset);
  return true;
}

}  // namespace pinvale
