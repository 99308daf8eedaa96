// The SetupAPI walk over HID interfaces, on a scripted interface set: Wine and
// this machine have no FIDO keys, so the rules are checked here.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

#include "transport/hid_caps_record.h"
#include "transport/hid_interface_walk.h"

namespace pinvale {
namespace {

// One interface of the scripted set: what each SetupAPI step answers for it.
struct ScriptedInterface {
  std::u16string path;
  std::optional<std::uint32_t> detailSize;  // nothing: the size query fails
  bool allocationFails = false;
  bool readFails = false;
};

std::vector<std::uint8_t> DetailRecord(std::u16string_view path, std::size_t size) {
  std::vector<std::uint8_t> record(size, 0);
  for (std::size_t i = 0; i < path.size(); ++i) {
    std::size_t at = kDetailPathOffset + 2 * i;
    if (at + 1 >= size) break;
    record[at] = static_cast<std::uint8_t>(path[i] & 0xFF);
    record[at + 1] = static_cast<std::uint8_t>(path[i] >> 8);
  }
  return record;
}

class ScriptedSet : public HidInterfaceSet {
 public:
  explicit ScriptedSet(std::vector<ScriptedInterface> interfaces)
      : interfaces_(std::move(interfaces)) {}

  bool SelectInterface(std::uint32_t index) override {
    selectCalls.push_back(index);
    if (index >= interfaces_.size()) return false;
    current_ = &interfaces_[index];
    return true;
  }
  bool QueryDetailSize(std::uint32_t& size) override {
    if (!current_->detailSize) return false;
    size = *current_->detailSize;
    return true;
  }
  bool AllocateDetail(std::uint32_t size) override {
    if (current_->allocationFails) return false;
    buffer_.assign(size, 0xEE);  // overwritten below, as the real record is
    return true;
  }
  bool ReadDetailPath(std::u16string& path) override {
    if (current_->readFails) return false;
    buffer_ = DetailRecord(current_->path, buffer_.size());
    path = DetailRecordPath(buffer_);
    return true;
  }

  std::vector<std::uint32_t> selectCalls;

 private:
  std::vector<ScriptedInterface> interfaces_;
  ScriptedInterface* current_ = nullptr;
  std::vector<std::uint8_t> buffer_;
};

std::uint32_t SizeFor(std::u16string_view path) {
  return static_cast<std::uint32_t>(kDetailPathOffset + 2 * (path.size() + 1));
}

const std::u16string kKey =
    u"\\\\?\\hid#vid_3f8c&pid_2d71&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::u16string kMouse =
    u"\\\\?\\hid#vid_046d&pid_c52b&mi_01&col01#8&5e6f&0&0000#{4d1e55b2-f16f-11cf-88cb-"
    u"001111000030}";

TEST(HidInterfaceWalk, ListsEveryReadableInterfaceInIndexOrder) {
  ScriptedSet set({{kMouse, SizeFor(kMouse)}, {kKey, SizeFor(kKey)}});
  EXPECT_EQ(WalkInterfacePaths(set), (std::vector<std::u16string>{kMouse, kKey}));
  EXPECT_EQ(set.selectCalls, (std::vector<std::uint32_t>{0, 1, 2}));
}

TEST(HidInterfaceWalk, EmptySetListsNothing) {
  ScriptedSet set({});
  EXPECT_TRUE(WalkInterfacePaths(set).empty());
}

TEST(HidInterfaceWalk, UnreadableInterfacesAreSkipped) {
  ScriptedSet set({
      {kMouse, std::nullopt},                  // size query failed
      {kMouse, SizeFor(kMouse), false, true},  // detail read failed
      {kMouse, 0},                             // no room for a path
      {kMouse, kDetailPathOffset + 1},         // no room for one character
      {u"", SizeFor(u"")},                     // an empty path names nothing
      {kKey, SizeFor(kKey)},
  });
  EXPECT_EQ(WalkInterfacePaths(set), (std::vector<std::u16string>{kKey}));
}

TEST(HidInterfaceWalk, FailedAllocationEndsTheWalkWithWhatWasFound) {
  ScriptedSet set({{kKey, SizeFor(kKey)}, {kMouse, SizeFor(kMouse), true}, {kKey, SizeFor(kKey)}});
  EXPECT_EQ(WalkInterfacePaths(set), (std::vector<std::u16string>{kKey}));
  EXPECT_EQ(set.selectCalls, (std::vector<std::uint32_t>{0, 1}));
}

struct RecordCase {
  const char* name;
  std::vector<std::uint8_t> record;
  std::u16string path;
};

class DetailRecordPathCase : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DetailRecordPathCase, ReadsThePathWithinTheRecord) {
  EXPECT_EQ(DetailRecordPath(GetParam().record), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Records, DetailRecordPathCase,
    ::testing::Values(
        RecordCase{"terminated", DetailRecord(u"\\\\?\\hid#vid_3f8c", 64), u"\\\\?\\hid#vid_3f8c"},
        // A path that fills the record without its NUL stops at the record's end.
        RecordCase{"unterminated", DetailRecord(u"abcdef", kDetailPathOffset + 6), u"abc"},
        // An odd trailing byte is half a character and is not read.
        RecordCase{"odd size", DetailRecord(u"abcdef", kDetailPathOffset + 5), u"ab"},
        RecordCase{"header only", std::vector<std::uint8_t>(kDetailPathOffset, 8), u""},
        RecordCase{"shorter than the header", std::vector<std::uint8_t>(2, 8), u""},
        // Characters beyond ASCII survive: the path is UTF-16 throughout.
        RecordCase{"wide characters", DetailRecord(u"\\\\?\\hid#\u00e9\u4e2d", 32),
                   u"\\\\?\\hid#\u00e9\u4e2d"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

// Capabilities records as HidP_GetCaps fills them: usage, usage page, then the
// report lengths (65 and 65 here, never looked at).
TEST(CapsRecord, OnlyTheFidoUsageMakesAFidoInterface) {
  using Record = std::vector<std::uint8_t>;
  const Record fido = {0x01, 0x00, 0xD0, 0xF1, 0x41, 0x00, 0x41, 0x00};
  const Record keyboard = {0x06, 0x00, 0x01, 0x00, 0x09, 0x00, 0x02, 0x00};
  const Record fidoPageOtherUsage = {0x02, 0x00, 0xD0, 0xF1, 0x41, 0x00, 0x41, 0x00};
  const Record byteSwapped = {0x00, 0x01, 0xF1, 0xD0};
  EXPECT_EQ(KindOfCapsRecord(fido), HidInterfaceKind::kFido);
  EXPECT_EQ(KindOfCapsRecord(keyboard), HidInterfaceKind::kOther);
  EXPECT_EQ(KindOfCapsRecord(fidoPageOtherUsage), HidInterfaceKind::kOther);
  EXPECT_EQ(KindOfCapsRecord(byteSwapped), HidInterfaceKind::kOther);
  EXPECT_EQ(KindOfCapsRecord(Record{0x01, 0x00, 0xD0}), HidInterfaceKind::kUnknown);
}

}  // namespace
}  // namespace pinvale
