#pragma once

// CTAPHID framing constants, as a FIDO2 USB key uses them.

#include <cstddef>
#include <cstdint>

namespace pinvale::vkey {

constexpr std::size_t kPacketSize = 64;
constexpr std::size_t kInitPayload = kPacketSize - 7;  // 57
constexpr std::size_t kContPayload = kPacketSize - 5;  // 59
// The largest message 128 continuation packets can carry.
constexpr std::size_t kMaxMessageSize = kInitPayload + 128 * kContPayload;  // 7609

constexpr std::uint32_t kBroadcastChannel = 0xFFFFFFFF;
// The maker's keys also take every message on this channel once an INIT was seen.
constexpr std::uint32_t kMakerChannel = 0x00000001;

// Command numbers without the initialisation bit 0x80.
constexpr std::uint8_t kCmdPing = 0x01;
constexpr std::uint8_t kCmdMsg = 0x03;
constexpr std::uint8_t kCmdLock = 0x04;
constexpr std::uint8_t kCmdInit = 0x06;
constexpr std::uint8_t kCmdWink = 0x08;
constexpr std::uint8_t kCmdCbor = 0x10;
constexpr std::uint8_t kCmdCancel = 0x11;
constexpr std::uint8_t kCmdKeepalive = 0x3B;
constexpr std::uint8_t kCmdError = 0x3F;
constexpr std::uint8_t kInitBit = 0x80;

// ERROR payloads.
constexpr std::uint8_t kErrInvalidCmd = 0x01;
constexpr std::uint8_t kErrInvalidPar = 0x02;
constexpr std::uint8_t kErrInvalidLen = 0x03;
constexpr std::uint8_t kErrInvalidSeq = 0x04;
constexpr std::uint8_t kErrMsgTimeout = 0x05;
constexpr std::uint8_t kErrChannelBusy = 0x06;
constexpr std::uint8_t kErrInvalidChannel = 0x0B;

// KEEPALIVE status bytes.
constexpr std::uint8_t kKeepaliveProcessing = 1;
constexpr std::uint8_t kKeepaliveUpNeeded = 2;

// INIT answer: protocol version, device version (major, minor, build), capabilities.
constexpr std::uint8_t kProtocolVersion = 2;
constexpr std::uint8_t kDeviceVersion[3] = {1, 1, 0};
constexpr std::uint8_t kCapabilityWink = 0x01;
constexpr std::uint8_t kCapabilityCbor = 0x04;
constexpr std::uint8_t kCapabilityNmsg = 0x08;

}  // namespace pinvale::vkey
