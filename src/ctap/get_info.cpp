#include "ctap/get_info.h"

#include <array>
#include <string_view>

#include "cbor/cbor_item.h"

namespace pinvale {

namespace {

constexpr std::uint8_t kCommandGetInfo = 0x04;
constexpr std::int32_t kMemberOptions = 4;
constexpr std::int32_t kMemberForcePinChange = 0x0C;
constexpr std::uint8_t kSimpleFalse = 20;
constexpr std::uint8_t kSimpleTrue = 21;

// Only the boolean true counts: a false, a missing option, or any other kind of
// value reads as not set.
bool IsTrue(const CborItem& value) {
  return value.head().majorType == 7 && value.simpleValue() == kSimpleTrue;
}

bool OptionIsTrue(const CborItem& options, const char* name, std::uint32_t length) {
  return IsTrue(options.mapValueByText(name, length));
}

// An option's false says only that nothing is set up yet: the feature is there.
bool OptionPresent(const CborItem& options, std::string_view name) {
  const CborItem value =
      options.mapValueByText(name.data(), static_cast<std::uint32_t>(name.size()));
  return value.head().majorType == 7 &&
         (value.simpleValue() == kSimpleTrue || value.simpleValue() == kSimpleFalse);
}

}  // namespace

std::uint16_t GetInfo(CFidoToken& token, TokenInfo& info) {
  std::array<std::uint8_t, kReceiveBufferSize> answer{};
  std::uint32_t answerLength = kReceiveBufferSize;
  const std::uint8_t request = kCommandGetInfo;
  const std::uint16_t result = token.SendCborCommand(&request, 1, answer.data(), &answerLength);

  // After a failure the length still says 4096, but the buffer is all zero and
  // no lookup finds anything in it.
  const CborItem body(answer.data(), answerLength);
  const CborItem options = body.mapValueByInt(kMemberOptions);
  if (OptionIsTrue(options, "clientPin", 9)) info.pinSet = 1;
  if (OptionIsTrue(options, "uv", 2)) info.uvSet = 1;
  if (IsTrue(body.mapValueByInt(kMemberForcePinChange))) info.forcePinChange = 1;
  if (OptionPresent(options, "bioEnroll") ||
      OptionPresent(options, "userVerificationMgmtPreview")) {
    info.managesFingerprints = 1;
  }
  if (OptionPresent(options, "credMgmt") || OptionPresent(options, "credentialMgmtPreview")) {
    info.managesPasskeys = 1;
  }
  return result;
}

}  // namespace pinvale
