#include "LogRedirect.h"

#include "DebugLog.h"

LogRedirect::LogRedirect(std::ostream& stream) : found(debug_log()) { set_debug_log(stream); }

LogRedirect::LogRedirect(Lines) : found(debug_log()) { set_debug_log(nowhere); }

LogRedirect::~LogRedirect() { set_debug_log(found); }
