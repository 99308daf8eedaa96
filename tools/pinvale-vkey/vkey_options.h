#pragma once

// pinvale-vkey's command line.

#include <string>
#include <vector>

#include "vkey/sensor_input.h"
#include "vkey/virtual_key.h"
#include "vkey/vkey_config.h"

namespace pinvale::vkey {

struct VkeyOptions {
  std::string dir;
  std::string label = "vkey";
  VirtualKeyConfig config;
  std::string statePath;  // --state FILE; empty: the key lives in memory only
  bool help = false;
  bool version = false;

  // --emulate-hidraw: the key as an emulated hidraw device for COMMAND.
  bool emulateHidraw = false;
  bool composite = false;   // a keyboard interface before the FIDO interface
  std::string controlPath;  // FIFO of key commands; empty: none
  std::vector<std::string> command;
};

// Parses argv; false with a message in `error` when it cannot.
bool ParseVkeyOptions(const std::vector<std::string>& args, VkeyOptions& options,
                      std::string& error);

// DIR/<vid>-<pid>-<label>.sock, the ids as four lower-case hex digits.
std::string SocketPathFor(const VkeyOptions& options);

extern const char kVkeyUsage[];

// The fingerprint sensor's commands of standard input and --control:
// "sample NAME" (a bad sample: too-high, too-low, ..., already-exists), "no-finger" and
// "wrong-finger". kInput sets `input` and the line that answers it in `answer`;
// kMalformed sets `answer` to what is wrong; kNone: not a sensor command.
enum class SensorCommand { kNone, kInput, kMalformed };
SensorCommand ParseSensorCommand(const std::string& command, SensorInput& input,
                                 std::string& answer);

// "status plugged=yes pin=set retries=8 wrong-in-a-row=0 waiting-for-touch=no
// force-pin-change=no"
std::string StatusLine(const VirtualKeyStatus& status);

}  // namespace pinvale::vkey
