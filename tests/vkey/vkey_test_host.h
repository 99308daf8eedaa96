#pragma once

// A small CTAPHID host for the engine tests: frames messages onto one link of a
// virtual key, puts answers back together, and speaks PIN protocol 1 on top.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vkey/pin_crypto.h"
#include "vkey/virtual_key.h"

namespace pinvale::vkey::test {

// The COSE form of a host's key-agreement public key, as clientPIN requests carry it.
std::vector<std::uint8_t> HostCoseKey(const KeyAgreementKey& key);

struct HidMessage {
  std::uint32_t cid = 0;
  std::uint8_t cmd = 0;  // without the initialisation bit
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> keepalives;  // statuses of the keepalives skipped before it
  int strays = 0;                        // packets on other channels skipped between its own
};

// A quick configuration for tests: automatic touch without delay, short timers.
VirtualKeyConfig FastConfig();

class TestHost {
 public:
  explicit TestHost(std::shared_ptr<VirtualKey> key, bool init = true);

  std::uint32_t cid() const { return cid_; }
  VirtualKeyLink& link() { return *link_; }

  // Sends INIT on the broadcast channel and adopts the channel it allocates.
  std::uint32_t Init(int timeoutMs = 2000);

  void SendPacket(const std::uint8_t* packet);
  void SendInitPacket(std::uint32_t cid, std::uint8_t cmd, std::uint16_t length,
                      const std::vector<std::uint8_t>& data);
  void SendMessage(std::uint32_t cid, std::uint8_t cmd, const std::vector<std::uint8_t>& payload);

  // The next packet as sent; false on a time-out or a closed link.
  bool ReadPacket(Packet& packet, int timeoutMs = 2000);
  // The next whole message; keepalives before it are skipped and recorded.
  bool ReadMessage(HidMessage& message, int timeoutMs = 2000);
  // True when nothing arrives within `ms`.
  bool Silent(int ms = 50);

  // A CTAP2 exchange on the host's channel: status byte then body. Empty on failure.
  std::vector<std::uint8_t> Ctap(const std::vector<std::uint8_t>& message,
                                 std::vector<std::uint8_t>* keepalives = nullptr);

  // PIN protocol 1. Each returns the CTAP status.
  std::uint8_t GetRetries(std::uint32_t& retries);
  std::uint8_t SetPin(const std::string& pin);
  std::uint8_t ChangePin(const std::string& current, const std::string& next);
  std::uint8_t GetPinToken(const std::string& pin, std::vector<std::uint8_t>* token = nullptr);
  // setPIN with a hand-made PIN block (any length) and pinAuth over it.
  std::uint8_t SetPinBlock(const std::vector<std::uint8_t>& block, bool corruptPinAuth = false);

  // The key-agreement step: fresh host key, shared secret, the COSE key to send.
  bool AgreeOnSecret(SharedSecret& secret, std::vector<std::uint8_t>& coseKey);

 private:
  std::shared_ptr<VirtualKey> key_;
  std::unique_ptr<VirtualKeyLink> link_;
  std::uint32_t cid_ = 0;
  RandomSource random_;
};

std::vector<std::uint8_t> PinBlock(const std::string& pin);

}  // namespace pinvale::vkey::test
