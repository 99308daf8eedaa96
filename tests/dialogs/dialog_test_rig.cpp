#include "dialog_test_rig.h"

#include <cstdlib>

#include "dialogs/device_absent.h"
#include "embedded_skin.h"
#include "transport/maker_ids.h"

namespace pinvale::test {

void DialogTest::SetUpTestSuite() {
  ASSERT_TRUE(uit::InitHeadless());
  ASSERT_TRUE(uit::UseSkinArchive(EmbeddedSkinArchive()));
}

void DialogTest::SetUp() {
  UseKey(KeyConfig());
}

void DialogTest::TearDown() {
  EXPECT_EQ(uit::PendingModalTasks(), 0) << "a dialog or box the test expected never opened";
  EXPECT_EQ(unexpectedBoxes_, 0);
  uit::PumpUntilIdle();
  DeviceAbsent = true;
}

void DialogTest::UseKey(vkey::VirtualKeyConfig config) {
  platform_ = std::make_shared<vkey::VirtualHidPlatform>();
  key_ = vkey::VirtualKey::Create(std::move(config));
  keyPath_ = platform_->AddKey(key_, "dialog-test");
  token_ = std::make_unique<CFidoToken>(platform_);
  ASSERT_TRUE(Reconnect());
  key_->ClearRecentRequests();
}

bool DialogTest::Reconnect() {
  token_->SetTransport(kTransportUsbHid);
  token_->EnumerateDevices();
  const bool selected = token_->SelectDevice(kMakerVendorId, kMakerProductIds[0]) == 1;
  DeviceAbsent = !selected;
  return selected;
}

int DialogTest::RunDialog(ui::WindowImplBase& dialog, std::function<void(HWND)> script) {
  if (!dialog.Create(nullptr, u"Pinvale", UI_WNDSTYLE_FRAME, 0)) {
    ADD_FAILURE() << "the dialog's layout could not be built";
    return -1;
  }
  dialog.CenterWindow();
  uit::RunWhenModal(std::move(script));
  return static_cast<int>(dialog.ShowModal());
}

void DialogTest::Fill(HWND dialog, std::u16string_view edit, std::u16string_view text) {
  auto* control = dynamic_cast<ui::CEditUI*>(uit::FindControl(dialog, edit));
  ASSERT_NE(control, nullptr) << "no edit control";
  control->SetText(text);
}

std::u16string DialogTest::TextOf(HWND dialog, std::u16string_view control) {
  ui::CControlUI* found = uit::FindControl(dialog, control);
  return found ? found->GetText() : u"<missing>";
}

void DialogTest::Snapshot(HWND window, const std::string& name) {
  const char* dir = std::getenv("PINVALE_REVIEW_DIR");
  if (dir == nullptr || *dir == 0) return;
  EXPECT_TRUE(uit::RenderWindowToPng(window, std::string(dir) + "/" + name + ".png"));
}

void DialogTest::ExpectBox(std::u16string text, int flags) {
  uit::RunWhenModal([text, flags](HWND hwnd) {
    auto* box = dynamic_cast<CDuiMessageBox*>(ui::WindowFromHandle(hwnd));
    ASSERT_NE(box, nullptr) << "a dialog opened where a message box was expected";
    EXPECT_EQ(box->Caption(), u"Pinvale");
    EXPECT_EQ(box->Text(), text);
    // The flags show as the icon: 0x10 the error icon, 0 the logo the skin lacks.
    EXPECT_EQ(box->IconImage(),
              flags == kMessageBoxIconError ? u"Png_Msg_error.png" : u"logo_32.png");
    EXPECT_EQ(uit::FindControl(hwnd, u"Cancel"), nullptr);
    EXPECT_TRUE(uit::Click(hwnd, u"OK"));
  });
}

void DialogTest::ExpectNoBox(const std::function<void()>& action) {
  bool draining = false;
  uit::RunWhenModal([this, &draining](HWND hwnd) {
    if (!draining) ++unexpectedBoxes_;
    uit::Click(hwnd, u"OK");
  });
  action();
  if (uit::PendingModalTasks() == 1) {
    // Nothing opened: hand the waiting answer a box of our own.
    draining = true;
    ShowMessageBox(nullptr, u"Pinvale", u"drain", 0);
  }
}

std::vector<int> DialogTest::PinSubcommandsSeen() const {
  std::vector<int> seen;
  for (const auto& request : key_->RecentRequests()) {
    if (request.command == 0x06) seen.push_back(request.subCommand);
  }
  return seen;
}

std::vector<int> DialogTest::CommandsSeen() const {
  std::vector<int> seen;
  for (const auto& request : key_->RecentRequests()) seen.push_back(request.command);
  return seen;
}

vkey::VirtualKeyConfig KeyConfig(std::string pin, std::vector<vkey::VirtualKeyFault> faults) {
  vkey::VirtualKeyConfig config;
  config.initialPin = std::move(pin);
  config.touchMode = vkey::TouchMode::kOnDemand;
  config.faults = std::move(faults);
  return config;
}

vkey::VirtualKeyFault ForcedStatus(int command, int subCommand, std::uint8_t status) {
  vkey::VirtualKeyFault fault;
  fault.kind = vkey::FaultKind::kForcedStatus;
  fault.command = command;
  fault.subCommand = subCommand;
  fault.status = status;
  return fault;
}

std::u16string Repeat(char16_t c, std::size_t n) {
  return std::u16string(n, c);
}

}  // namespace pinvale::test
