// FatalReporter.h — installs the reporter of fatal processor exceptions
// (not exported).
#pragma once

namespace Orvantis::Log::detail {

// Called by Log::init before it sets the level and creates the logger.
void installFatalExceptionReporter();

}  // namespace Orvantis::Log::detail
