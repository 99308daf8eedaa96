#include "skin_fuzz_backend.h"

#include "embedded_skin.h"
#include "ui/ui_testing.h"

namespace pinvale::fuzz {

bool InitSkinBackend() {
  static const bool ready =
      ui::testing::InitHeadless() && ui::testing::UseSkinArchive(EmbeddedSkinArchive());
  return ready;
}

}  // namespace pinvale::fuzz
