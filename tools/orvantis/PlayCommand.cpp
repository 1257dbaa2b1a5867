// `orvantis play`: plays a range of frames with the PlaybackTimer and reports
// how late each frame was called against its due time.
//
// Due times follow the timer's schedule: within one pass of the range, frame
// k is due (k - first) frame intervals after the first frame of the pass; the
// first call of a run sets the time base, and a looped pass starts one loop
// pause after the last frame of the previous one was called.
#include "Command.h"

#include <OrvantisCore.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace OrvantisTool {
namespace {

using namespace Orvantis;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

struct PlayOptions {
    double fps = 0;
    std::size_t frames = 0;
    bool loop = false;
    bool skip = true;
    double busyMs = 0;
    double seconds = 0;  // 0: until a plain range ends, three passes of a looped one
};

double parseNumber(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || !std::isfinite(value)) {
        throw UsageError(option + " needs a number, not '" + text + "'");
    }
    return value;
}

PlayOptions parseOptions(const Arguments& args) {
    PlayOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> double {
            if (i + 1 >= args.size()) {
                throw UsageError(a + " needs a value");
            }
            return parseNumber(a, args[++i]);
        };
        if (a == "--fps") {
            o.fps = value();
        } else if (a == "--frames") {
            const double n = value();
            if (n < 1 || n != std::floor(n) || n > 1e8) {
                throw UsageError("--frames needs a whole number from 1 to 100000000");
            }
            o.frames = static_cast<std::size_t>(n);
        } else if (a == "--loop") {
            o.loop = true;
        } else if (a == "--no-skip") {
            o.skip = false;
        } else if (a == "--busy") {
            o.busyMs = value();
        } else if (a == "--seconds") {
            o.seconds = value();
        } else {
            throw UsageError("unknown argument '" + a + "'");
        }
    }
    if (!(o.fps > 0) || o.fps > 1e6) {
        throw UsageError("--fps needs a frame rate above 0 and at most 1000000");
    }
    if (o.frames == 0) {
        throw UsageError("--frames is required");
    }
    if (o.busyMs < 0 || o.seconds < 0 || o.seconds > 86400) {
        throw UsageError("--busy and --seconds take durations of 0 or more (--seconds at most 86400)");
    }
    return o;
}

// What the callback gathers; read only after the timer thread has been joined.
struct PlayRecord {
    std::vector<std::int64_t> lateness;  // nanoseconds, one per call
    std::uint64_t dropped = 0;
    std::size_t passes = 0;
    long timerSlack = -1;  // of the timer thread, in nanoseconds; -1 if unknown
};

void spinFor(nanoseconds duration) {
    const Clock::time_point end = Clock::now() + duration;
    while (Clock::now() < end) {
    }
}

std::string formatDuration(std::int64_t ns) {
    std::ostringstream out;
    if (ns < 1000000) {
        out << ns / 1000 << " us";
    } else {
        out << std::fixed << std::setprecision(2) << static_cast<double>(ns) / 1e6 << " ms";
    }
    return out.str();
}

// Nearest-rank percentile of sorted values.
std::int64_t percentile(const std::vector<std::int64_t>& sorted, double p) {
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

void printHistogram(const std::vector<std::int64_t>& sorted) {
    static const std::int64_t boundsUs[] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};
    constexpr std::size_t kBuckets = sizeof(boundsUs) / sizeof(boundsUs[0]) + 1;
    std::vector<std::size_t> counts(kBuckets, 0);
    for (const std::int64_t ns : sorted) {
        std::size_t b = 0;
        while (b + 1 < kBuckets && ns > boundsUs[b] * 1000) {
            ++b;
        }
        ++counts[b];
    }
    const auto firstUsed = static_cast<std::size_t>(
        std::find_if(counts.begin(), counts.end(), [](std::size_t c) { return c > 0; }) - counts.begin());
    const auto lastUsed = kBuckets - 1 -
        static_cast<std::size_t>(std::find_if(counts.rbegin(), counts.rend(), [](std::size_t c) { return c > 0; }) -
                                 counts.rbegin());
    const std::size_t most = *std::max_element(counts.begin(), counts.end());
    std::cout << "\nlateness histogram (microseconds):\n";
    for (std::size_t b = firstUsed; b <= lastUsed; ++b) {
        const std::string label = b + 1 < kBuckets ? "<= " + std::to_string(boundsUs[b])
                                                   : "> " + std::to_string(boundsUs[kBuckets - 2]);
        const std::size_t width = most == 0 ? 0 : (counts[b] * 50 + most - 1) / most;
        std::cout << "  " << std::setw(9) << label << " | " << std::left << std::setw(50) << std::string(width, '#')
                  << std::right << " " << counts[b] << "\n";
    }
}

