#ifndef GEN_TESTS_SUPPORT_SLOWSINK_H_
#define GEN_TESTS_SUPPORT_SLOWSINK_H_

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>

// A stream buffer that keeps what it is given, passing it on through a
// tiny buffer and yielding the processor on every overflow, so that a
// thread writing to it falls behind its producer. Once `limit` bytes have
// arrived it fails for good, like a full disk.
class SlowSink : public std::streambuf {
 public:
  explicit SlowSink(std::size_t limit = SIZE_MAX);
  SlowSink(const SlowSink&) = delete;
  SlowSink& operator=(const SlowSink&) = delete;

  // Everything taken so far (a flush of the stream passes on the rest).
  const std::string& text() const { return text_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  std::size_t limit_;
  char buffer_[16];
  std::string text_;
};

#endif  // GEN_TESTS_SUPPORT_SLOWSINK_H_
