#include "skin_fuzz_backend.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "embedded_skin.h"
#include "ui/message_hub.h"
#include "ui/native_window.h"
#include "ui/paint_manager.h"

namespace pinvale::fuzz {

namespace {

using namespace pinvale::ui;

class BoundedFontBackend : public IUiBackend {
 public:
  explicit BoundedFontBackend(std::unique_ptr<IUiBackend> real) : real_(std::move(real)) {}

  std::shared_ptr<IFont> OpenFont(const FontSpec& spec) override {
    FontSpec bounded = spec;
    bounded.family = spec.family == "Times New Roman" ? spec.family : "微软雅黑";
    bounded.size = std::clamp(spec.size, 1, 48);
    return real_->OpenFont(bounded);
  }
  std::shared_ptr<IImage> DecodeImage(std::span<const std::uint8_t> bytes,
                                      std::optional<DWORD> mask) override {
    return real_->DecodeImage(bytes, mask);
  }
  std::unique_ptr<IRenderTarget> CreateOffscreen(int width, int height) override {
    return real_->CreateOffscreen(width, height);
  }
  bool SavePng(IRenderTarget& target, const std::string& path) override {
    return real_->SavePng(target, path);
  }
  std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params) override {
    return real_->CreateNativeWindow(params);
  }
  bool PollEvent(NativeEvent& event) override { return real_->PollEvent(event); }
  void WaitEvent(int timeoutMs) override { real_->WaitEvent(timeoutMs); }
  void Wake() override { real_->Wake(); }
  std::uint64_t NowMs() const override { return real_->NowMs(); }
  RECT WorkArea() const override { return real_->WorkArea(); }

 private:
  std::unique_ptr<IUiBackend> real_;
};

}  // namespace

bool InitSkinBackend() {
  static const bool ready = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    std::unique_ptr<IUiBackend> real = CreatePlatformBackend();
    if (!real) return false;
    ui::detail::MessageHub::Get().SetUiThread();
    SetBackend(std::make_unique<BoundedFontBackend>(std::move(real)));
    return CPaintManagerUI::SetResourceZip(EmbeddedSkinArchive());
  }();
  return ready;
}

}  // namespace pinvale::fuzz
