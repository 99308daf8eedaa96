#include <windows.h>

#include "embedded_skin.h"

namespace pinvale {

namespace {
// skin_archive.rc stores the archive under this type and id.
constexpr int kSkinResourceId = 109;
}  // namespace

std::span<const std::uint8_t> EmbeddedSkinArchive() {
  // The resource is part of the program's image: it needs no release and stays
  // valid until the process ends.
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(kSkinResourceId), L"ZIPRES");
  if (!info) return {};
  HGLOBAL loaded = ::LoadResource(module, info);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::uint8_t*>(bytes), ::SizeofResource(module, info)};
}

}  // namespace pinvale
