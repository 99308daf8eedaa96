// The Win32 calls of the platform layer, run under Windows (or Wine): what can
// be checked without a security key or a desktop session of a real user.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/build_branch.h"
#include "platform/debug_log.h"
#include "platform/device_notices.h"
#include "platform/program_arguments.h"
#include "platform/single_instance.h"
#include "platform/wide_text_win32.h"

namespace pinvale {
namespace {

TEST(WideText, RoundTripsTextBeyondAscii) {
  const std::string utf8 =
      "\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91 PIN \xC3\xA9";  // 微软雅黑 PIN é
  const std::wstring wide = Utf8ToWide(utf8);
  EXPECT_EQ(wide, L"\u5fae\u8f6f\u96c5\u9ed1 PIN \u00e9");
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(WideText, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            L"a\uFFFDb");
}

TEST(NamedMutex, SecondClaimOfTheSameNameFails) {
  const std::string name = "pinvale-win32-test-" + std::to_string(::GetCurrentProcessId());
  auto first = ClaimSingleInstance(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ClaimSingleInstance(name), nullptr);
  first.reset();
  EXPECT_NE(ClaimSingleInstance(name), nullptr);
}

TEST(ProgramArguments, StartWithTheProgramPath) {
  char program[] = "ignored.exe";
  char* argv[] = {program, nullptr};
  std::vector<std::string> arguments = ProgramArguments(1, argv);
  ASSERT_FALSE(arguments.empty());
  // The wide command line wins over the narrow argv.
  EXPECT_NE(arguments[0].find(".exe"), std::string::npos);
  EXPECT_NE(arguments[0], "ignored.exe");
}

TEST(BuildBranch, ReadsWithoutFailing) {
  // Wine has no BuildBranch value; Windows has one. Either way the read must not
  // invent a branch from an unreadable value.
  std::optional<std::u16string> branch = ReadBuildBranch();
  if (branch) {
    EXPECT_LT(branch->size(), 130u);
  }
}

TEST(DebugChannel, LinesGoToTheDebuggerWithoutCrashing) {
  SetDebugSink({});
  DebugLog("ReadFile L:%d ERR: 0x%08X", 578, 0x5B4u);
  DebugLog("%s", "\xE5\xBE\xAE\xE8\xBD\xAF");
}

TEST(DeviceNotices, WatcherStartsAndStopsOnItsOwnThread) {
  auto watcher = StartDeviceNoticeWatcher({}, [](std::uint32_t, std::u16string) {});
  EXPECT_NE(watcher, nullptr);
  watcher.reset();  // joins the thread; must not hang
  EXPECT_EQ(StartDeviceNoticeWatcher({}, nullptr), nullptr);
}

}  // namespace
}  // namespace pinvale
