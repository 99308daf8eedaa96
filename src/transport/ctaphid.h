#pragma once

// CTAPHID framing as this program speaks it: 64-byte packets behind report id 0,
// an INIT on the broadcast channel before every message, and every message on
// channel 00 00 00 01, which the maker's keys accept after an INIT.

#include <cstddef>
#include <cstdint>

namespace pinvale::ctaphid {

constexpr std::uint32_t kBroadcastChannel = 0xFFFFFFFF;
constexpr std::uint32_t kMessageChannel = 0x00000001;

constexpr std::uint8_t kCommandInit = 0x86;
constexpr std::uint8_t kCommandCbor = 0x90;
constexpr std::uint8_t kCommandCancel = 0x91;
constexpr std::uint8_t kCommandKeepalive = 0xBB;
constexpr std::uint8_t kCommandError = 0xBF;

constexpr std::uint8_t kInitNonceByte = 0x01;
constexpr std::size_t kInitNonceLength = 8;

// Offsets within a report (report id byte first).
constexpr std::size_t kChannelOffset = 1;
constexpr std::size_t kCommandOffset = 5;  // command, or sequence number in a continuation
constexpr std::size_t kLengthOffset = 6;
constexpr std::size_t kInitPayloadOffset = 8;
constexpr std::size_t kContPayloadOffset = 6;

constexpr std::size_t kInitPayloadSize = 57;
constexpr std::size_t kContPayloadSize = 59;
constexpr std::size_t kPacketSize = 64;
constexpr std::size_t kReportSize = kPacketSize + 1;  // with the report id byte

// The longest message one initialisation packet and 128 continuation packets carry.
constexpr std::size_t kMaxMessageLength = kInitPayloadSize + 128 * kContPayloadSize;

// One report is handled in a buffer of this size; interfaces declaring longer
// reports are not listed.
constexpr std::size_t kReportBufferSize = 100;

}  // namespace pinvale::ctaphid
