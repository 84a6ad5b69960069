#include "message/buffered_line_writer.h"

#include <utility>

namespace vornetta::message {

TBufferedLineWriter::TBufferedLineWriter(TWriteBlock writeBlock, std::size_t blockSize)
    : writeBlock_(std::move(writeBlock)), blockSize_(blockSize == 0 ? 1 : blockSize) {
  pending_.reserve(blockSize_ + 256);
}

void TBufferedLineWriter::SendLine(std::string_view line) {
  pending_.append(line);
  pending_.append("\r\n");
  if (pending_.size() >= blockSize_) Flush();
}

void TBufferedLineWriter::Flush() {
  if (pending_.empty()) return;
  writeBlock_(pending_);
  // A line longer than a block grew the buffer: give that memory back.
  if (pending_.capacity() > 2 * blockSize_) {
    std::string().swap(pending_);
    pending_.reserve(blockSize_ + 256);
  } else {
    pending_.clear();
  }
}

}  // namespace vornetta::message
