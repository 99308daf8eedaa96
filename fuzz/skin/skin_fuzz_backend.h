#pragma once

// The graphics the skin targets draw with: the real SDL backend on its dummy video
// driver, with the skin's pictures loaded from the embedded archive. Fonts are the real
// fonts too, but a fuzzed layout may ask for any family at any size, and every font
// opened stays in the backend's cache for the life of the process: the family is mapped
// onto the skin's two and the size into 1..48, which keeps the cache small and each
// input fast.

namespace pinvale::fuzz {

// Sets the backend up once per process; false when SDL could not start.
bool InitSkinBackend();

}  // namespace pinvale::fuzz
