// Harness.h — a minimal check harness for the Windows test program, which
// runs under Wine without GoogleTest.
#pragma once

#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace OrvantisWindowsTest {

struct Registry {
    std::vector<std::pair<std::string, std::function<void()>>> tests;
    int failures = 0;

    static Registry& instance() {
        static Registry registry;
        return registry;
    }
};

struct Registration {
    Registration(const char* name, std::function<void()> body) {
        Registry::instance().tests.emplace_back(name, std::move(body));
    }
};

// Programs the test program can be started as ("program.exe MODE"), for
// checks that must watch a process end.
std::map<std::string, int (*)()>& childModes();

struct ChildRegistration {
    ChildRegistration(const char* mode, int (*body)()) { childModes()[mode] = body; }
};

inline void fail(const char* file, int line, const std::string& what) {
    ++Registry::instance().failures;
    std::cout << file << ":" << line << ": check failed: " << what << "\n";
}

// Shows a text with its control characters escaped.
inline std::string visible(const std::string& text) {
    std::ostringstream out;
    for (const unsigned char c : text) {
        if (c == '\r')
            out << "\\r";
        else if (c == '\n')
            out << "\\n";
        else if (c < 0x20 || c >= 0x7F)
            out << "\\x" << std::hex << static_cast<int>(c) << std::dec;
        else
            out << c;
    }
    return out.str();
}

}  // namespace OrvantisWindowsTest

#define WTEST(name)                                                                    \
    static void name();                                                                \
    static const ::OrvantisWindowsTest::Registration name##Registration{#name, &name}; \
    static void name()

#define WCHILD(mode, function)                                              \
    static const ::OrvantisWindowsTest::ChildRegistration function##Child { \
        mode, &function                                                     \
    }

#define WCHECK(condition)                                                \
    do {                                                                 \
        if (!(condition))                                                \
            ::OrvantisWindowsTest::fail(__FILE__, __LINE__, #condition); \
    } while (false)

#define WCHECK_EQ(actual, expected)                                    \
    do {                                                               \
        const auto& a_ = (actual);                                     \
        const auto& e_ = (expected);                                   \
        if (!(a_ == e_)) {                                             \
            std::ostringstream m_;                                     \
            m_ << #actual << " == " << #expected;                      \
            ::OrvantisWindowsTest::fail(__FILE__, __LINE__, m_.str()); \
        }                                                              \
    } while (false)
