#include "platform/byte_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
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

// A block from this size on lives in address space reserved for it, so that it
// grows where it is, in huge pages where the system allows them. On virtual
// machines the first touch of a page costs several microseconds, more than
// writing or scanning it: moving a large block to other addresses (as realloc
// does) makes every moved page new again, and huge pages need a 512th of the touches.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;
// Address space claimed per block, before any of it is backed by memory.
constexpr std::size_t kAddressSpace = std::size_t{8} << 30;

// Address space without memory behind it, huge pages asked for; null when none is left.
char* MapReservation(std::size_t bytes) {
  void* at = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  ::madvise(at, bytes, MADV_HUGEPAGE);
#endif
  return static_cast<char*>(at);
}

// Makes reserved address space usable; false when memory is refused.
bool Commit(char* at, std::size_t bytes) { return ::mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0; }

}  // namespace

void TByteBuffer::Reserve(std::size_t extra) {
  if (extra > SIZE_MAX / 2 - size_) throw std::bad_alloc();
  const std::size_t needed = size_ + extra;
  Prefault(data_, capacity_, needed, prefaulted_);
  if (needed <= capacity_) return;
  std::size_t next = capacity_ < 256 ? 256 : capacity_;
  while (next < needed) next *= 2;
  if (next < kMapFrom) {
    void* moved = std::realloc(data_, next);
    if (!moved) throw std::bad_alloc();
    data_ = static_cast<char*>(moved);
  } else if (next <= reserved_) {
    if (!Commit(data_ + capacity_, next - capacity_)) throw std::bad_alloc();
  } else {
    MoveToReservation(next);
  }
  capacity_ = next;
  Prefault(data_, capacity_, needed, prefaulted_);
}

// Takes a reservation for `capacity` bytes and more, commits `capacity` bytes
// of it and brings the bytes over: a mapped block by moving its pages, a small
// one (or one whose pages will not move) by copying. Leaves the buffer
// unchanged when it throws.
void TByteBuffer::MoveToReservation(std::size_t capacity) {
  std::size_t reservation = capacity < kAddressSpace / 2 ? kAddressSpace : capacity * 2;
  char* fresh = MapReservation(reservation);
  if (!fresh) {  // address space is limited (ulimit -v): claim just what is needed
    reservation = capacity;
    fresh = MapReservation(reservation);
  }
  if (!fresh) throw std::bad_alloc();
  const bool moved =
      reserved_ > 0 && ::mremap(data_, capacity_, capacity_, MREMAP_MAYMOVE | MREMAP_FIXED, fresh) != MAP_FAILED;
  if (!Commit(fresh + (moved ? capacity_ : 0), capacity - (moved ? capacity_ : 0))) {
    // the moved pages go back where they were, so the buffer stays whole
    if (moved) ::mremap(fresh, capacity_, capacity_, MREMAP_MAYMOVE | MREMAP_FIXED, data_);
    ::munmap(fresh, reservation);
    throw std::bad_alloc();
  }
  if (moved) {
    ::munmap(data_ + capacity_, reserved_ - capacity_);
  } else {
    if (size_ > 0) std::memcpy(fresh, data_, size_);
    if (reserved_ > 0)
      ::munmap(data_, reserved_);
    else
      std::free(data_);
    prefaulted_ = size_;
  }
  data_ = fresh;
  reserved_ = reservation;
}

void TByteBuffer::Replace(std::size_t start, std::size_t length, std::string_view bytes) {
  if (bytes.size() > length) Reserve(bytes.size() - length);
  std::memmove(data_ + start + bytes.size(), data_ + start + length, size_ - start - length);
  if (!bytes.empty()) std::memcpy(data_ + start, bytes.data(), bytes.size());
  size_ = size_ + bytes.size() - length;
}

void TByteBuffer::Release() noexcept {
  if (reserved_ > 0)
    ::munmap(data_, reserved_);
  else
    std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = reserved_ = prefaulted_ = 0;
}

void TByteBuffer::Swap(TByteBuffer& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(reserved_, other.reserved_);
  std::swap(prefaulted_, other.prefaulted_);
}

}  // namespace vornetta::platform
