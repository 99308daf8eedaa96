#pragma once

// The graphics the skin targets draw with: the real SDL backend on its dummy video
// driver, with the skin's pictures loaded from the embedded archive.

namespace pinvale::fuzz {

// Sets the backend up once per process; false when SDL could not start.
bool InitSkinBackend();

}  // namespace pinvale::fuzz
