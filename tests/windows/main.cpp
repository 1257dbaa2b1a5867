// The Windows test program. Run without arguments it runs every check and
// ends with "N passed, N failed"; some checks start the program again with a
// crash argument to see how a process ends.
#include "Harness.h"

#include <cstring>
#include <map>

namespace OrvantisWindowsTest {

std::map<std::string, int (*)()>& childModes() {
    static std::map<std::string, int (*)()> modes;
    return modes;
}

}  // namespace OrvantisWindowsTest

int main(int argc, char** argv) {
    using namespace OrvantisWindowsTest;
    if (argc > 1) {
        const auto it = childModes().find(argv[1]);
        return it == childModes().end() ? 2 : it->second();
    }
    Registry& registry = Registry::instance();
    int failedTests = 0;
    for (const auto& [name, body] : registry.tests) {
        const int before = registry.failures;
        body();
        const bool ok = registry.failures == before;
        failedTests += ok ? 0 : 1;
        std::cout << (ok ? "[ ok ] " : "[FAIL] ") << name << std::endl;
    }
    const int passed = static_cast<int>(registry.tests.size()) - failedTests;
    std::cout << passed << " passed, " << failedTests << " failed" << std::endl;
    return failedTests == 0 ? 0 : 1;
}
