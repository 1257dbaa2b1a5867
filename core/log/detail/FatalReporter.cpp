#include "core/log/detail/FatalReporter.h"

#include "core/log/CrashReporting.h"

namespace Orvantis::Log::detail {

void installFatalExceptionReporter() {
}

}  // namespace Orvantis::Log::detail

namespace Orvantis::Log {

void prepareThreadForCrashReports() {
}

}  // namespace Orvantis::Log
