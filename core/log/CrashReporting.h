// CrashReporting.h — preparing threads for the fatal-exception reporter.
//
// Log::init installs a reporter that logs a Fatal record with a stack trace
// when a thread hits an illegal instruction, a stack overflow, an access
// violation or an integer division by zero. Reporting a stack overflow needs
// a little stack of its own on the overflowing thread: the library gives one
// to the thread that calls Log::init and to every thread it starts
// (StoppableThread, ThreadPool workers, the logger thread). A host that wants
// the same for its own threads calls prepareThreadForCrashReports() at the
// start of each.
#pragma once

#include "core/Export.h"

namespace Orvantis::Log {

// Gives the calling thread an alternate signal stack (once; later calls do
// nothing). It is released when the thread ends. A no-op on Windows.
ORVANTIS_API void prepareThreadForCrashReports();

}  // namespace Orvantis::Log
