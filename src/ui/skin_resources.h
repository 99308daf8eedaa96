#pragma once

// Where layouts and images come from: a ZIP archive held in memory (read with libzip), or
// plain files under the resource path. Program resources (the archive linked into the
// executable) are registered in a table by kind name and id, as Windows keeps "ZIPRES" 109.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#undef FindResource  // the framework's own below, not the macro for FindResourceW
#endif

namespace pinvale::ui {

// Resource kinds a window may declare (GetResourceType).
enum UILIB_RESOURCETYPE {
  UILIB_FILE = 1,         // files under the resource path and skin folder
  UILIB_ZIP = 2,          // an archive file under the resource path (GetZIPFileName)
  UILIB_RESOURCE = 3,     // a program resource holding one layout
  UILIB_ZIPRESOURCE = 4,  // a program resource holding the skin archive ("ZIPRES", id)
};

// The program's resources. The bytes must outlive every use (they are linked-in data).
void RegisterResource(std::u16string_view kind, int id, std::span<const std::uint8_t> bytes);
std::span<const std::uint8_t> FindResource(std::u16string_view kind, int id);

// A read-only ZIP archive over bytes in memory.
class SkinArchive {
 public:
  // Copies nothing: `bytes` must outlive the archive. Returns nullptr when not a ZIP.
  static std::unique_ptr<SkinArchive> Open(std::span<const std::uint8_t> bytes);
  // Owns the bytes (an archive read from a file).
  static std::unique_ptr<SkinArchive> Open(std::vector<std::uint8_t> bytes);
  ~SkinArchive();
  SkinArchive(const SkinArchive&) = delete;
  SkinArchive& operator=(const SkinArchive&) = delete;

  // Entry names are compared without regard to ASCII case, as on Windows.
  bool Read(std::string_view entryUtf8, std::vector<std::uint8_t>& out) const;
  std::vector<std::string> EntryNames() const;

 private:
  struct Impl;
  explicit SkinArchive(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& pathUtf8, std::vector<std::uint8_t>& out);

}  // namespace pinvale::ui
