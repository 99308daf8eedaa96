#pragma once

// pinvale-vkey --state FILE: the key's state kept in a file across runs. Every change
// is written to FILE.tmp in the same directory, synced, renamed over FILE and the
// directory synced, so a crash or a pulled plug leaves the old state or the new one,
// never half of one. The file is made owner-only (0600) whatever the umask.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "vkey/key_state.h"
#include "vkey/key_state_codec.h"
#include "vkey_options.h"

namespace pinvale::vkey {

class StateFile {
 public:
  explicit StateFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  enum class ReadResult { kMissing, kLoaded, kRefused };
  // kMissing: no file, a factory-fresh key. kLoaded: `state` is the file's. kRefused:
  // `why` says what is wrong ("not a virtual key state file", "damaged (checksum)",
  // "cannot read: Permission denied"); the file is never written then.
  ReadResult Read(const VirtualKeyConfig& config, KeyState& state, std::string& why);

  // Writes the encoded state unless it is what the file holds already. False with
  // `why` when it could not.
  bool Write(const std::uint8_t* data, std::size_t length, std::string& why);

  // The key's state listener: writes, and reports a failure on standard error once
  // the key runs; before, it is kept for StateFileWritten.
  void Keep(const std::uint8_t* data, std::size_t length);
  // The key runs: false with `why` when the write at its start failed.
  bool Run(std::string& why);

 private:
  std::string path_;
  StateBytes held_;  // what the file holds, as read or last written
  bool running_ = false;
  std::string startError_;
};

// Sets up options.config for --state before the key is made: the state the file
// holds, and the listener that writes each change. A write that fails is reported on
// standard error and the key goes on in memory; the next change tries again. Returns
// false, the reason printed, when the file is refused: the caller exits with 2.
bool OpenStateFile(VkeyOptions& options, std::shared_ptr<StateFile>& file);

// After the key is made: false, the reason printed, when its first write failed (a
// fresh key is written at once, so a path that cannot be written is found at the
// start): the caller exits with 2. True without --state.
bool StateFileWritten(const std::shared_ptr<StateFile>& file);

}  // namespace pinvale::vkey
