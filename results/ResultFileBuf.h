#ifndef GEN_RESULTS_RESULTFILEBUF_H_
#define GEN_RESULTS_RESULTFILEBUF_H_

#include <cstdint>
#include <streambuf>
#include <vector>

// An output stream buffer over a file descriptor it does not own. Bytes are
// collected in a buffer of its own and written with write(2); large pieces
// go to the file directly. The first failed write is remembered with its
// errno, and every write after it is refused, so the stream fails at once
// and the file holds no gap. Seeking (needed to rewrite a header) writes out
// the buffer first.
class ResultFileBuf : public std::streambuf {
 public:
  // `failure_clock` orders failures across the files of one set: a failing
  // buffer takes the next tick as its failure's rank. Not owned; may be
  // null.
  ResultFileBuf(int fd, std::uint64_t* failure_clock);
  ResultFileBuf(const ResultFileBuf&) = delete;
  ResultFileBuf& operator=(const ResultFileBuf&) = delete;

  // Writes out the buffer; false when this or an earlier write failed.
  bool WriteOut();

  bool failed() const { return failed_; }
  // errno of the first failed write; 0 when it failed without one.
  int error() const { return error_; }
  // Rank of the failure among the set's failures (1 is the first).
  std::uint64_t failure_rank() const { return failure_rank_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  bool WriteAll(const char* data, std::size_t count);
  void Fail(int error);

  int fd_;
  std::uint64_t* failure_clock_;
  std::vector<char> buffer_;
  bool failed_ = false;
  int error_ = 0;
  std::uint64_t failure_rank_ = 0;
};

#endif  // GEN_RESULTS_RESULTFILEBUF_H_
