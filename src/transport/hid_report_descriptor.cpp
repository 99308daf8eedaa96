#include "transport/hid_report_descriptor.h"

#include <algorithm>
#include <array>

namespace pinvale {

namespace {

// Short item prefix: bits 0-1 data size code, 2-3 type, 4-7 tag.
constexpr std::uint8_t kTypeMain = 0;
constexpr std::uint8_t kTypeGlobal = 1;
constexpr std::uint8_t kTypeLocal = 2;
constexpr std::uint8_t kTagInput = 0x8;
constexpr std::uint8_t kTagOutput = 0x9;
constexpr std::uint8_t kTagCollection = 0xA;
constexpr std::uint8_t kTagEndCollection = 0xC;
constexpr std::uint8_t kTagUsagePage = 0x0;
constexpr std::uint8_t kTagUsage = 0x0;
constexpr std::uint8_t kTagReportSize = 0x7;
constexpr std::uint8_t kTagReportId = 0x8;
constexpr std::uint8_t kTagReportCount = 0x9;
constexpr std::uint8_t kTagPush = 0xA;
constexpr std::uint8_t kTagPop = 0xB;
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kMaxPushDepth = 16;

struct GlobalState {
  std::uint32_t usagePage = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint8_t reportId = 0;
};

// Bits per report id; 64-bit sums so that hostile sizes and counts cannot wrap.
using BitCounts = std::array<std::uint64_t, 256>;

std::uint16_t LongestReport(const BitCounts& bits) {
  std::uint64_t longest = 0;
  bool any = false;
  for (std::uint64_t b : bits) {
    if (b == 0) continue;
    any = true;
    longest = std::max(longest, (b + 7) / 8);
  }
  if (!any) return 0;
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(longest + 1, 0xFFFF));
}

}  // namespace

bool ParseReportDescriptor(const std::uint8_t* data, std::size_t size, ReportDescriptorInfo& info) {
  info = ReportDescriptorInfo{};
  if (!data && size > 0) return false;
  BitCounts inputBits{};
  BitCounts outputBits{};
  GlobalState state;
  std::array<GlobalState, kMaxPushDepth> stack;
  std::size_t depth = 0;
  // Collections nest; only the outermost ones name what the interface is.
  std::size_t collectionDepth = 0;
  bool inFidoCollection = false;
  bool fidoOutputSeen = false;
  // The last usage seen since the previous main item; a four-byte usage carries
  // its own page in the upper half.
  std::uint32_t usage = 0;
  std::size_t usageSize = 0;

  std::size_t pos = 0;
  while (pos < size) {
    const std::uint8_t prefix = data[pos];
    if (prefix == kLongItemPrefix) {
      if (size - pos < 3) return false;
      const std::size_t dataSize = data[pos + 1];
      if (size - pos - 3 < dataSize) return false;
      pos += 3 + dataSize;
      continue;
    }
    const std::size_t sizeCode = prefix & 0x03;
    const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
    if (size - pos - 1 < dataSize) return false;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < dataSize; ++i) {
      value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
    }
    pos += 1 + dataSize;

    const std::uint8_t type = (prefix >> 2) & 0x03;
    const std::uint8_t tag = prefix >> 4;
    if (type == kTypeMain) {
      if (tag == kTagInput || tag == kTagOutput) {
        BitCounts& bits = tag == kTagInput ? inputBits : outputBits;
        bits[state.reportId] += static_cast<std::uint64_t>(state.reportSize) * state.reportCount;
        if (tag == kTagOutput && inFidoCollection && !fidoOutputSeen) {
          fidoOutputSeen = true;
          info.fidoOutputReportId = state.reportId;
        }
      } else if (tag == kTagCollection) {
        if (collectionDepth++ == 0) {
          const std::uint32_t page = usageSize == 4 ? usage >> 16 : state.usagePage;
          inFidoCollection = page == kFidoUsagePage && (usage & 0xFFFF) == kFidoUsageCtaphid;
          info.declaresFido = info.declaresFido || inFidoCollection;
        }
      } else if (tag == kTagEndCollection && collectionDepth > 0) {
        if (--collectionDepth == 0) inFidoCollection = false;
      }
      usage = 0;
      usageSize = 0;
    } else if (type == kTypeLocal) {
      if (tag == kTagUsage) {
        usage = value;
        usageSize = dataSize;
      }
    } else if (type == kTypeGlobal) {
      switch (tag) {
        case kTagUsagePage:
          state.usagePage = value;
          break;
        case kTagReportSize:
          state.reportSize = value;
          break;
        case kTagReportCount:
          state.reportCount = value;
          break;
        case kTagReportId:
          state.reportId = static_cast<std::uint8_t>(value);
          info.usesReportIds = true;
          break;
        case kTagPush:
          if (depth == kMaxPushDepth) return false;
          stack[depth++] = state;
          break;
        case kTagPop:
          if (depth == 0) return false;
          state = stack[--depth];
          break;
        default:
          break;
      }
    }
  }
  info.inputReportLength = LongestReport(inputBits);
  info.outputReportLength = LongestReport(outputBits);
  return true;
}

}  // namespace pinvale
