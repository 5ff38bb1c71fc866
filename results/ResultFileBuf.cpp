#include "results/ResultFileBuf.h"

#include <unistd.h>

#include <cerrno>

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

}  // namespace

ResultFileBuf::ResultFileBuf(int fd, std::uint64_t* failure_clock)
    : fd_(fd), failure_clock_(failure_clock), buffer_(kBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

void ResultFileBuf::Fail(int error) {
  if (failed_) return;
  failed_ = true;
  error_ = error;
  failure_rank_ = failure_clock_ != nullptr ? ++*failure_clock_ : 1;
}

bool ResultFileBuf::WriteAll(const char* data, std::size_t count) {
  if (failed_) return false;
  while (count > 0) {
    const ssize_t written = ::write(fd_, data, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return false;
    }
    if (written == 0) {
      // write(2) makes no progress only on a device that takes no more.
      Fail(ENOSPC);
      return false;
    }
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ResultFileBuf::WriteOut() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  const bool written = WriteAll(pbase(), pending);
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return written;
}

ResultFileBuf::int_type ResultFileBuf::overflow(int_type c) {
  if (!WriteOut()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize ResultFileBuf::xsputn(const char* data, std::streamsize count) {
  const auto room = static_cast<std::streamsize>(epptr() - pptr());
  if (count <= room) {
    traits_type::copy(pptr(), data, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
  }
  // A piece larger than the room left goes to the file without copying.
  if (!WriteOut() || !WriteAll(data, static_cast<std::size_t>(count))) {
    return 0;
  }
  return count;
}

int ResultFileBuf::sync() { return WriteOut() ? 0 : -1; }

ResultFileBuf::pos_type ResultFileBuf::seekoff(off_type offset,
                                               std::ios_base::seekdir direction,
                                               std::ios_base::openmode which) {
  const pos_type refused = pos_type(off_type(-1));
  if ((which & std::ios_base::out) == 0 || !WriteOut()) return refused;
  int whence = SEEK_SET;
  if (direction == std::ios_base::cur) whence = SEEK_CUR;
  if (direction == std::ios_base::end) whence = SEEK_END;
  const off_t position = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0) return refused;
  return pos_type(off_type(position));
}

ResultFileBuf::pos_type ResultFileBuf::seekpos(pos_type position,
                                               std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}
