#include "transport/hidraw_path.h"

#include <charconv>
#include <cstdio>

namespace pinvale {

namespace {

constexpr std::string_view kPrefix = "\\\\?\\hidraw#";

bool ParseHexField(std::string_view text, std::uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string BuildHidrawPath(std::uint16_t vendorId, std::uint16_t productId,
                            std::string_view deviceNode) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x#", vendorId, productId);
  std::string path(kPrefix);
  path += ids;
  path += deviceNode;
  return path;
}

bool ParseHidrawPath(std::string_view path, std::string& deviceNode) {
  if (path.substr(0, kPrefix.size()) != kPrefix) return false;
  const std::size_t hash = path.find('#', kPrefix.size());
  if (hash == std::string_view::npos || hash + 1 >= path.size()) return false;
  deviceNode = std::string(path.substr(hash + 1));
  return true;
}

bool ParseHidId(std::string_view hidId, std::uint16_t& vendorId, std::uint16_t& productId) {
  const std::size_t first = hidId.find(':');
  if (first == std::string_view::npos) return false;
  const std::size_t second = hidId.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  std::uint32_t bus = 0;
  std::uint32_t vendor = 0;
  std::uint32_t product = 0;
  if (!ParseHexField(hidId.substr(0, first), bus) ||
      !ParseHexField(hidId.substr(first + 1, second - first - 1), vendor) ||
      !ParseHexField(hidId.substr(second + 1), product)) {
    return false;
  }
  if (vendor > 0xFFFF || product > 0xFFFF) return false;
  vendorId = static_cast<std::uint16_t>(vendor);
  productId = static_cast<std::uint16_t>(product);
  return true;
}

}  // namespace pinvale
