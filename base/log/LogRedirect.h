// The debug log sent elsewhere for a while: for the life of the object its lines go to another
// stream, or nowhere, and then to the stream that was the debug log before, whatever that was.
// Redirections nest, each undoing its own.
#pragma once

#include "StreambufNull.h"

#include <ostream>

class LogRedirect {
public:
  // Where the lines go when they are to be kept nowhere.
  enum class Lines { Discarded };

  // Into `stream`, which must outlive the object.
  explicit LogRedirect(std::ostream& stream);
  explicit LogRedirect(Lines);
  ~LogRedirect();
  LogRedirect(const LogRedirect&) = delete;
  LogRedirect& operator=(const LogRedirect&) = delete;

private:
  std::ostream& found;
  StreambufNull<> discard;
  std::ostream nowhere{&discard};
};
