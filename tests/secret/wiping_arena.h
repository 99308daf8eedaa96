#pragma once

// Storage for WipingText that the test owns. While a WipingArena lives, every WipingText
// takes its blocks from it; a released block stays readable (the arena still owns the
// memory), so a test can check that what was given back was wiped, after its owner is gone.

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>

#include "secret/wiping_text.h"

namespace pinvale::test {

class WipingArena {
 public:
  struct Block {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t size = 0;
    bool released = false;
  };

  WipingArena() {
    instance_ = this;
    previous_ = SetWipingStorageSourceForTesting(&kSource);
  }
  ~WipingArena() {
    SetWipingStorageSourceForTesting(previous_);
    std::lock_guard lock(mutex_);
    instance_ = nullptr;
    // A block still in use is left to its owner, which frees it through Release.
    for (Block& block : blocks_) {
      if (!block.released) static_cast<void>(block.bytes.release());
    }
  }
  WipingArena(const WipingArena&) = delete;
  WipingArena& operator=(const WipingArena&) = delete;

  // The block that begins at `data`, or nullptr.
  const Block* Find(const void* data) const {
    std::lock_guard lock(mutex_);
    for (const Block& block : blocks_) {
      if (block.bytes.get() == data) return &block;
    }
    return nullptr;
  }
  static bool AllZero(const Block& block) {
    for (std::size_t i = 0; i < block.size; ++i) {
      if (block.bytes[i] != std::byte{0}) return false;
    }
    return true;
  }
  std::size_t Allocated() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
  }
  std::size_t Live() const {
    std::lock_guard lock(mutex_);
    std::size_t live = 0;
    for (const Block& block : blocks_) live += block.released ? 0 : 1;
    return live;
  }
  // Blocks given back with a byte that is not zero.
  std::size_t ReleasedUnwiped() const {
    std::lock_guard lock(mutex_);
    std::size_t unwiped = 0;
    for (const Block& block : blocks_) unwiped += block.released && !AllZero(block) ? 1 : 0;
    return unwiped;
  }
  // Whether the bytes of `text` appear in any block, in use or given back.
  template <typename Char>
  bool Holds(std::basic_string_view<Char> text) const {
    const std::string_view needle(reinterpret_cast<const char*>(text.data()),
                                  text.size() * sizeof(Char));
    std::lock_guard lock(mutex_);
    for (const Block& block : blocks_) {
      const std::string_view hay(reinterpret_cast<const char*>(block.bytes.get()), block.size);
      if (hay.find(needle) != std::string_view::npos) return true;
    }
    return false;
  }

 private:
  static void* Allocate(std::size_t bytes) {
    WipingArena* arena = instance_.load();
    std::lock_guard lock(arena->mutex_);
    Block& block = arena->blocks_.emplace_back();
    block.bytes = std::make_unique<std::byte[]>(bytes);
    block.size = bytes;
    // Not zero: WipingText must clear new storage itself.
    for (std::size_t i = 0; i < bytes; ++i) block.bytes[i] = std::byte{0xA5};
    return block.bytes.get();
  }
  static void Release(void* data, std::size_t /*bytes*/) {
    WipingArena* arena = instance_.load();
    if (arena == nullptr) {
      std::unique_ptr<std::byte[]> orphan(static_cast<std::byte*>(data));
      return;
    }
    std::lock_guard lock(arena->mutex_);
    for (Block& block : arena->blocks_) {
      if (block.bytes.get() == data) block.released = true;
    }
  }

  static constexpr WipingStorageSource kSource{&Allocate, &Release};
  static inline std::atomic<WipingArena*> instance_{nullptr};
  const WipingStorageSource* previous_ = nullptr;
  mutable std::mutex mutex_;
  std::deque<Block> blocks_;  // a deque: Find's pointers stay valid as blocks are added
};

}  // namespace pinvale::test
