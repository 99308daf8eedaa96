#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/device_notices.h"

namespace pinvale {
namespace {

TEST(HidrawNoticePath, CarriesTheIdsInLowerCase) {
  EXPECT_EQ(HidrawNoticePath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/"
                             "0003:3F8C:2D71.0004/hidraw/hidraw3",
                             "/dev/hidraw3"),
            u"\\\\?\\hidraw#vid_3f8c&pid_2d71#/dev/hidraw3");
}

TEST(HidrawNoticePath, LeavesTheIdsOutWhenThePathHasNone) {
  EXPECT_EQ(HidrawNoticePath("/sys/devices/virtual/misc/hidraw/hidraw0", "/dev/hidraw0"),
            u"\\\\?\\hidraw#/dev/hidraw0");
  EXPECT_EQ(HidrawNoticePath("", ""), u"\\\\?\\hidraw#");
  // Near misses of the kernel's "bus:vendor:product.instance" name.
  EXPECT_EQ(HidrawNoticePath("/x/0003:3F8C:2D71-0004/hidraw", "n"), u"\\\\?\\hidraw#n");
  EXPECT_EQ(HidrawNoticePath("/x/0003:3F8C:2D7G.0004/hidraw", "n"), u"\\\\?\\hidraw#n");
}

TEST(VirtualKeySocketName, AcceptsSocketsOnly) {
  EXPECT_TRUE(IsVirtualKeySocketName("3f8c-2d71-demo.sock"));
  EXPECT_FALSE(IsVirtualKeySocketName(".sock"));
  EXPECT_FALSE(IsVirtualKeySocketName(".hidden.sock"));
  EXPECT_FALSE(IsVirtualKeySocketName("3f8c-2d71-demo.sock.tmp"));
  EXPECT_FALSE(IsVirtualKeySocketName("notes.txt"));
}

class Notices {
 public:
  void Add(std::uint32_t event, std::u16string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back({event, std::move(path)});
    changed_.notify_all();
  }
  // Waits (briefly) until `count` notices have come.
  bool WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return seen_.size() >= count; });
  }
  std::vector<std::pair<std::uint32_t, std::u16string>> Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<std::uint32_t, std::u16string>> seen_;
};

class VirtualKeyDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pinvale-notices-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // Plugging in, the way pinvale-vkey does it: binding a socket in the directory.
  int BindSocket(const std::string& name) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = directory_ + "/" + name;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  }

  std::string directory_;
};

TEST_F(VirtualKeyDirectoryTest, ReportsSocketsComingAndGoing) {
  Notices notices;
  auto watcher = StartDeviceNoticeWatcher(
      {.hidraw = false, .virtualKeyDirectory = directory_},
      [&](std::uint32_t event, std::u16string path) { notices.Add(event, std::move(path)); });
  ASSERT_NE(watcher, nullptr);

  int fd = BindSocket("3f8c-64a9-demo.sock");
  ASSERT_TRUE(notices.WaitFor(1));
  ::close(fd);
  std::filesystem::remove(directory_ + "/3f8c-64a9-demo.sock");
  ASSERT_TRUE(notices.WaitFor(2));

  auto seen = notices.Seen();
  std::u16string expected = WidenPath(directory_ + "/3f8c-64a9-demo.sock");
  EXPECT_EQ(seen[0], std::make_pair(kDeviceArrival, expected));
  EXPECT_EQ(seen[1], std::make_pair(kDeviceRemoveComplete, expected));
}

TEST_F(VirtualKeyDirectoryTest, IgnoresOtherFiles) {
  Notices notices;
  auto watcher = StartDeviceNoticeWatcher(
      {.hidraw = false, .virtualKeyDirectory = directory_},
      [&](std::uint32_t event, std::u16string path) { notices.Add(event, std::move(path)); });
  ASSERT_NE(watcher, nullptr);
  {
    std::FILE* f = std::fopen((directory_ + "/readme.txt").c_str(), "w");
    std::fclose(f);
  }
  int fd = BindSocket("3f8c-2d71-a.sock");  // a marker: everything before it was ignored
  ASSERT_TRUE(notices.WaitFor(1));
  ::close(fd);
  EXPECT_EQ(notices.Seen().size(), 1u);
  EXPECT_EQ(notices.Seen()[0].second, WidenPath(directory_ + "/3f8c-2d71-a.sock"));
}

TEST_F(VirtualKeyDirectoryTest, CreatesAMissingDirectory) {
  std::string inner = directory_ + "/later";
  auto watcher = StartDeviceNoticeWatcher({.hidraw = false, .virtualKeyDirectory = inner},
                                          [](std::uint32_t, std::u16string) {});
  EXPECT_NE(watcher, nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(inner));
}

TEST(DeviceNoticeWatcher, NothingToWatchGivesNoWatcher) {
  EXPECT_EQ(StartDeviceNoticeWatcher({.hidraw = false, .virtualKeyDirectory = ""},
                                     [](std::uint32_t, std::u16string) {}),
            nullptr);
}

TEST(DeviceNoticeWatcher, StopsPromptlyWhenDestroyed) {
  // With the udev monitor (when the system offers one); destruction must not
  // wait for a device event that never comes.
  auto start = std::chrono::steady_clock::now();
  {
    auto watcher = StartDeviceNoticeWatcher({.hidraw = true, .virtualKeyDirectory = "/tmp"},
                                            [](std::uint32_t, std::u16string) {});
    ASSERT_NE(watcher, nullptr);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace pinvale
