#include "embedded_skin.h"

// Both symbols come from skin_archive.S, which includes the zip file with .incbin.
extern "C" const std::uint8_t pinvale_skin_archive_begin[];
extern "C" const std::uint8_t pinvale_skin_archive_end[];

namespace pinvale {

std::span<const std::uint8_t> EmbeddedSkinArchive() {
  return {pinvale_skin_archive_begin, pinvale_skin_archive_end};
}

}  // namespace pinvale
