#pragma once

// Buffers for PINs, PIN hashes, shared secrets and tokens. They wipe themselves
// with mbedtls_platform_zeroize when they go out of scope, so a secret never
// outlives the operation that made it, whatever path the operation leaves by.

#include <mbedtls/platform_util.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pinvale {

// A fixed-size secret held in place.
template <std::size_t N>
class SecretArray {
 public:
  SecretArray() { bytes_.fill(0); }
  ~SecretArray() { Wipe(); }
  SecretArray(const SecretArray&) = delete;
  SecretArray& operator=(const SecretArray&) = delete;

  void Wipe() { mbedtls_platform_zeroize(bytes_.data(), N); }

  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  static constexpr std::size_t size() { return N; }
  std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return bytes_[i]; }
  std::span<std::uint8_t, N> span() { return bytes_; }
  std::span<const std::uint8_t, N> span() const { return bytes_; }

 private:
  std::array<std::uint8_t, N> bytes_;
};

// A secret of variable length, such as a PIN's UTF-8 bytes. Growing never leaves
// a copy behind: the capacity is reserved once and the storage is wiped before
// it is released.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::span<const std::uint8_t> bytes) { Assign(bytes); }
  ~SecretBytes() { Clear(); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {}
  SecretBytes& operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
      Clear();
      bytes_ = std::move(other.bytes_);
    }
    return *this;
  }

  // Wipes the whole storage, not only the bytes in use, then empties it.
  void Clear() {
    if (bytes_.capacity() > 0) {
      bytes_.resize(bytes_.capacity());
      mbedtls_platform_zeroize(bytes_.data(), bytes_.size());
    }
    bytes_.clear();
  }

  void Assign(std::span<const std::uint8_t> bytes) {
    Clear();
    Reserve(bytes.size());
    bytes_.assign(bytes.begin(), bytes.end());
  }

  // Callers that append reserve the final size first; Append refuses to grow
  // past the reserved capacity, because a reallocation would leave the old
  // storage unwiped.
  void Reserve(std::size_t capacity) {
    if (capacity <= bytes_.capacity()) return;
    SecretBytes bigger;
    bigger.bytes_.reserve(capacity);
    // Byte by byte: GCC 12 at -O3 misjudges the bounds of a bulk copy into
    // freshly reserved storage, and secrets are a few dozen bytes.
    for (std::uint8_t byte : bytes_) bigger.bytes_.push_back(byte);
    *this = std::move(bigger);
  }
  bool Append(std::uint8_t byte) {
    if (bytes_.size() == bytes_.capacity()) return false;
    bytes_.push_back(byte);
    return true;
  }

  // Zero-filled bytes of `size`, for a cipher to write into.
  void Resize(std::size_t size) {
    Reserve(size);
    bytes_.resize(size, 0);
  }

  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  std::span<const std::uint8_t> span() const { return bytes_; }
  operator std::span<const std::uint8_t>() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace pinvale
