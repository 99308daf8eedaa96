// A layout XML as the skin archive would hold it, built by CDialogBuilder with a window's
// paint manager, laid out at the window's own size and drawn off-screen with the real
// backend: attributes of every control, fonts, default attribute lists, images named by
// the layout, nested containers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "skin_fuzz_backend.h"
#include "ui/dialog_builder.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"

namespace {

using namespace pinvale::ui;

// Pictures are drawn into a target of at most this size; the layout may claim any size.
constexpr int kTargetWidth = 320;
constexpr int kTargetHeight = 240;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 32768 || !pinvale::fuzz::InitSkinBackend()) return 0;
  static std::unique_ptr<IRenderTarget> target =
      Backend()->CreateOffscreen(kTargetWidth, kTargetHeight);
  if (!target) std::abort();

  // The layout's Window, Font and Default elements go to a manager of their own, which
  // applies the defaults while the controls are built; the tree is then drawn by a
  // manager holding the skin's fonts. A fuzzed font table may name any family at any
  // size, and every font opened stays in the backend's cache for the life of the process.
  CPaintManagerUI parsed;
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> root = builder.CreateFromXml(
      std::string_view(reinterpret_cast<const char*>(data), size), nullptr, &parsed);
  if (!root) return 0;
  CPaintManagerUI manager;
  manager.AddFont(u"微软雅黑", 14, false, false, false, true);
  manager.AddFont(u"Times New Roman", 13, false, false, false);
  manager.AddFont(u"微软雅黑", 12, true, false, false);
  manager.AttachDialog(std::move(root));
  // The window opens at its layout's size; the drawing is cut to the target.
  const SIZE init = parsed.GetInitSize();
  manager.SetClientSize(
      SIZE{std::clamp<long>(init.cx, 0, 4096), std::clamp<long>(init.cy, 0, 4096)});
  manager.Paint(*target);
  // A second layout at another size, as after a resize.
  manager.SetClientSize(SIZE{kTargetWidth / 2, kTargetHeight / 3});
  manager.DoLayout();
  return 0;
}
