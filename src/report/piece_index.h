// Where each piece of the report text starts, in about one byte per piece: a
// report has some ten pieces per row, so a full offset per piece would cost
// almost a tenth of the document again. Each piece's size is kept in one byte
// (sizes from 255 up in a side list, in piece order), and the full offset of
// every 256th piece; every piece is followed by kLineEnd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace vornetta::report {

// What follows every piece of the report text.
inline constexpr std::string_view kLineEnd = "\r\n";

class TPieceIndex {
 public:
  static constexpr std::size_t kCheckpointEvery = 256;

  // Records the next piece: `size` bytes (its line end not counted) starting
  // at `offset`. Throws std::bad_alloc; the index is then unchanged.
  void Add(std::size_t offset, std::size_t size);

  std::size_t Count() const { return sizes_.size(); }
  // Start and size of piece `index` (below Count()); Start takes up to 255 steps.
  std::size_t Start(std::size_t index) const;
  std::size_t Size(std::size_t index) const;

  // Calls each(start, size) for every piece in order, one step per piece.
  template <typename Each>
  void ForEach(Each&& each) const {
    std::size_t start = 0;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (i % kCheckpointEvery == 0) start = checkpoints_[i / kCheckpointEvery];
      const std::size_t size = Size(i);
      each(start, size);
      start += size + kLineEnd.size();
    }
  }

  // Piece `index` (below Count()) is now `size` bytes long and every later
  // piece moved by the difference. One step per 256 pieces after it. Throws
  // std::bad_alloc; the index is then unchanged.
  void Resize(std::size_t index, std::size_t size);

  // Forgets every piece and gives the memory back.
  void Clear();
  void Swap(TPieceIndex& other) noexcept;

 private:
  static constexpr std::uint8_t kLong = 255;  // the size is in longSizes_

  std::vector<std::uint8_t> sizes_;
  std::vector<std::size_t> checkpoints_;
  std::vector<std::pair<std::size_t, std::size_t>> longSizes_;  // (piece, size)
};

}  // namespace vornetta::report
