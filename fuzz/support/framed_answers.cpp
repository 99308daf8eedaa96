#include "framed_answers.h"

#include <algorithm>
#include <array>

namespace pinvale::fuzz {

namespace {

constexpr std::size_t kReport = 65;  // report id 0, then 64 bytes
constexpr std::size_t kInitPayload = 57;
constexpr std::size_t kContPayload = 59;
constexpr std::uint32_t kMaxLength = 4097;  // one more than the exchange takes

using Report = std::array<std::uint8_t, kReport>;

void Put(std::vector<std::uint8_t>& script, const Report& report) {
  script.push_back(static_cast<std::uint8_t>(kReport));
  script.insert(script.end(), report.begin(), report.end());
}

Report Header(std::uint32_t channel, std::uint8_t command) {
  Report r{};
  r[1] = static_cast<std::uint8_t>(channel >> 24);
  r[2] = static_cast<std::uint8_t>(channel >> 16);
  r[3] = static_cast<std::uint8_t>(channel >> 8);
  r[4] = static_cast<std::uint8_t>(channel);
  r[5] = command;
  return r;
}

}  // namespace

std::vector<std::uint8_t> FrameAnswers(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> script{0};
  std::size_t pos = 0;
  while (pos + 3 <= size) {
    const std::uint8_t flags = data[pos];
    const std::uint32_t length = std::min<std::uint32_t>(
        static_cast<std::uint32_t>(data[pos + 1] << 8 | data[pos + 2]), kMaxLength);
    pos += 3;
    const std::size_t available = std::min<std::size_t>(length, size - pos);
    const std::uint8_t* body = data + pos;
    pos += available;

    // The INIT answer: nonce, channel 1, protocol 2, capabilities CBOR.
    Report init = Header(0xFFFFFFFF, 0x86);
    init[7] = 17;
    std::fill_n(init.begin() + 8, 8, 0x01);
    init[19] = 0x01;
    init[20] = 2;
    init[24] = 0x04;
    Put(script, init);

    if (flags & 1) {
      Report keepalive = Header(1, 0xBB);
      keepalive[7] = 1;
      keepalive[8] = 2;
      Put(script, keepalive);
    }
    if (flags & 2) {
      script.push_back(0xFF);
      continue;
    }
    // The length field tells the whole length even when the input ran short; the
    // missing bytes read as zero.
    Report first = Header(1, 0x90);
    first[6] = static_cast<std::uint8_t>(length >> 8);
    first[7] = static_cast<std::uint8_t>(length);
    std::size_t sent = std::min<std::size_t>(available, kInitPayload);
    std::copy_n(body, sent, first.begin() + 8);
    Put(script, first);
    std::size_t framed = std::min<std::size_t>(length, kInitPayload);
    for (std::uint8_t seq = 0; framed < length; ++seq) {
      if ((flags & 4) && framed + kContPayload >= length) break;
      Report next = Header(1, seq & 0x7F);
      const std::size_t take = available > sent ? std::min(available - sent, kContPayload) : 0;
      std::copy_n(body + sent, take, next.begin() + 6);
      sent += take;
      framed += kContPayload;
      Put(script, next);
    }
  }
  return script;
}

}  // namespace pinvale::fuzz
