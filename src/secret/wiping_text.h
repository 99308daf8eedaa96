#pragma once

// Text that may be a secret (a PIN being typed, its UTF-8 bytes on the way to the key):
// its storage is zeroed whenever characters leave it, and before it is released. Below the
// window framework and the key protocol alike, so both can hold text this way without
// knowing of each other.
//
// Units past size() are always zero. The storage moves only when an insert needs more than
// capacity(); a holder whose text must never move reserves its largest length up front.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

namespace pinvale {

// Zeroes memory in a way the compiler may not drop (mbedtls_platform_zeroize).
void WipeMemory(void* data, std::size_t bytes);

// Where WipingText takes its storage from. The default is the heap. A test installs its own
// source to look at a block after its owner is gone: the block is released to the test,
// which still owns the memory and may read it.
struct WipingStorageSource {
  void* (*allocate)(std::size_t bytes);
  void (*release)(void* block, std::size_t bytes);
};
// Installs `source` (nullptr: the heap) for storage allocated from now on and returns the
// previous one. Storage goes back to the source it came from.
const WipingStorageSource* SetWipingStorageSourceForTesting(const WipingStorageSource* source);

namespace detail {
const WipingStorageSource* CurrentWipingStorageSource();
}  // namespace detail

template <typename Char>
class WipingText {
  static_assert(std::is_trivially_copyable_v<Char>);

 public:
  using View = std::basic_string_view<Char>;

  WipingText() = default;
  explicit WipingText(View text) { Assign(text); }
  ~WipingText() { Release(); }
  // A copy is made to the length of the text, and wiped in its turn.
  WipingText(const WipingText& other) { Assign(other.view()); }
  WipingText& operator=(const WipingText& other) {
    if (this != &other) Assign(other.view());
    return *this;
  }
  // A move hands the storage over: nothing is left behind to wipe.
  WipingText(WipingText&& other) noexcept { Take(other); }
  WipingText& operator=(WipingText&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }

  // Makes room for `capacity` units. A larger capacity moves the text to new storage and
  // wipes the old one.
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    const WipingStorageSource* source = detail::CurrentWipingStorageSource();
    auto* block = static_cast<Char*>(source->allocate(capacity * sizeof(Char)));
    std::memset(static_cast<void*>(block), 0, capacity * sizeof(Char));
    if (size_ > 0) std::memcpy(static_cast<void*>(block), data_, size_ * sizeof(Char));
    const std::size_t size = size_;
    Release();
    data_ = block;
    size_ = size;
    capacity_ = capacity;
    source_ = source;
  }

  void Assign(View text) {
    if (text.size() > capacity_) {
      WipingText bigger;
      bigger.Reserve(text.size());
      bigger.Insert(0, text);
      *this = std::move(bigger);
      return;
    }
    const std::size_t old = size_;
    if (!text.empty())
      std::memmove(static_cast<void*>(data_), text.data(), text.size() * sizeof(Char));
    size_ = text.size();
    WipeFrom(size_, old);
  }

  // `text` must not point into this storage.
  void Insert(std::size_t at, View text) {
    at = std::min(at, size_);
    if (text.empty()) return;
    if (size_ + text.size() > capacity_) Reserve(std::max(size_ + text.size(), capacity_ * 2));
    std::memmove(static_cast<void*>(data_ + at + text.size()), data_ + at,
                 (size_ - at) * sizeof(Char));
    std::memcpy(static_cast<void*>(data_ + at), text.data(), text.size() * sizeof(Char));
    size_ += text.size();
  }
  void Append(View text) { Insert(size_, text); }
  void PushBack(Char unit) { Insert(size_, View(&unit, 1)); }

  void Erase(std::size_t at, std::size_t count) {
    if (at >= size_) return;
    count = std::min(count, size_ - at);
    std::memmove(static_cast<void*>(data_ + at), data_ + at + count,
                 (size_ - at - count) * sizeof(Char));
    const std::size_t old = size_;
    size_ -= count;
    WipeFrom(size_, old);
  }
  void Truncate(std::size_t size) {
    if (size >= size_) return;
    const std::size_t old = size_;
    size_ = size;
    WipeFrom(size_, old);
  }
  // Wipes the text and keeps the storage.
  void Clear() { Truncate(0); }

  const Char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  View view() const { return size_ ? View(data_, size_) : View(); }
  operator View() const { return view(); }
  Char operator[](std::size_t i) const { return data_[i]; }

  friend bool operator==(const WipingText& a, const WipingText& b) { return a.view() == b.view(); }
  friend bool operator==(const WipingText& a, View b) { return a.view() == b; }

 private:
  void WipeFrom(std::size_t from, std::size_t to) {
    if (to > from) WipeMemory(data_ + from, (to - from) * sizeof(Char));
  }
  void Release() {
    if (!data_) return;
    WipeMemory(data_, capacity_ * sizeof(Char));
    source_->release(data_, capacity_ * sizeof(Char));
    data_ = nullptr;
    size_ = capacity_ = 0;
  }
  void Take(WipingText& other) {
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    source_ = other.source_;
  }

  Char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  const WipingStorageSource* source_ = nullptr;
};

using WipingU16Text = WipingText<char16_t>;
using WipingU8Text = WipingText<char>;

}  // namespace pinvale
