#pragma once

// A headless rig for the action dialogs: the UI framework on the test's thread, the
// embedded skin, and an in-process virtual key reached through the product's own
// transport. Dialogs run modally; a script queued with RunWhenModal plays the
// user inside the loop, and nested message boxes are answered the same way.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/message_box.h"
#include "transport/fido_token.h"
#include "ui/ui.h"
#include "ui/ui_testing.h"
#include "vkey/virtual_hid_platform.h"

namespace pinvale::test {

namespace uit = ui::testing;

class DialogTest : public ::testing::Test {
 public:
  // Replaces an edit's text as a program would (no "textchanged").
  static void Fill(HWND dialog, std::u16string_view edit, std::u16string_view text);
  static std::u16string TextOf(HWND dialog, std::u16string_view control);
  // With PINVALE_REVIEW_DIR set, draws the window into <dir>/<name>.png for review.
  static void Snapshot(HWND window, const std::string& name);

 protected:
  static void SetUpTestSuite();
  // Every suite leaves the UI as it found it: no window, no backend.
  static void TearDownTestSuite() { ui::UiShutdown(); }
  void SetUp() override;
  void TearDown() override;

  // Replaces the key (before the dialog opens) and connects the token to it.
  void UseKey(vkey::VirtualKeyConfig config);
  vkey::VirtualKey& Key() { return *key_; }
  CFidoToken& Token() { return *token_; }
  const std::string& KeyPath() const { return keyPath_; }
  bool Reconnect();

  // Creates the dialog as the main window does (caption "Pinvale", style
  // 0x10CA0000), queues `script` for its modal loop and returns the modal result.
  static int RunDialog(ui::WindowImplBase& dialog, std::function<void(HWND)> script);

  // The next message box must show `text` with `flags`; it is answered with "OK".
  void ExpectBox(std::u16string text, int flags);
  // Runs `action`; fails when a message box opened meanwhile.
  void ExpectNoBox(const std::function<void()>& action);

  // clientPIN subcommands the key saw since the log was cleared.
  std::vector<int> PinSubcommandsSeen() const;
  std::vector<int> CommandsSeen() const;

  std::shared_ptr<vkey::VirtualHidPlatform> platform_;
  std::shared_ptr<vkey::VirtualKey> key_;
  std::unique_ptr<CFidoToken> token_;
  std::string keyPath_;
  int unexpectedBoxes_ = 0;
};

// A test key: no PIN unless given, clientPIN without touches, touch on demand.
vkey::VirtualKeyConfig KeyConfig(std::string pin = "",
                                 std::vector<vkey::VirtualKeyFault> faults = {});
vkey::VirtualKeyFault ForcedStatus(int command, int subCommand, std::uint8_t status);

std::u16string Repeat(char16_t c, std::size_t n);

}  // namespace pinvale::test
