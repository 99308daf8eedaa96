#include "transport/hid_interface_walk.h"

namespace pinvale {

std::vector<std::u16string> WalkInterfacePaths(HidInterfaceSet& set) {
  std::vector<std::u16string> paths;
  for (std::uint32_t index = 0; set.SelectInterface(index); ++index) {
    std::uint32_t size = 0;
    if (!set.QueryDetailSize(size)) continue;
    // A record without room for its size field and one character names nothing.
    if (size < kDetailPathOffset + sizeof(char16_t)) continue;
    if (!set.AllocateDetail(size)) break;
    std::u16string path;
    if (!set.ReadDetailPath(path) || path.empty()) continue;
    paths.push_back(std::move(path));
  }
  return paths;
}

std::u16string DetailRecordPath(std::span<const std::uint8_t> record) {
  std::u16string path;
  for (std::size_t at = kDetailPathOffset; at + 1 < record.size(); at += 2) {
    // Little-endian UTF-16, read byte-wise: the record needs no alignment.
    const auto unit = static_cast<char16_t>(record[at] | (record[at + 1] << 8));
    if (unit == u'\0') break;
    path.push_back(unit);
  }
  return path;
}

}  // namespace pinvale
