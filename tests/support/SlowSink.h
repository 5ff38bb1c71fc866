#ifndef GEN_TESTS_SUPPORT_SLOWSINK_H_
#define GEN_TESTS_SUPPORT_SLOWSINK_H_

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <thread>

// A stream buffer that keeps what it is given, one character at a time,
// yielding the processor every 64, so that a thread writing to it falls
// behind its producer. Past `limit` bytes it fails, like a full disk.
class SlowSink : public std::streambuf {
 public:
  explicit SlowSink(std::size_t limit = SIZE_MAX) : limit_(limit) {}
  const std::string& text() const { return text_; }

 protected:
  int_type overflow(int_type c) override {
    if (text_.size() % 64 == 0) std::this_thread::yield();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    if (text_.size() >= limit_) return traits_type::eof();
    text_.push_back(traits_type::to_char_type(c));
    return c;
  }

 private:
  std::size_t limit_;
  std::string text_;
};

#endif  // GEN_TESTS_SUPPORT_SLOWSINK_H_
