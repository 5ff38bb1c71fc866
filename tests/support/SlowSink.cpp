#include "tests/support/SlowSink.h"

#include <thread>

SlowSink::SlowSink(std::size_t limit) : limit_(limit) {
  setp(buffer_, buffer_ + sizeof buffer_);
}

SlowSink::int_type SlowSink::overflow(int_type c) {
  std::this_thread::yield();
  const auto pending = static_cast<std::size_t>(pptr() - pbase());
  if (text_.size() + pending > limit_) return traits_type::eof();
  text_.append(pbase(), pending);
  setp(buffer_, buffer_ + sizeof buffer_);
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int SlowSink::sync() {
  return traits_type::eq_int_type(overflow(traits_type::eof()),
                                  traits_type::eof())
             ? -1
             : 0;
}
