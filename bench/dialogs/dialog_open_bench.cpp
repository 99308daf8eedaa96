// A window of the program from the click that opens it to its first frame: the layout
// read from the embedded skin, the native window made, laid out and drawn, then closed.
// The key's own answer times come on top; the windows read the key only once their
// first frame is shown, so no key is needed here.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "dialogs/fingerprints_wnd.h"
#include "dialogs/management_pin_wnd.h"
#include "dialogs/passkeys_wnd.h"
#include "embedded_skin.h"
#include "ui/ui_testing.h"

namespace {

using namespace pinvale;
namespace uit = ui::testing;

void Ready() {
  static const bool ready = [] {
    return uit::InitHeadless() && uit::UseSkinArchive(EmbeddedSkinArchive());
  }();
  if (!ready) std::abort();
}

void OpenAndDraw(benchmark::State& state,
                 const std::function<std::unique_ptr<ui::WindowImplBase>()>& make) {
  Ready();
  for (auto _ : state) {
    std::unique_ptr<ui::WindowImplBase> window = make();
    HWND hwnd = window->Create(nullptr, u"Pinvale", UI_WNDSTYLE_FRAME, 0);
    if (!hwnd) std::abort();
    int width = 0, height = 0;
    benchmark::DoNotOptimize(uit::RenderWindowPixels(hwnd, &width, &height));
    state.PauseTiming();
    ::DestroyWindow(hwnd);
    uit::PumpUntilIdle();
    window.reset();
    state.ResumeTiming();
  }
}

void BM_OpenManagementPin(benchmark::State& state) {
  OpenAndDraw(state, [] {
    return std::make_unique<CManagementPinWnd>(
        u"ManagementPIN.xml", nullptr, ManagementKind::kPasskeys, ManagementPrecheckResult{});
  });
}
void BM_OpenFingerprints(benchmark::State& state) {
  OpenAndDraw(state, [] {
    return std::make_unique<CFingerprintsWnd>(u"Fingerprints.xml", nullptr, nullptr);
  });
}
void BM_OpenPasskeys(benchmark::State& state) {
  OpenAndDraw(state,
              [] { return std::make_unique<CPasskeysWnd>(u"Passkeys.xml", nullptr, nullptr); });
}

BENCHMARK(BM_OpenManagementPin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFingerprints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenPasskeys)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
