#include "platform/byte_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace vornetta::platform {
namespace {

// Pre-faults the pages of a large block a megabyte ahead of the write
// position in one call: taking the page faults one by one costs more than
// writing the report into the pages. Only a hint; nothing fails without it.
void Prefault(char* data, std::size_t capacity, std::size_t needed, std::size_t& prefaulted) {
#ifdef MADV_POPULATE_WRITE
  constexpr std::size_t kAhead = std::size_t{1} << 20;
  if (needed <= prefaulted || capacity < kAhead) return;
  const auto page = static_cast<std::uintptr_t>(4096);
  const auto base = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (base + prefaulted + page - 1) & ~(page - 1);
  const std::size_t until = needed + kAhead < capacity ? needed + kAhead : capacity;
  const std::uintptr_t end = (base + until) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
  prefaulted = until;
#else
  (void)data;
  (void)capacity;
  (void)needed;
  (void)prefaulted;
#endif
}

}  // namespace

void TByteBuffer::Reserve(std::size_t extra) {
  const std::size_t needed = size_ + extra;
  Prefault(data_, capacity_, needed, prefaulted_);
  if (needed <= capacity_) return;
  std::size_t next = capacity_ < 256 ? 256 : capacity_;
  while (next < needed) next *= 2;
  void* moved = std::realloc(data_, next);
  if (!moved) throw std::bad_alloc();
  data_ = static_cast<char*>(moved);
  capacity_ = next;
  Prefault(data_, capacity_, needed, prefaulted_);
}

void TByteBuffer::Replace(std::size_t start, std::size_t length, std::string_view bytes) {
  if (bytes.size() > length) Reserve(bytes.size() - length);
  std::memmove(data_ + start + bytes.size(), data_ + start + length, size_ - start - length);
  if (!bytes.empty()) std::memcpy(data_ + start, bytes.data(), bytes.size());
  size_ = size_ + bytes.size() - length;
}

void TByteBuffer::Release() noexcept {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = prefaulted_ = 0;
}

void TByteBuffer::Swap(TByteBuffer& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(prefaulted_, other.prefaulted_);
}

}  // namespace vornetta::platform
