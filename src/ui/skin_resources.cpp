#include "ui/skin_resources.h"

#include <zip.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "ui/ui_text.h"

namespace pinvale::ui {
namespace {

struct ResourceKey {
  std::u16string kind;
  int id;
  auto operator<=>(const ResourceKey&) const = default;
};

std::mutex g_resourceMutex;
std::map<ResourceKey, std::span<const std::uint8_t>>& ResourceTable() {
  static std::map<ResourceKey, std::span<const std::uint8_t>> table;
  return table;
}

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

void RegisterResource(std::u16string_view kind, int id, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(g_resourceMutex);
  ResourceTable()[ResourceKey{std::u16string(kind), id}] = bytes;
}

std::span<const std::uint8_t> FindResource(std::u16string_view kind, int id) {
  std::lock_guard lock(g_resourceMutex);
  auto it = ResourceTable().find(ResourceKey{std::u16string(kind), id});
  return it == ResourceTable().end() ? std::span<const std::uint8_t>{} : it->second;
}

struct SkinArchive::Impl {
  std::vector<std::uint8_t> owned;
  std::unique_ptr<zip_t, ZipCloser> zip;
};

SkinArchive::SkinArchive(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
SkinArchive::~SkinArchive() = default;

std::unique_ptr<SkinArchive> SkinArchive::Open(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return nullptr;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    return nullptr;
  }
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!archive) {
    zip_source_free(source);  // still ours when the open failed
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->zip.reset(archive);
  return std::unique_ptr<SkinArchive>(new SkinArchive(std::move(impl)));
}

std::unique_ptr<SkinArchive> SkinArchive::Open(std::vector<std::uint8_t> bytes) {
  auto owned = std::make_unique<std::vector<std::uint8_t>>(std::move(bytes));
  std::unique_ptr<SkinArchive> archive = Open(std::span<const std::uint8_t>(*owned));
  if (archive) archive->m_impl->owned = std::move(*owned);
  // The vector's buffer moved without reallocation, so the zip source still points at it.
  return archive;
}

bool SkinArchive::Read(std::string_view entry, std::vector<std::uint8_t>& out) const {
  const std::string name(entry);
  const zip_int64_t index = zip_name_locate(m_impl->zip.get(), name.c_str(), ZIP_FL_NOCASE);
  if (index < 0) return false;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(m_impl->zip.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
      !(stat.valid & ZIP_STAT_SIZE)) {
    return false;
  }
  std::unique_ptr<zip_file_t, ZipFileCloser> file(
      zip_fopen_index(m_impl->zip.get(), static_cast<zip_uint64_t>(index), 0));
  if (!file) return false;
  out.resize(static_cast<size_t>(stat.size));
  zip_uint64_t done = 0;
  while (done < stat.size) {
    const zip_int64_t n = zip_fread(file.get(), out.data() + done, stat.size - done);
    if (n <= 0) return false;
    done += static_cast<zip_uint64_t>(n);
  }
  return true;
}

std::vector<std::string> SkinArchive::EntryNames() const {
  std::vector<std::string> names;
  const zip_int64_t count = zip_get_num_entries(m_impl->zip.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    if (const char* name = zip_get_name(m_impl->zip.get(), static_cast<zip_uint64_t>(i), 0)) {
      names.emplace_back(name);
    }
  }
  return names;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  out.clear();
  std::uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    out.insert(out.end(), buffer, buffer + n);
  }
  return std::ferror(file.get()) == 0;
}

}  // namespace pinvale::ui
