#pragma once

// A fixed-size byte buffer for PIN material that wipes itself when it goes away.

#include <array>
#include <cstddef>
#include <cstdint>

#include <mbedtls/platform_util.h>

namespace pinvale::vkey {

template <std::size_t N>
class SecretBuffer {
 public:
  SecretBuffer() { bytes_.fill(0); }
  ~SecretBuffer() { Wipe(); }
  SecretBuffer(const SecretBuffer& other) : bytes_(other.bytes_) {}
  SecretBuffer& operator=(const SecretBuffer& other) {
    bytes_ = other.bytes_;
    return *this;
  }

  void Wipe() { mbedtls_platform_zeroize(bytes_.data(), bytes_.size()); }

  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  static constexpr std::size_t size() { return N; }
  std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return bytes_[i]; }

 private:
  std::array<std::uint8_t, N> bytes_;
};

}  // namespace pinvale::vkey
