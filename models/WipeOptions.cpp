#include "WipeOptions.h"

WipeOptions::WipeOptions()
    : sectorsPerTime(256), pattern_(1, '\0'), ignoreWriteErrors(false), ignoreReadErrors(false),
      ignoreCompareErrors(false), updatePeriod(300), mode_(0), jumpAfterErrorSectors(1),
      jumpAfterErrorDouble(true), verify_(false) {}
