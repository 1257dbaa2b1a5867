// SignalConnection.cpp — connections and receivers.
#include "core/signals/SignalConnection.h"

#include <algorithm>
#include <utility>

namespace Orvantis {

SignalBase::~SignalBase() = default;

bool SignalConnection::disconnect() {
    if (!active) {
        return false;  // the signal may be gone; never follow the pointer
    }
    return signal->disconnect(this);
}

SignalReceiver::SignalReceiver(const SignalReceiver&) {}

SignalReceiver& SignalReceiver::operator=(SignalReceiver other) {
    // `other` starts empty; it takes our connections and disconnects them
    // when it goes out of scope.
    connections.swap(other.connections);
    return *this;
}

SignalReceiver::~SignalReceiver() {
    disconnectAll();
}

void SignalReceiver::disconnectAll() {
    for (const std::shared_ptr<SignalConnection>& connection : connections) {
        // Clearing the receiver first stops the signal from calling
        // removeConnection, so the list is not modified while it is walked.
        connection->receiver = nullptr;
        if (connection->active) {
            connection->signal->disconnect(connection.get());
        }
    }
    connections.clear();
}

void SignalReceiver::addConnection(std::shared_ptr<SignalConnection> connection) const {
    connections.push_back(std::move(connection));
}

void SignalReceiver::removeConnection(SignalConnection* connection) const {
    const auto found = std::find_if(connections.begin(), connections.end(),
                                    [connection](const auto& c) { return c.get() == connection; });
    if (found != connections.end()) {
        connections.erase(found);
    }
}

}  // namespace Orvantis
