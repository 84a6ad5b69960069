// A byte buffer for documents of any size. A small one grows with realloc; a
// large one in address space reserved for it, so that it neither copies nor
// moves its bytes as it grows. It pre-faults the pages ahead of the write position.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

namespace vornetta::platform {

class TByteBuffer {
 public:
  TByteBuffer() = default;
  TByteBuffer(const TByteBuffer&) = delete;
  TByteBuffer& operator=(const TByteBuffer&) = delete;
  TByteBuffer(TByteBuffer&& other) noexcept { Swap(other); }
  TByteBuffer& operator=(TByteBuffer&& other) noexcept {
    TByteBuffer(std::move(other)).Swap(*this);
    return *this;
  }
  ~TByteBuffer() { Release(); }

  // Valid until the next change; a part must lie within Size().
  std::string_view View() const { return {data_, size_}; }
  std::string_view View(std::size_t start, std::size_t length) const { return {data_ + start, length}; }
  std::size_t Size() const { return size_; }

  // Makes room for `extra` more bytes, doubling the capacity. Throws
  // std::bad_alloc; the buffer is then unchanged.
  void Reserve(std::size_t extra);

  // Appends the bytes. Throws std::bad_alloc; the buffer is then unchanged.
  void Append(std::string_view bytes) {
    if (bytes.size() > capacity_ - size_) Reserve(bytes.size());
    if (!bytes.empty()) std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  // Drops the bytes from `size` on (at most Size()); the capacity stays.
  void Truncate(std::size_t size) noexcept { size_ = size < size_ ? size : size_; }

  // Puts `bytes` in place of the `length` bytes at `start`, moving what
  // follows once. Throws std::bad_alloc; the buffer is then unchanged.
  void Replace(std::size_t start, std::size_t length, std::string_view bytes);

  // Gives the memory back; the buffer is empty.
  void Release() noexcept;
  void Swap(TByteBuffer& other) noexcept;

 private:
  void MoveToReservation(std::size_t capacity);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t reserved_ = 0;    // address space mapped for data_, 0: data_ is from malloc
  std::size_t prefaulted_ = 0;  // bytes of data_ known to be backed by pages
};

}  // namespace vornetta::platform
