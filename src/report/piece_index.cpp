#include "report/piece_index.h"

#include <algorithm>

namespace vornetta::report {

void TPieceIndex::Add(std::size_t offset, std::size_t size) {
  const std::size_t index = Count();
  // Room first, so that nothing below can fail half done.
  if (sizes_.size() == sizes_.capacity()) sizes_.reserve(std::max<std::size_t>(4096, sizes_.capacity() * 2));
  const bool checkpoint = index % kCheckpointEvery == 0;
  if (checkpoint) checkpoints_.reserve(checkpoints_.size() + 1);
  const bool isLong = size >= kLong;
  if (isLong) longSizes_.reserve(longSizes_.size() + 1);

  if (checkpoint) checkpoints_.push_back(offset);
  if (isLong) longSizes_.emplace_back(index, size);
  sizes_.push_back(isLong ? kLong : static_cast<std::uint8_t>(size));
}

std::size_t TPieceIndex::Size(std::size_t index) const {
  if (sizes_[index] != kLong) return sizes_[index];
  const auto found = std::lower_bound(longSizes_.begin(), longSizes_.end(), index,
                                      [](const auto& entry, std::size_t i) { return entry.first < i; });
  return found->second;
}

std::size_t TPieceIndex::Start(std::size_t index) const {
  const std::size_t first = index - index % kCheckpointEvery;
  std::size_t start = checkpoints_[first / kCheckpointEvery];
  for (std::size_t i = first; i < index; ++i) start += Size(i) + kLineEnd.size();
  return start;
}

void TPieceIndex::Resize(std::size_t index, std::size_t size) {
  const std::size_t old = Size(index);
  const auto entry = std::lower_bound(longSizes_.begin(), longSizes_.end(), index,
                                      [](const auto& e, std::size_t i) { return e.first < i; });
  const bool wasLong = sizes_[index] == kLong;
  const bool isLong = size >= kLong;
  if (isLong && !wasLong) {
    longSizes_.insert(entry, {index, size});
  } else if (isLong) {
    entry->second = size;
  } else if (wasLong) {
    longSizes_.erase(entry);
  }
  sizes_[index] = isLong ? kLong : static_cast<std::uint8_t>(size);
  for (std::size_t c = index / kCheckpointEvery + 1; c < checkpoints_.size(); ++c) checkpoints_[c] = checkpoints_[c] + size - old;
}

void TPieceIndex::Clear() {
  TPieceIndex empty;
  Swap(empty);
}

void TPieceIndex::Swap(TPieceIndex& other) noexcept {
  sizes_.swap(other.sizes_);
  checkpoints_.swap(other.checkpoints_);
  longSizes_.swap(other.longSizes_);
}

}  // namespace vornetta::report
