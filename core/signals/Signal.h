// Signal.h — signals: lists of slots called in connection order.
//
// SignalImpl<N, Args...> keeps a list of slots (std::function<void(Args...)>)
// and calls every active one, in connection order, when it is emitted. A slot
// may be connected on behalf of a SignalReceiver, which disconnects it when the
// receiver is destroyed (see SignalConnection.h).
//
// The library exports two instantiations, SignalImpl<0> (no argument) and
// SignalImpl<0, std::string> (one text, by value); every other argument list
// is instantiated from this header by the code that uses it.
//
// Example:
//   Orvantis::SignalImpl<0, std::string> renamed;
//   auto connection = renamed.connect([](std::string name) { std::cout << name; });
//   renamed.emitSignal("report.txt");   // prints report.txt
//   connection->disconnect();
//   renamed.emitSignal("ignored");      // prints nothing
//
// During an emission slots may connect, disconnect, destroy receivers and try
// to emit the same signal again:
//   - a slot connected during an emission is first called by the next one;
//   - a slot disconnected during an emission is not called later in it;
//   - an emission started from inside a slot of the same signal is dropped;
//   - removal of disconnected entries waits until the emission has ended.
// Destroying the signal that is emitting is not supported; assigning to it
// disconnects everything and ends the emission.
//
// Exceptions thrown by a slot end the emission (later slots are not called)
// and reach the caller of emitSignal; the signal is left clean and ready to
// emit again.
//
// Safety: signals take no locks. A signal, its connections and its receivers
// are used from one thread at a time; the emitting flag only guards against
// re-entry from the same thread. The mutex policy N = 0 (the only one the
// library defines) has a guard that locks nothing.
#pragma once

#include "core/Export.h"
#include "core/signals/SignalConnection.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace Orvantis {

// The mutex policy of a signal. Only N = 0, which locks nothing, is defined.
template <int N>
class SignalMutexProxy;

template <>
class SignalMutexProxy<0> {
public:
    // A lock guard over no mutex.
    class EmptyLockGuard {
    public:
        EmptyLockGuard() = default;
        EmptyLockGuard(const EmptyLockGuard&) = default;
        EmptyLockGuard(EmptyLockGuard&&) = default;
        EmptyLockGuard& operator=(const EmptyLockGuard&) = default;  // nothing to assign
        EmptyLockGuard& operator=(EmptyLockGuard&&) = default;  // nothing to assign
    };

    SignalMutexProxy() = default;
    SignalMutexProxy(const SignalMutexProxy&) = default;
    SignalMutexProxy(SignalMutexProxy&&) = default;
    // There is no mutex: assigning a signal leaves its policy as it was.
    SignalMutexProxy& operator=(const SignalMutexProxy&) = default;
    SignalMutexProxy& operator=(SignalMutexProxy&&) = default;

protected:
    EmptyLockGuard guardedLock() const { return EmptyLockGuard(); }
};

template <int N, class... Args>
class SignalImpl : public SignalBase, private SignalMutexProxy<N> {
public:
    using Slot = std::function<void(Args...)>;

    SignalImpl() = default;
    // A copy has no connections and is not blocked, whatever the source had.
    SignalImpl(const SignalImpl&);
    // Disconnects every connection of *this and keeps its blocked flag; the
    // source is untouched.
    SignalImpl& operator=(SignalImpl other);
    // Disconnects every connection.
    ~SignalImpl() override;

    // Effect: appends `slot` to the list, on behalf of `receiver` (may be
    // null). Returns the new connection, or an empty pointer (and stores
    // nothing) when `slot` is empty. The same slot connected twice is called
    // twice.
    // Safety: no locking; one thread at a time per signal.
    std::shared_ptr<SignalConnection> connect(const SignalReceiver* receiver, Slot slot) const;
    std::shared_ptr<SignalConnection> connect(Slot slot) const;

    // Effect: calls every active slot in connection order, each with its own
    // copy of the arguments. Does nothing while blocked or when called from
    // one of this signal's slots.
    // Safety: no locking; one thread at a time per signal.
    void emitSignal(Args... args) const;

    // Returns the previous value. Connecting and disconnecting still work
    // while blocked.
    bool setBlocked(bool block);
    bool isBlocked() const;

    // Disconnects every active connection made with `receiver` (a null
    // receiver selects those made without one). Returns how many there were.
    int disconnect(const SignalReceiver* receiver) const;
    int disconnect(std::nullptr_t) const;
    // Disconnects `connection`; returns whether it was active here. The slot
    // itself is released only by the next emission or bulk disconnect.
    bool disconnect(SignalConnection* connection) const override;
    // Disconnects everything; returns how many connections were active.
    int disconnectAll() const;

