// The report's byte buffer across its ways of growing: in the heap, in address
// space of its own, and moved when the system limits address space (ulimit -v).
// Every way must keep every byte.
#include "platform/byte_buffer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace vornetta::platform {
namespace {

// Appends pieces of changing length up to `bytes`, replaces and truncates on
// the way, and tells whether the buffer equals the same edits on a string.
bool GrowsLikeAString(std::size_t bytes) {
  TByteBuffer buffer;
  std::string model;
  std::string piece;
  for (std::size_t n = 0; model.size() < bytes; ++n) {
    piece.assign(1 + n * 7919 % 70000, static_cast<char>('a' + n % 26));
    buffer.Append(piece);
    model += piece;
    if (n % 97 == 5) {  // a longer and a shorter replacement in the middle
      const std::size_t at = model.size() / 3;
      buffer.Replace(at, 10, "0123456789ABCDEF");
      model.replace(at, 10, "0123456789ABCDEF");
      buffer.Replace(at, 16, "xyz");
      model.replace(at, 16, "xyz");
    }
    if (n % 131 == 7) {
      buffer.Truncate(model.size() - 5);
      model.resize(model.size() - 5);
    }
    if (n % 64 == 0 && buffer.View() != model) return false;
  }
  // Moved into another buffer and back, the bytes stay where they are.
  TByteBuffer other(std::move(buffer));
  buffer = std::move(other);
  return buffer.View() == model && other.Size() == 0;
}

TEST(ByteBuffer, KeepsEveryByteFromTheHeapIntoItsOwnAddressSpace) {
  EXPECT_TRUE(GrowsLikeAString(24u << 20));
  TByteBuffer small, large;
  small.Append("klein");
  large.Append(std::string(3u << 20, 'g'));
  small.Swap(large);
  EXPECT_EQ(large.View(), "klein");
  EXPECT_EQ(small.Size(), 3u << 20);
  small.Release();
  EXPECT_EQ(small.Size(), 0u);
  small.Append("wieder");
  EXPECT_EQ(small.View(), "wieder");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Under a limit on address space the buffer claims only what it needs, so
// each growth moves its pages to a larger claim.
TEST(ByteBuffer, KeepsEveryByteWhenAddressSpaceIsLimited) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key && key != "VmSize:") status.ignore(1 << 10, '\n');
    status >> kilobytes;
    const rlim_t limit = static_cast<rlim_t>(kilobytes + (512 << 10)) * 1024;
    const rlimit space{limit, limit};
    if (kilobytes == 0 || setrlimit(RLIMIT_AS, &space) != 0) _exit(2);
    _exit(GrowsLikeAString(64u << 20) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace vornetta::platform
