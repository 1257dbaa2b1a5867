// OrvantisCore.h — every public header of the OrvantisCore library.
//
//   #include <OrvantisCore.h>
//   Orvantis::Log::init(Orvantis::Log::Info, Orvantis::Log::Synchronous);
#pragma once

#include "core/Export.h"
#include "core/utils/Flags.h"
#include "core/utils/Optional.h"

#include "core/log/Level.h"
#include "core/log/Sink.h"
#include "core/log/Log.h"
#include "core/log/sinks/ConsoleSink.h"
#include "core/log/sinks/FileSink.h"
#include "core/log/CrashReporting.h"
#include "core/log/sinks/RotatingFileSink.h"
#if !defined(_WIN32)
#include "core/log/sinks/SyslogSink.h"
#include "core/log/sinks/JournalSink.h"
#endif

#include "core/diagnostics/Assert.h"
#include "core/platform/Platform.h"

#include "core/buffer/ByteBufferView.h"
#include "core/buffer/ByteBuffer.h"
#include "core/crypto/Cryptography.h"

#include "core/string/String.h"
#include "core/utils/Version.h"

#include "core/filesystem/Path.h"
#include "core/filesystem/Directory.h"
#include "core/filesystem/File.h"
#include "core/filesystem/Url.h"

#include "core/signals/SignalConnection.h"
#include "core/signals/Signal.h"

#include "core/threading/StoppableThread.h"
#include "core/threading/ThreadPool.h"
#include "core/threading/PlaybackTimer.h"
