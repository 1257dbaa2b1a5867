// ConsoleSink.h — kept for code that includes the sink by its former path; the sink
// lives in core/log/sinks/ with the other sinks.
#pragma once

#include "core/log/sinks/ConsoleSink.h"
