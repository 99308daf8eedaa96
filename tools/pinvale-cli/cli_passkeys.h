#pragma once

// pinvale-cli passkeys list | delete ID | update ID [--name N] [--display-name D].

#include "cli_shared.h"

namespace pinvale::cli {

int Passkeys(Console& console, const Options& options, Key& key);

}  // namespace pinvale::cli
