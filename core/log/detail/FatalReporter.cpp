#include "core/log/detail/FatalReporter.h"

namespace Orvantis::Log::detail {

void installFatalExceptionReporter() {
}

}  // namespace Orvantis::Log::detail
