// Signals across the DLL boundary's exported instantiations, and URL texts
// in the Windows build.
#include "Harness.h"

#include "core/filesystem/Url.h"
#include "core/signals/Signal.h"

#include <memory>
#include <string>

namespace {

using namespace Orvantis;

WTEST(SignalsCallSlotsInOrderAndReceiversDisconnect) {
    SignalImpl<0, std::string> renamed;
    std::string calls;
    auto receiver = std::make_unique<SignalReceiver>();
    renamed.connect([&calls](std::string name) { calls += "a:" + name + " "; });
    renamed.connect(receiver.get(), [&calls](std::string name) { calls += "b:" + name + " "; });
    renamed.emitSignal("x");
    receiver.reset();
    renamed.emitSignal("y");
    WCHECK_EQ(calls, std::string("a:x b:x a:y "));
    WCHECK_EQ(renamed.numConnections(), 1);
}

WTEST(UrlTextsWithDriveLetters) {
    const Filesystem::Url url("file:///C:/data/scan%201.raw?x=1#f");
    WCHECK_EQ(url.scheme(), std::string("file"));
    // The leading slash before a drive letter is storage only.
    WCHECK_EQ(url.path(), std::string("C:/data/scan 1.raw"));
    WCHECK(url.isValid());
}

}  // namespace
