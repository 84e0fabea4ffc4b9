#pragma once

#include "ReaderStd.h"
#include "WriterStd.h"

namespace dt {

// The interface of every device the engine reads and writes by byte offset. A device is owned
// and deleted through this interface; its destructor closes what it holds.
class ReaderWriterStd : public ReaderStd, public WriterStd {};

} // namespace dt
