#pragma once

// The walk over the set of present HID interfaces that Windows' SetupAPI hands
// out, kept apart from the API so that its rules are tested without it:
//   - the interfaces are visited from index 0 upward until none is left;
//   - an interface whose detail size cannot be learned, or whose path cannot be
//     read, is skipped;
//   - a detail buffer that cannot be allocated ends the walk with the paths
//     found so far.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pinvale {

class HidInterfaceSet {
 public:
  virtual ~HidInterfaceSet() = default;

  // Moves to the interface at `index`; false when there is none.
  virtual bool SelectInterface(std::uint32_t index) = 0;
  // The byte size of the selected interface's detail record; false when the
  // size query neither succeeds nor asks for a larger buffer.
  virtual bool QueryDetailSize(std::uint32_t& size) = 0;
  // Replaces the set's detail buffer with `size` zero bytes; false when the
  // memory cannot be had.
  virtual bool AllocateDetail(std::uint32_t size) = 0;
  // Reads the selected interface's detail record into the buffer and extracts
  // its device path; false when the record cannot be read.
  virtual bool ReadDetailPath(std::u16string& path) = 0;
};

// The device paths of every readable interface, in index order.
std::vector<std::u16string> WalkInterfacePaths(HidInterfaceSet& set);

// A detail record is a 32-bit size field followed by the NUL-terminated UTF-16
// device path.
constexpr std::size_t kDetailPathOffset = 4;

// The path of a detail record, never read beyond the buffer: a path that fills
// the buffer without its NUL ends at the buffer's end. Empty when the buffer is
// shorter than the size field.
std::u16string DetailRecordPath(std::span<const std::uint8_t> record);

}  // namespace pinvale
