#pragma once

// pinvale-vkey --emulate-hidraw: the virtual key as an emulated hidraw device
// (umockdev) for one command, which runs inside the emulation.

#include "vkey_options.h"

namespace pinvale::vkey {

// Runs options.command with the key plugged in and returns its exit code (1 when
// the emulation cannot be set up, 2 when the --state file is refused, 127 when the command cannot
// be started). May restart the program with umockdev's preload library first.
int RunEmulatedHidraw(VkeyOptions& options, char** argv);

}  // namespace pinvale::vkey
