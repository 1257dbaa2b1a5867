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
//
// What a crash ends with, with logging initialised: exit status -106 (150 as
// the shell sees it), whatever else goes wrong at the same time.
//   - Several threads may fault at once. Each builds its own report; the
//     first to reach the Fatal handling flushes the sinks and ends the
//     process, the others wait for that end.
//   - A sink that throws while the report is written or flushed is ignored;
//     the other sinks still get the report and are flushed.
//   - Last resort (not on Windows). Building the full report allocates and
//     takes locks, and the faulting code may have held one of them (a crash
//     inside malloc, or with standard output's lock held). So the reporter
//     first saves the raw frame addresses and arms a watchdog, a timer of
//     two seconds on the faulting thread. If the full report has not ended
//     the process by then, the watchdog writes a short report using only
//     async-signal-safe calls and ends the process with _exit(-106): no
//     flushing, no exit handlers. The short report is
//       "***** Encountered fatal exception: <name>, PID <pid> *****\n"
//     followed by one line per frame, " 0# 0x00007F3A1C2B4E10", addresses
//     without names, written to standard output and, as a FATAL line with a
//     time stamp, to every file sink's file. A second fault on a thread that
//     is already reporting takes the same way at once. The watchdog's timer
//     signals the faulting thread with SIGRTMAX - 1; its handler is installed
//     only while a report is being built.
#pragma once

#include "core/Export.h"

namespace Orvantis::Log {

// Gives the calling thread an alternate signal stack (once; later calls do
// nothing). It is released when the thread ends. A no-op on Windows.
ORVANTIS_API void prepareThreadForCrashReports();

}  // namespace Orvantis::Log