    // Number of active connections.
    int numConnections() const;
    bool isConnectedTo(const SignalReceiver* receiver) const;

private:
    using Entry = std::pair<std::shared_ptr<SignalConnection>, Slot>;
    using List = std::vector<Entry>;
    using iterator = typename List::iterator;

    bool disconnectImpl(iterator entry) const;
    template <class Matches>
    int disconnectMatching(Matches matches) const;
    template <class Visit>
    void forEachEntry(Visit visit) const;
    void finishEmission() const;
    void cleanConnections() const;

    // In connection order; may hold inactive entries until the next cleaning.
    mutable List connections;
    mutable bool emitting = false;
    mutable bool blocked = false;
    // Set when an entry is deactivated or connectedWhileEmitting is filled:
    // an emission ends with one test of this flag when there is nothing to do.
    mutable bool needsCleaning = false;
    // Slots connected during an emission wait here, so that the list being
    // emitted never reallocates under a running slot; they are appended to
    // `connections` when the emission ends.
    mutable List connectedWhileEmitting;
};

// ---- implementation -------------------------------------------------------

template <int N, class... Args>
SignalImpl<N, Args...>::SignalImpl(const SignalImpl&) : SignalBase(), SignalMutexProxy<N>() {}

template <int N, class... Args>
SignalImpl<N, Args...>& SignalImpl<N, Args...>::operator=(SignalImpl other) {
    [[maybe_unused]] auto lock = this->guardedLock();
    if (emitting) {
        // A slot assigns to the signal that runs it. The running slot lives
        // in the list, so the list stays; its entries are cleaned after the
        // emission like any other disconnected ones.
        disconnectAll();
        return *this;
    }
    // `other` is a fresh copy without connections: it takes ours and
    // disconnects them when it is destroyed at the end of this call.
    connections.swap(other.connections);
    connectedWhileEmitting.swap(other.connectedWhileEmitting);
    std::swap(needsCleaning, other.needsCleaning);
    return *this;
}

template <int N, class... Args>
SignalImpl<N, Args...>::~SignalImpl() {
    disconnectAll();
}

template <int N, class... Args>
std::shared_ptr<SignalConnection> SignalImpl<N, Args...>::connect(const SignalReceiver* receiver, Slot slot) const {
    [[maybe_unused]] auto lock = this->guardedLock();
    if (!slot) {
        return {};
    }
    auto connection = std::make_shared<SignalConnection>(SignalConnection::private_cookie(), *this, receiver);
    if (emitting) {
        connectedWhileEmitting.emplace_back(connection, std::move(slot));
        needsCleaning = true;
    } else {
        connections.emplace_back(connection, std::move(slot));
    }
    if (receiver != nullptr) {
        try {
            receiver->addConnection(connection);
        } catch (...) {
            // The receiver could not record it, so it could not disconnect
            // it either: never let this slot run.
            connection->active = false;
            needsCleaning = true;
            throw;
        }
    }
    return connection;
}

template <int N, class... Args>
std::shared_ptr<SignalConnection> SignalImpl<N, Args...>::connect(Slot slot) const {
    return connect(nullptr, std::move(slot));
}

// Inline so that callers can run the loop without a call into the library;
// the rare work after the loop stays out of line in finishEmission. On
// Windows the exported instantiations are imported whole, and an inline
// member of an imported instantiation has no definition on either side of
// the DLL boundary, so there the loop is an ordinary exported member.
#if defined(_WIN32)
#define ORVANTIS_SIGNAL_EMIT_INLINE
#else
#define ORVANTIS_SIGNAL_EMIT_INLINE inline
#endif
template <int N, class... Args>
ORVANTIS_SIGNAL_EMIT_INLINE void SignalImpl<N, Args...>::emitSignal(Args... args) const {
    [[maybe_unused]] auto lock = this->guardedLock();
    if (blocked || emitting) {
        return;
    }
    emitting = true;
    const std::size_t count = connections.size();
    try {
        // The list neither moves nor shrinks while emitting: slots connected
        // meanwhile wait in connectedWhileEmitting, cleaning waits until the
        // end, and assignment only disconnects. So indices below `count` stay
        // valid, and every entry is read from the live list right before use.
        for (std::size_t i = 0; i < count; ++i) {
            const Entry& entry = connections[i];
            if (entry.first->active) {
                entry.second(args...);
            }
        }
    } catch (...) {
        finishEmission();
        throw;
    }
    emitting = false;
    if (needsCleaning) {
        finishEmission();
    }
}

template <int N, class... Args>
bool SignalImpl<N, Args...>::setBlocked(bool block) {
    [[maybe_unused]] auto lock = this->guardedLock();
    return std::exchange(blocked, block);
}

