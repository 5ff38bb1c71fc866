#include "solve/BlockReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "solve/ChainFiles.h"
#include "tests/support/RunProcess.h"

namespace {

// An open file descriptor, closed when it goes.
struct Fd {
  explicit Fd(const std::string& path) : fd(open(path.c_str(), O_RDONLY)) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  int fd;
};

std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  }
  return text;
}

TEST(BlockReaderTest, BlocksJoinUpToTheFileAtEverySize) {
  ScopedTempDir dir;
  constexpr std::size_t kBlock = 7;
  for (std::size_t size : {0, 1, 6, 7, 8, 27, 28, 29, 1000}) {
    SCOPED_TRACE(size);
    const std::string path = dir.path() + "/f";
    const std::string text = Pattern(size);
    std::ofstream(path, std::ios::binary) << text;
    Fd file(path);
    BlockReader reader(file.fd, kBlock);
    std::string joined;
    std::string_view block;
    while (reader.Next(&block)) {
      EXPECT_GT(block.size(), 0u);
      EXPECT_LE(block.size(), kBlock);
      joined.append(block);
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(reader.error(), 0);
    EXPECT_FALSE(reader.Next(&block));  // and stays at the end
    // A second reader on the same descriptor, from the middle, reads the
    // rest and leaves the first reader's file position alone.
    BlockReader tail(file.fd, kBlock, size / 2);
    joined.clear();
    while (tail.Next(&block)) joined.append(block);
    EXPECT_EQ(joined, text.substr(size / 2));
    EXPECT_EQ(lseek(file.fd, 0, SEEK_CUR), 0);
  }
}

TEST(BlockReaderTest, StopsEarlyAndReportsAReadError) {
  ScopedTempDir dir;
  const std::string path = dir.path() + "/f";
  std::ofstream(path, std::ios::binary) << Pattern(100000);
  {
    // The consumer leaves after one block, with the reader blocks ahead.
    Fd file(path);
    BlockReader reader(file.fd, 16);
    std::string_view block;
    ASSERT_TRUE(reader.Next(&block));
  }
  Fd folder(dir.path());
  BlockReader reader(folder.fd, 16);
  std::string_view block;
  EXPECT_FALSE(reader.Next(&block));
  EXPECT_EQ(reader.error(), EISDIR);
}

// Several megabytes of blocks, so that lines straddle the reader's blocks:
// reading the file gives what parsing its text in memory gives, and a cut
// inside the last number is caught either way.
TEST(BlockReaderTest, AStateSpaceFileReadsAsItsTextParses) {
  constexpr std::uint32_t kStates = 100000;
  std::string text =
      "1\n" + std::to_string(kStates) + "\n" + std::string(56, ' ') + "\n";
  for (std::uint32_t s = 1; s <= kStates; ++s) {
    // Targets increase within a block.
    const std::uint32_t next = s % kStates + 1;
    const std::uint32_t jump = (s + 7) % kStates + 1;
    text += std::to_string(s) + "\n" + std::to_string(std::min(next, jump)) +
            "\n1.2500000000e+00\n" + std::to_string(std::max(next, jump)) +
            "\n3.0000000000e-01\n0\n";
  }
  ScopedTempDir dir;
  const std::string path = dir.path() + "/x.arm";
  std::ofstream(path, std::ios::binary) << text;
  StateSpace parsed;
  ASSERT_TRUE(ParseStateSpace(text, path, &parsed).ok);
  StateSpace read;
  // The progress reports climb a block at a time to the file's size.
  std::vector<std::size_t> reports;
  const Status status =
      ReadStateSpace(path, &read, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, text.size());
        reports.push_back(done);
      });
  ASSERT_TRUE(status.ok) << status.message;
  ASSERT_EQ(reports.size(),
            (text.size() + BlockReader::kDefaultBlockBytes - 1) /
                BlockReader::kDefaultBlockBytes);
  for (std::size_t k = 0; k + 1 < reports.size(); ++k) {
    EXPECT_EQ(reports[k], (k + 1) * BlockReader::kDefaultBlockBytes);
  }
  EXPECT_EQ(reports.back(), text.size());
  EXPECT_EQ(read.first, parsed.first);
  EXPECT_EQ(read.target, parsed.target);
  EXPECT_EQ(read.rate, parsed.rate);

  const std::string cut = text.substr(0, text.size() - 12);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << cut;
  const Status from_file = ReadStateSpace(path, &read);
  const Status from_text = ParseStateSpace(cut, path, &parsed);
  EXPECT_FALSE(from_file.ok);
  EXPECT_EQ(from_file.message, from_text.message);
}

}  // namespace