void printReport(PlayRecord& record, Clock::duration elapsed) {
    std::vector<std::int64_t>& sorted = record.lateness;
    std::sort(sorted.begin(), sorted.end());
    std::cout << "\nplayed for " << std::fixed << std::setprecision(3)
              << std::chrono::duration<double>(elapsed).count() << " s";
    if (record.timerSlack >= 0) {
        std::cout << ", timer thread slack " << record.timerSlack << " ns";
    }
    std::cout << "\n\n"
              << "  frames called  " << sorted.size() << "\n"
              << "  passes         " << record.passes << "\n"
              << "  dropped        " << record.dropped << "\n";
    if (sorted.empty()) {
        return;
    }
    std::cout << "  lateness p50   " << formatDuration(percentile(sorted, 50)) << "\n"
              << "  lateness p99   " << formatDuration(percentile(sorted, 99)) << "\n"
              << "  lateness max   " << formatDuration(sorted.back()) << "\n";
    printHistogram(sorted);
}

int runPlay(const Arguments& args) {
    const PlayOptions o = parseOptions(args);
    Log::init(Log::Info, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8));

    Threading::PlaybackTimer timer;
    timer.setRangeConstantFps(o.frames, o.fps);
    timer.setLooped(o.loop);
    timer.setSkipDelayedFrames(o.skip);
    const std::vector<nanoseconds> timestamps = timer.rangeTimestamps();
    const nanoseconds loopPause = timestamps.front();  // the first timestamp: one frame interval
    const double seconds = o.seconds > 0 ? o.seconds : (o.loop ? 3.0 * static_cast<double>(o.frames) / o.fps : 0);

    PlayRecord record;
    record.lateness.reserve(static_cast<std::size_t>(
        std::min(1e7, (seconds > 0 ? seconds * o.fps : 0) + static_cast<double>(o.frames) + 16)));
    const nanoseconds busy(static_cast<std::int64_t>(o.busyMs * 1e6));
    Clock::time_point passBase;
    Clock::time_point lastCall;
    std::size_t lastFrame = 0;
    bool first = true;
    timer.setCallback([&](std::size_t frame) {
        const Clock::time_point now = Clock::now();
        const bool newPass = first || frame <= lastFrame;
        if (newPass) {
            passBase = first ? now : lastCall + loopPause;
            record.dropped += frame;  // frames 0 .. frame - 1 of this pass were skipped
            ++record.passes;
#ifdef __linux__
            if (first) {
                record.timerSlack = prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
            }
#endif
            first = false;
        } else {
            record.dropped += frame - lastFrame - 1;
        }
        const Clock::time_point due = passBase + (timestamps[frame] - timestamps.front());
        record.lateness.push_back(std::max<std::int64_t>(0, (now - due).count()));
        lastFrame = frame;
        lastCall = now;
        if (busy > nanoseconds::zero()) {
            spinFor(busy);
        }
    });

    std::cout << "Playing " << o.frames << " frames at " << o.fps << " fps (" << formatDuration(timestamps.front().count())
              << " apart), " << (o.skip ? "skipping late frames" : "calling every frame") << ", "
              << (o.loop ? "looped" : "once");
    if (seconds > 0) {
        std::cout << ", for at most " << seconds << " s";
    }
    if (o.busyMs > 0) {
        std::cout << "; each call busy for " << o.busyMs << " ms";
    }
    std::cout << "." << std::endl;

    const Clock::time_point started = Clock::now();
    const Clock::time_point deadline =
        seconds > 0 ? started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
                    : Clock::time_point::max();
    timer.start(0);
    while (timer.isRunning() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    timer.stop();
    printReport(record, Clock::now() - started);
    Log::deinit();
    return 0;
}

const Command::Registration registration{
    {"play", "--fps F --frames N [--loop] [--no-skip] [--busy MS] [--seconds S]",
     "play frames with the playback timer and report their lateness", &runPlay}};

}  // namespace
}  // namespace OrvantisTool
