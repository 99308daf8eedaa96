#pragma once

// pinvale-cli fingerprints list | add [--name NAME] | rename ID NAME | delete ID.

#include "cli_shared.h"

namespace pinvale::cli {

int Fingerprints(Console& console, const Options& options, Key& key);

}  // namespace pinvale::cli
