#pragma once

// The virtual security key: a software CTAP 2.0 or 2.1 authenticator behind CTAPHID.
//
// A host talks to it through a VirtualKeyLink, one per connection (the in-process
// HID device has one, each socket client of pinvale-vkey has its own). Every link has
// its own channels and its own queue of outgoing packets; the PIN state, the
// key-agreement key and the user's touch belong to the key and are shared.
//
// Packets are the raw 64 bytes of CTAPHID, no report id. Every call is thread-safe.
// A timer thread sends the keepalives while the key waits for a touch or (as a slow
// key) processes, answers message time-outs and performs the automatic touch.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "vkey/ctaphid_constants.h"
#include "vkey/sensor_input.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

class CtapAuthenticator;
struct StoredCredential;
struct CtapReply;
class RandomSource;
class VirtualKey;
struct LinkState;

using Packet = std::array<std::uint8_t, kPacketSize>;

// One CTAP2 request as the key received it.
struct CtapRequestRecord {
  std::uint8_t command = 0;
  int subCommand = -1;             // the clientPIN or credentialManagement subcommand, else -1
  std::vector<std::uint8_t> cbor;  // the parameters after the command byte
};

struct VirtualKeyCounters {
  std::uint64_t reportsReceived = 0;
  std::uint64_t reportsSent = 0;
  std::uint64_t messagesReceived = 0;  // complete CTAPHID messages
  std::uint64_t cborRequests = 0;
  std::uint64_t keepalivesSent = 0;
  std::uint64_t powerCycles = 0;
};

struct VirtualKeyStatus {
  bool plugged = false;
  bool pinSet = false;
  std::uint32_t retries = 0;
  std::uint32_t consecutiveFailures = 0;  // wrong PINs in a row this power cycle
  bool forcePinChange = false;            // a 2.1 key waiting for a new PIN
  bool waitingForTouch = false;           // any wait for the user, the sensor's included
  bool waitingForFinger = false;          // the sensor waits for a sample or a finger to match
  std::size_t passkeys = 0;
  std::size_t fingerprints = 0;
};

enum class WaitResult { kPacket, kTimeout, kClosed };

// One host connection.
class VirtualKeyLink {
 public:
  VirtualKeyLink(std::shared_ptr<VirtualKey> key, std::shared_ptr<LinkState> state);
  ~VirtualKeyLink();  // closes the connection
  VirtualKeyLink(const VirtualKeyLink&) = delete;
  VirtualKeyLink& operator=(const VirtualKeyLink&) = delete;

  // One packet from the host. False when the link is closed (key pulled out),
  // also when this very packet made the key pull itself out (the pull-out fault).
  bool ReceivePacket(const std::uint8_t packet[kPacketSize]);
  // Waits up to timeoutMs (negative: forever) for the next packet to the host.
  WaitResult WaitPacket(std::uint8_t packet[kPacketSize], int timeoutMs);
  // Drops the packets queued for the host.
  void Drain();
  bool IsOpen() const;
  void Close();

 private:
  std::shared_ptr<VirtualKey> key_;
  std::shared_ptr<LinkState> state_;
};

class VirtualKey : public std::enable_shared_from_this<VirtualKey> {
 public:
  // The key starts plugged in and powered up.
  static std::shared_ptr<VirtualKey> Create(VirtualKeyConfig config);
  explicit VirtualKey(VirtualKeyConfig config);
  ~VirtualKey();
  VirtualKey(const VirtualKey&) = delete;
  VirtualKey& operator=(const VirtualKey&) = delete;

  const VirtualKeyConfig& Config() const { return config_; }

  // A new connection; null while the key is unplugged.
  std::unique_ptr<VirtualKeyLink> Connect();

  // Pull-out: every link closes, a waiting request is dropped, the state is kept.
  void Unplug();
  // Plug-in, a power cycle: clears the wrong-PINs-in-a-row counter, makes a fresh
  // key-agreement key and PIN token and restarts the reset window. Plugging a key
  // that is plugged in pulls it out first.
  void Plug();
  bool IsPlugged() const;

  // The user touches the key. Counts only while a request waits for it. On a key
  // with a sensor it is also a good sample and an enrolled finger.
  void Touch();
  // What the fingerprint sensor reads: a bad sample, a finger that is not enrolled, or
  // no finger. It applies to the sensor's wait now, or is queued for the next ones
  // when the sensor does not wait (a wait for a mere touch leaves the queue alone).
  // Queued inputs come before the automatic touch.
  void Sensor(const SensorInput& input);
  // Puts a passkey straight into the store, as a makeCredential with rk would (a zero
  // private key gets a random one). False when the store is full.
  bool StorePasskey(const StoredCredential& credential);

  // Runs the timers that are due now: message time-outs, keepalives, the automatic
  // touch, the end of a wait for the user or of a slow key's processing. The timer
  // thread does this by itself; a key made without one does it only here.
  void RunDueTimers();

  // Called with the new state whenever the key is plugged in or pulled out, by a
  // call above or by the pull-out fault; never with the key's lock held.
  using PlugListener = std::function<void(bool plugged)>;
  void SetPlugListener(PlugListener listener);

  VirtualKeyStatus Status() const;
  VirtualKeyCounters Counters() const;
  // The last CTAP2 requests, oldest first (at most kRequestLogSize).
  std::vector<CtapRequestRecord> RecentRequests() const;
  void ClearRecentRequests();
  static constexpr std::size_t kRequestLogSize = 64;