template <int N, class... Args>
bool SignalImpl<N, Args...>::isBlocked() const {
    return blocked;
}

template <int N, class... Args>
int SignalImpl<N, Args...>::disconnect(const SignalReceiver* receiver) const {
    [[maybe_unused]] auto lock = this->guardedLock();
    return disconnectMatching([receiver](const Entry& entry) { return entry.first->receiver == receiver; });
}

template <int N, class... Args>
int SignalImpl<N, Args...>::disconnect(std::nullptr_t) const {
    return disconnect(static_cast<const SignalReceiver*>(nullptr));
}

template <int N, class... Args>
bool SignalImpl<N, Args...>::disconnect(SignalConnection* connection) const {
    [[maybe_unused]] auto lock = this->guardedLock();
    for (List* list : {&connections, &connectedWhileEmitting}) {
        const auto found = std::find_if(list->begin(), list->end(),
                                        [connection](const Entry& entry) { return entry.first.get() == connection; });
        if (found != list->end()) {
            // No cleaning here: the slot stays in place until the next
            // emission or bulk disconnect removes it.
            return disconnectImpl(found);
        }
    }
    return false;
}

template <int N, class... Args>
int SignalImpl<N, Args...>::disconnectAll() const {
    [[maybe_unused]] auto lock = this->guardedLock();
    return disconnectMatching([](const Entry&) { return true; });
}

template <int N, class... Args>
int SignalImpl<N, Args...>::numConnections() const {
    [[maybe_unused]] auto lock = this->guardedLock();
    int count = 0;
    forEachEntry([&count](const Entry& entry) { count += entry.first->active ? 1 : 0; });
    return count;
}

template <int N, class... Args>
bool SignalImpl<N, Args...>::isConnectedTo(const SignalReceiver* receiver) const {
    [[maybe_unused]] auto lock = this->guardedLock();
    bool found = false;
    forEachEntry([&found, receiver](const Entry& entry) {
        found = found || (entry.first->active && entry.first->receiver == receiver);
    });
    return found;
}

template <int N, class... Args>
bool SignalImpl<N, Args...>::disconnectImpl(iterator entry) const {
    SignalConnection& connection = *entry->first;
    const bool wasActive = connection.active;
    connection.active = false;
    if (wasActive) {
        needsCleaning = true;
        if (connection.receiver != nullptr) {
            connection.receiver->removeConnection(&connection);
        }
    }
    return wasActive;
}

template <int N, class... Args>
template <class Matches>
int SignalImpl<N, Args...>::disconnectMatching(Matches matches) const {
    int count = 0;
    for (List* list : {&connections, &connectedWhileEmitting}) {
        for (auto entry = list->begin(); entry != list->end(); ++entry) {
            if (matches(*entry)) {
                count += disconnectImpl(entry) ? 1 : 0;
            }
        }
    }
    if (!emitting) {
        cleanConnections();
    }
    return count;
}

template <int N, class... Args>
template <class Visit>
void SignalImpl<N, Args...>::forEachEntry(Visit visit) const {
    for (const Entry& entry : connections) {
        visit(entry);
    }
    for (const Entry& entry : connectedWhileEmitting) {
        visit(entry);
    }
}

template <int N, class... Args>
void SignalImpl<N, Args...>::finishEmission() const {
    emitting = false;
    if (!connectedWhileEmitting.empty()) {
        connections.insert(connections.end(), std::make_move_iterator(connectedWhileEmitting.begin()),
                           std::make_move_iterator(connectedWhileEmitting.end()));
        connectedWhileEmitting.clear();
    }
    cleanConnections();
}

template <int N, class... Args>
void SignalImpl<N, Args...>::cleanConnections() const {
    // Destroying a slot runs user code (the destructors of what it captured),
    // and that code may reach back into this signal. So the list is made
    // consistent first and the removed slots are destroyed afterwards; if
    // that deactivated more entries, the loop runs again.
    while (needsCleaning) {
        needsCleaning = false;
        // Stable partition by swaps: active entries move to the front in
        // their order, and no slot is destroyed yet.
        auto keptEnd = connections.begin();
        for (auto entry = connections.begin(); entry != connections.end(); ++entry) {
            if (entry->first->active) {
                std::iter_swap(entry, keptEnd);
                ++keptEnd;
            }
        }
        List removed;
        try {
            removed.assign(std::make_move_iterator(keptEnd), std::make_move_iterator(connections.end()));
        } catch (const std::bad_alloc&) {
            // No memory to hand the slots over: destroy them in place.
        }
        connections.erase(keptEnd, connections.end());
    }
}

extern template class ORVANTIS_API SignalImpl<0>;
extern template class ORVANTIS_API SignalImpl<0, std::string>;

}  // namespace Orvantis
