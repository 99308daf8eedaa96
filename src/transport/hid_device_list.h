#pragma once

// The maker's keys found by the last enumeration, and the one selected for all
// traffic. Handles are shared between an entry and the selected slot, so the
// selected key stays open until the next selection even when a new enumeration
// has replaced the entries.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "transport/hid_platform.h"

namespace pinvale {

struct HidDeviceInfo {
  std::uint32_t vendorId = 0;
  std::uint32_t productId = 0;  // 0: no device held
  std::string path;             // the interface as the platform lists it
  std::shared_ptr<HidHandle> readHandle;
  std::shared_ptr<HidHandle> writeHandle;
};

// Set during enumeration when an interface of the maker is present but cannot be
// opened for reading or for writing. Read and cleared by the main window.
bool HidAccessFailureFlag();
void SetHidAccessFailureFlag();
void ClearHidAccessFailureFlag();

class CHidDeviceList {
 public:
  explicit CHidDeviceList(std::shared_ptr<HidPlatform> platform);
  ~CHidDeviceList();

  CHidDeviceList(const CHidDeviceList&) = delete;
  CHidDeviceList& operator=(const CHidDeviceList&) = delete;

  int Enumerate();
  int Select(std::uint32_t vendorId, std::uint32_t productId);
  void CloseAll();

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<HidDeviceInfo>& Entries() const { return entries_; }
  const HidDeviceInfo& Selected() const { return selected_; }

  // Frames `message` into CTAPHID packets on the selected entry and collects the
  // answer's payload. On entry *responseLength is the capacity of `response`; on
  // success it holds the payload length. 0 on success, -1 on any failure, an
  // answer longer than the capacity included.
  std::int32_t Transceive(const std::uint8_t* message, std::uint32_t length, std::uint8_t* response,
                          std::uint32_t* responseLength);

  // Asks the exchange under way to be cancelled: at the key's next keepalive the
  // exchange sends CTAPHID_CANCEL on its channel and goes on waiting for the
  // answer, which a key gives at once (status 0x2D, or the answer it had ready).
  // Any thread may call it, and a signal handler: it only sets a lock-free flag.
  // Every exchange clears it when it ends, so a request made while none is under
  // way applies to the next exchange only.
  void RequestCancel() { cancelRequested_.store(true); }

  // How long the key may send nothing on our channels before the exchange fails.
  // A busy key sends a keepalive at least every 100 ms, so silence this long
  // means the key has stopped answering; other programs' reports do not count.
  static constexpr int kDefaultSilenceLimitMs = 3000;
  void SetSilenceLimitMs(int ms) { silenceLimitMs_ = ms; }
  int SilenceLimitMs() const { return silenceLimitMs_; }

  // The error code logged when a read ends in silence: Windows' ERROR_TIMEOUT, so
  // the line reads the same on every platform.
  static constexpr std::uint32_t kSilenceErrorCode = 0x000005B4;

  // Waits the given milliseconds after opening the one product that needs time
  // before it answers. Tests replace it so that they do not sleep.
  using PauseFunction = std::function<void(int milliseconds)>;
  void SetPauseFunction(PauseFunction pause) { pause_ = std::move(pause); }

 private:
  std::shared_ptr<HidPlatform> platform_;
  std::vector<HidDeviceInfo> entries_;
  HidDeviceInfo selected_;
  int silenceLimitMs_ = kDefaultSilenceLimitMs;
  PauseFunction pause_;
  std::atomic<bool> cancelRequested_{false};
};

}  // namespace pinvale