  // Links call these.
  bool ReceiveFrom(const std::shared_ptr<LinkState>& link, const std::uint8_t* packet);
  WaitResult WaitFor(const std::shared_ptr<LinkState>& link, std::uint8_t* packet, int timeoutMs);
  void DrainLink(const std::shared_ptr<LinkState>& link);
  bool LinkOpen(const std::shared_ptr<LinkState>& link) const;
  void CloseLink(const std::shared_ptr<LinkState>& link);

 private:
  friend struct VirtualKeyTestAccess;  // tests/vkey: fills the store without makeCredential
  using Clock = std::chrono::steady_clock;
  struct PendingRequest;

  // Everything below runs with mu_ held.
  void PowerUpLocked();
  // Tells config_.stateListener the state when it changed since the last time.
  void PersistStateLocked();
  void PullOutLocked();
  void NotifyPlug(bool plugged);
  void CloseLinkLocked(LinkState& link);
  void HandlePacketLocked(const std::shared_ptr<LinkState>& link, const std::uint8_t* packet);
  void HandleInitPacketLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                              const std::uint8_t* packet);
  void HandleContPacketLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                              const std::uint8_t* packet);
  void DispatchLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid, std::uint8_t cmd,
                      std::vector<std::uint8_t> payload);
  void HandleInitCommandLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                               const std::vector<std::uint8_t>& payload);
  void HandleCborLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                        std::vector<std::uint8_t> payload);
  void HandleCancelLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid);
  void HandleLockLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                        const std::vector<std::uint8_t>& payload);
  bool LockedOutLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid) const;
  void StartResetLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid);
  void WaitForTouchLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid, int command,
                          std::uint8_t touchedStatus, std::uint8_t timeoutStatus);
  void WaitForUserLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid, int command,
                         int subCommand, const CtapReply& reply);
  void StartUserWaitLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid, int command,
                           int timeoutMs);
  void FinishTouchLocked(bool touched);
  // The automatic touch: a touch, or the enrolment's bad first sample.
  void AutomaticTouchLocked();
  void FinishUserWaitLocked(const SensorInput& input);
  void DropPendingLocked();
  void AnswerCborLocked(const std::shared_ptr<LinkState>& link, std::uint32_t cid,
                        std::vector<std::uint8_t> answer, int command, int subCommand);
  void LogRequestLocked(const std::vector<std::uint8_t>& payload);
  bool ChannelKnownLocked(const LinkState& link, std::uint32_t cid) const;

  // Outgoing packets; the faults sit between the key and the host here.
  void SendErrorLocked(LinkState& link, std::uint32_t cid, std::uint8_t error);
  void SendKeepaliveLocked(LinkState& link, std::uint32_t cid, std::uint8_t status);
  void SendMessageLocked(LinkState& link, std::uint32_t cid, std::uint8_t cmd,
                         const std::vector<std::uint8_t>& payload, int ctapCommand, int subCommand);
  // With `strayBetween`, another program's continuation packet goes out between
  // each two packets of the message (the stray fault).
  void SendFramesLocked(LinkState& link, std::uint32_t cid, std::uint8_t cmd,
                        const std::vector<std::uint8_t>& payload, bool strayBetween = false);
  void SendStraysLocked(LinkState& link, std::uint32_t cid, std::uint32_t count);
  void NewStrayChannelLocked(std::uint32_t cid);
  void PushLocked(LinkState& link, const Packet& packet);
  const VirtualKeyFault* FindFault(FaultKind kind, int ctapCommand, int subCommand) const;

  void TimerLoop();
  void RunTimersLocked(Clock::time_point now);
  std::chrono::steady_clock::time_point NextDeadlineLocked() const;

  VirtualKeyConfig config_;
  mutable std::mutex mu_;
  std::condition_variable timerCv_;
  bool stopping_ = false;

  std::unique_ptr<RandomSource> random_;
  std::unique_ptr<CtapAuthenticator> ctap_;

  bool plugged_ = false;
  Clock::time_point powerUpAt_;
  std::uint64_t packetsSincePowerUp_ = 0;
  std::uint32_t nextChannel_ = 2;
  // The channel of the other program the stray fault plays; 0 until the first stray.
  std::uint32_t strayChannel_ = 0;
  std::vector<std::shared_ptr<LinkState>> links_;
  std::unique_ptr<PendingRequest> pending_;
  std::deque<SensorInput> sensorQueue_;
  std::uint32_t forcedAnswers_ = 0;  // requests answered by a forced status with a count
  // The enrolment that had its automatic bad sample (automaticBadFirstSample).
  std::vector<std::uint8_t> badSampleTemplate_;

  // CTAPHID_LOCK: one channel of one link has the key to itself until lockUntil_.
  std::shared_ptr<LinkState> lockLink_;
  std::uint32_t lockCid_ = 0;
  Clock::time_point lockUntil_;

  std::mutex listenerMutex_;  // taken without mu_ held
  PlugListener plugListener_;
  bool pulledOutByFault_ = false;

  using StateChecksum = std::array<std::uint8_t, 32>;
  std::optional<StateChecksum> lastStateChecksum_;  // of the state last told

  VirtualKeyCounters counters_;
  std::deque<CtapRequestRecord> requestLog_;

  std::thread timer_;  // last: it starts after everything else is built
};

}  // namespace pinvale::vkey
