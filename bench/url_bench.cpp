// url_bench — Url against Boost.URL 1.81 over a fixed list of realistic URLs
// (bench/data/urls.txt): parsing plus reading all eleven components, and the
// cost of the common edits.
//
// "per_url" is the CPU time of one pass over the list divided by its length.
// Both sides hand every component back as an owned std::string, as Url's
// getters do; Boost's "encoded views" variant reads its string_views without
// decoding or copying, as a lower bound of what Boost can do.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <boost/url.hpp>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Orvantis::Filesystem::Url;

const std::vector<std::string>& urls() {
    static const std::vector<std::string> list = [] {
        std::ifstream in(ORVANTIS_BENCH_DATA_DIR "/urls.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        if (lines.size() < 10000) {
            throw std::runtime_error("bench/data/urls.txt is missing or too short");
        }
        return lines;
    }();
    return list;
}

void perUrl(benchmark::State& state) {
    state.counters["per_url"] =
        benchmark::Counter(static_cast<double>(urls().size()),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- parse and read every component ------------------------------------------

void OrvantisParseAndRead(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& text : urls()) {
            const Url u(text);
            std::string parts[] = {u.scheme(), u.authority(), u.userinfo(), u.username(), u.password(),
                                   u.host(),   u.port(),      u.path(),     u.query(),    u.fragment()};
            int port = u.portNumber();
            benchmark::DoNotOptimize(parts);
            benchmark::DoNotOptimize(port);
        }
    }
    perUrl(state);
}
BENCHMARK(OrvantisParseAndRead);

void BoostParseAndRead(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& text : urls()) {
            const auto r = boost::urls::parse_uri_reference(text);
            if (!r) {
                state.SkipWithError("Boost.URL rejected a URL of the list");
                return;
            }
            const boost::urls::url_view& u = *r;
            std::string parts[] = {std::string(u.scheme()),
                                   u.encoded_authority().decode(),
                                   u.userinfo(),
                                   u.user(),
                                   u.password(),
                                   u.host(),
                                   std::string(u.port()),
                                   u.path(),
                                   u.query(),
                                   u.fragment()};
            int port = u.port_number();
            benchmark::DoNotOptimize(parts);
            benchmark::DoNotOptimize(port);
        }
    }
    perUrl(state);
}
BENCHMARK(BoostParseAndRead);

void BoostParseAndReadEncodedViews(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& text : urls()) {
            const auto r = boost::urls::parse_uri_reference(text);
            if (!r) {
                state.SkipWithError("Boost.URL rejected a URL of the list");
                return;
            }
            const boost::urls::url_view& u = *r;
            boost::core::string_view parts[] = {u.scheme(),
                                                u.encoded_authority(),
                                                u.encoded_userinfo(),
                                                u.encoded_user(),
                                                u.encoded_password(),
                                                u.encoded_host(),
                                                u.port(),
                                                u.encoded_path(),
                                                u.encoded_query(),
                                                u.encoded_fragment()};
            int port = u.port_number();
            benchmark::DoNotOptimize(parts);
            benchmark::DoNotOptimize(port);
        }
    }
    perUrl(state);
}
BENCHMARK(BoostParseAndReadEncodedViews);

void OrvantisParseOnly(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& text : urls()) {
            Url u(text);
            benchmark::DoNotOptimize(u);
        }
    }
    perUrl(state);
}
BENCHMARK(OrvantisParseOnly);

void BoostParseOnly(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& text : urls()) {
            auto r = boost::urls::parse_uri_reference(text);
            benchmark::DoNotOptimize(r);
        }
    }
    perUrl(state);
}
BENCHMARK(BoostParseOnly);

// ---- edits: each pass copies every parsed URL and edits the copy -----------------

const std::vector<Url>& parsedUrls() {
    static const std::vector<Url> list(urls().begin(), urls().end());
    return list;
}

const std::vector<boost::urls::url>& boostUrls() {
    static const std::vector<boost::urls::url> list = [] {
        std::vector<boost::urls::url> v;
        v.reserve(urls().size());
        for (const std::string& text : urls()) {
            v.emplace_back(boost::urls::parse_uri_reference(text).value());
        }
        return v;
    }();
    return list;
}

template <class Edit>
void editEachUrl(benchmark::State& state, Edit edit) {
    for (auto _ : state) {
        for (const Url& original : parsedUrls()) {
            Url u(original);
            edit(u);
            benchmark::DoNotOptimize(u);
        }
    }
    perUrl(state);
}

template <class Edit>
void editEachBoostUrl(benchmark::State& state, Edit edit) {
    for (auto _ : state) {
        for (const boost::urls::url& original : boostUrls()) {
            boost::urls::url u(original);
            edit(u);
            benchmark::DoNotOptimize(u);
        }
    }
    perUrl(state);
}

void OrvantisCopyOnly(benchmark::State& state) {
    editEachUrl(state, [](Url&) {});
}
BENCHMARK(OrvantisCopyOnly);

void OrvantisSetQuery(benchmark::State& state) {
    editEachUrl(state, [](Url& u) { u.setQuery("page=2&sort=name"); });
}
BENCHMARK(OrvantisSetQuery);

void OrvantisAppendSubquery(benchmark::State& state) {
    const Url::Subquery item("token", "abc123");
    editEachUrl(state, [&](Url& u) { u.appendSubquery(item); });
}
BENCHMARK(OrvantisAppendSubquery);

void OrvantisSetPath(benchmark::State& state) {
    editEachUrl(state, [](Url& u) { u.setPath("/new/dir/file name+1.raw"); });
}
BENCHMARK(OrvantisSetPath);

void BoostCopyOnly(benchmark::State& state) {
    editEachBoostUrl(state, [](boost::urls::url&) {});
}
BENCHMARK(BoostCopyOnly);

void BoostSetQuery(benchmark::State& state) {
    editEachBoostUrl(state, [](boost::urls::url& u) { u.set_query("page=2&sort=name"); });
}
BENCHMARK(BoostSetQuery);

void BoostAppendParam(benchmark::State& state) {
    editEachBoostUrl(state, [](boost::urls::url& u) { u.params().append({"token", "abc123"}); });
}
BENCHMARK(BoostAppendParam);

void BoostSetPath(benchmark::State& state) {
    editEachBoostUrl(state, [](boost::urls::url& u) { u.set_path("/new/dir/file name+1.raw"); });
}
BENCHMARK(BoostSetPath);

}  // namespace

BENCHMARK_MAIN();
