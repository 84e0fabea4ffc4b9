// A stream buffer that accepts every character and keeps none: the discarding debug sink.
#pragma once

#include <streambuf>

template <typename Unused = int> class StreambufNull : public std::basic_streambuf<char> {
protected:
  int_type overflow(int_type c) override { return c; }
};
