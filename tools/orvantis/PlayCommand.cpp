// PlayCommand.cpp — `orvantis play`: plays a range of frames with the
// PlaybackTimer and reports how late each frame was called against its due
// time, in microseconds throughout. Ctrl-C ends the run early and still
// prints the report (status 130).
//
// Due times follow the timer's schedule: within one pass of the range, frame
// k is due (k - first) frame intervals after the first frame of the pass; the
// first call of a run sets the time base, and a looped pass starts one loop
// pause after the last frame of the previous one was called.
#include "Tool.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <thread>

namespace OrvantisTool {
namespace {

using namespace Orvantis;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

std::atomic<bool> g_interrupted{false};

extern "C" void noteInterrupt(int) {
    g_interrupted = true;
}

// A number without exponent or trailing zeros: 1000000, 29.97.
std::string plain(double value) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(3) << value;
    std::string text = out.str();
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// The option's number, if given, within [low, high].
double number(const Arguments& a, const std::string& name, double low, double high) {
    const std::string text = a.value(name, "0");
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high)) {
        throw UsageError("--" + name + " takes a number from " + plain(low) + " to " + plain(high) + ", not '" + text +
                         "'");
    }
    return value;
}

std::string micros(std::int64_t ns) {
    return plain(static_cast<double>(ns) / 1000.0) + " us";
}

struct PlayRecord {
    std::vector<std::int64_t> lateness;  // nanoseconds, one per call
    std::uint64_t dropped = 0;
    std::size_t passes = 0;
};

void printReport(PlayRecord& record, Clock::duration elapsed) {
    std::vector<std::int64_t>& sorted = record.lateness;
    std::sort(sorted.begin(), sorted.end());
    std::cout << "\nplayed for " << plain(std::chrono::duration<double>(elapsed).count()) << " s\n\n"
              << "  frames called  " << sorted.size() << "\n"
              << "  passes         " << record.passes << "\n"
              << "  dropped        " << record.dropped << "\n";
    if (sorted.empty()) {
        return;
    }
    const auto percentile = [&sorted](double p) {
        const auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
        return sorted[std::max<size_t>(rank, 1) - 1];
    };
    std::cout << "  lateness p50   " << micros(percentile(50)) << "\n"
              << "  lateness p99   " << micros(percentile(99)) << "\n"
              << "  lateness max   " << micros(sorted.back()) << "\n\nlateness histogram:\n";
    static const std::int64_t boundsUs[] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};
    const size_t buckets = std::size(boundsUs) + 1;
    std::vector<size_t> counts(buckets, 0);
    for (const std::int64_t ns : sorted) {
        ++counts[std::lower_bound(std::begin(boundsUs), std::end(boundsUs), (ns + 999) / 1000) - std::begin(boundsUs)];
    }
    const size_t most = *std::max_element(counts.begin(), counts.end());
    for (size_t b = 0; b < buckets; ++b) {
        if (counts[b] == 0) {
            continue;
        }
        const std::string label = b + 1 < buckets ? "<= " + std::to_string(boundsUs[b]) + " us"
                                                  : "> " + std::to_string(boundsUs[b - 1]) + " us";
        std::cout << "  " << std::setw(12) << label << " | " << std::left << std::setw(50)
                  << std::string((counts[b] * 50 + most - 1) / most, '#') << std::right << " " << counts[b] << "\n";
    }
}

}  // namespace

int runPlay(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"--fps F --frames N",
                                     "Plays N frames at F frames a second with the playback timer and reports\n"
                                     "how late each frame was called. A looped range stops after three passes\n"
                                     "unless --seconds says otherwise. Ctrl-C stops early and still reports.",
                                     {{"fps", 0, "F", "frames a second (required)"},
                                      {"frames", 0, "N", "frames in the range (required)"},
                                      {"loop", 0, nullptr, "play the range again and again"},
                                      {"no-skip", 0, nullptr, "call late frames too instead of dropping them"},
                                      {"busy", 0, "MS", "make each call take this long"},
                                      {"seconds", 0, "S", "stop after this long"},
                                      colorOption},
                                     0,
                                     0});
    if (!a.has("fps") || !a.has("frames")) {
        throw UsageError("--fps and --frames are required");
    }
    const double fps = number(a, "fps", 1e-3, 1e6);
    const auto frames = static_cast<size_t>(number(a, "frames", 1, 1e8));
    const bool loop = a.has("loop");
    const nanoseconds busy(static_cast<std::int64_t>(number(a, "busy", 0, 1e6) * 1e6));
    double seconds = number(a, "seconds", 0, 86400);
    seconds = seconds > 0 ? seconds : loop ? 3.0 * static_cast<double>(frames) / fps : 0;

    Log::init(Log::Info, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(consoleOptions(a)));
    Threading::PlaybackTimer timer;
    timer.setRangeConstantFps(frames, fps);
    timer.setLooped(loop);
    timer.setSkipDelayedFrames(!a.has("no-skip"));
    const std::vector<nanoseconds> timestamps = timer.rangeTimestamps();
    const nanoseconds loopPause = timestamps.front();  // the first timestamp: one frame interval

    PlayRecord record;
    record.lateness.reserve(static_cast<size_t>(std::min(1e7, seconds * fps + static_cast<double>(frames) + 16)));
    Clock::time_point passBase;
    Clock::time_point lastCall;
    size_t lastFrame = 0;
    bool first = true;
    timer.setCallback([&](size_t frame) {
        const Clock::time_point now = Clock::now();
        if (first || frame <= lastFrame) {  // a new pass
            passBase = first ? now : lastCall + loopPause;
            record.dropped += frame;  // frames 0 .. frame - 1 of this pass were skipped
            ++record.passes;
            first = false;
        } else {
            record.dropped += frame - lastFrame - 1;
        }
        const Clock::time_point due = passBase + (timestamps[frame] - timestamps.front());
        record.lateness.push_back(std::max<std::int64_t>(0, (now - due).count()));
        lastFrame = frame;
        lastCall = now;
        for (const Clock::time_point end = now + busy; Clock::now() < end;) {}
    });

    std::cout << "Playing " << frames << (frames == 1 ? " frame" : " frames") << " at " << plain(fps) << " fps ("
              << micros(timestamps.front().count()) << " apart), "
              << (a.has("no-skip") ? "calling every frame" : "skipping late frames") << ", "
              << (loop ? "looped" : "once") << (seconds > 0 ? ", for at most " + plain(seconds) + " s" : "")
              << (busy.count() > 0 ? "; each call busy for " + a.value("busy") + " ms" : "") << "." << std::endl;

    struct sigaction previous {};
    sigaction(SIGINT, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) {
        signal(SIGINT, noteInterrupt);
    }
    const Clock::time_point started = Clock::now();
    const Clock::time_point deadline =
        seconds > 0 ? started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
                    : Clock::time_point::max();
    timer.start(0);
    while (timer.isRunning() && Clock::now() < deadline && !g_interrupted) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    timer.stop();
    Log::deinit();
    printReport(record, Clock::now() - started);
    return g_interrupted ? 130 : 0;
}

}  // namespace OrvantisTool
