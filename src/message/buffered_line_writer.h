// A line writer that gathers lines (each with its CR LF) and hands them on in
// large blocks, so that a long body costs one write per block instead of one per
// line. Any byte sink can take the blocks: a socket, a file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "message/line_writer.h"

namespace vornetta::message {

class TBufferedLineWriter final : public TIdLineWriter {
 public:
  using TWriteBlock = std::function<void(std::string_view block)>;
  static constexpr std::size_t kBlockSize = 64 * 1024;

  // Blocks reach writeBlock once at least blockSize bytes are gathered (a line
  // is never split over two blocks) and on Flush.
  explicit TBufferedLineWriter(TWriteBlock writeBlock, std::size_t blockSize = kBlockSize);

  void SendLine(std::string_view line) override;

  // Hands on what is gathered. Call it before waiting for the peer's answer.
  // The destructor does not flush: after a failure the rest is dropped.
  void Flush();

 private:
  TWriteBlock writeBlock_;
  std::size_t blockSize_;
  std::string pending_;
};

}  // namespace vornetta::message
