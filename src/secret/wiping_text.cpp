#include "secret/wiping_text.h"

#include <mbedtls/platform_util.h>

#include <atomic>
#include <memory>

namespace pinvale {

void WipeMemory(void* data, std::size_t bytes) {
  if (data && bytes) mbedtls_platform_zeroize(data, bytes);
}

namespace {

void* HeapAllocate(std::size_t bytes) {
  return std::allocator<std::byte>().allocate(bytes);
}
void HeapRelease(void* block, std::size_t bytes) {
  std::allocator<std::byte>().deallocate(static_cast<std::byte*>(block), bytes);
}

constexpr WipingStorageSource kHeap{&HeapAllocate, &HeapRelease};
std::atomic<const WipingStorageSource*> g_source{&kHeap};

}  // namespace

const WipingStorageSource* SetWipingStorageSourceForTesting(const WipingStorageSource* source) {
  return g_source.exchange(source ? source : &kHeap);
}

namespace detail {
const WipingStorageSource* CurrentWipingStorageSource() {
  return g_source.load();
}
}  // namespace detail

}  // namespace pinvale
