// SignalConnection.h — the links between signals, slots and slot owners.
//
//   SignalBase        the argument-free face of every signal; a connection
//                     reaches back to its signal through it.
//   SignalConnection  one link between a signal and one slot. Shared (through
//                     std::shared_ptr) by the signal, the receiver and the
//                     caller of connect; it lives until the last of them lets go.
//   SignalReceiver    a base class for objects that own slots: it remembers
//                     its connections and disconnects them all when it is
//                     destroyed, so no slot runs for a receiver that is gone.
//
// A connection is active from its creation until it is disconnected (by the
// caller, by its signal or by its receiver); inactive is final. The signal
// pointer inside a connection is followed only while the connection is
// active, and a signal deactivates all its connections before it dies, so a
// connection may safely outlive its signal.
//
// Example:
//   struct Window : Orvantis::SignalReceiver { void redraw(); };
//   Orvantis::SignalImpl<0> resized;
//   {
//       Window w;
//       resized.connect(&w, [&w] { w.redraw(); });
//       resized.emitSignal();   // calls w.redraw()
//   }                           // ~Window disconnects the slot
//   resized.emitSignal();       // calls nothing
//
// Safety: nothing here takes a lock. A signal, its connections and its
// receivers are used from one thread at a time.
#pragma once

#include "core/Export.h"

#include <memory>
#include <vector>

namespace Orvantis {

class SignalConnection;
class SignalReceiver;
template <int N, class... Args>
class SignalImpl;

// The argument-free face of every signal.
class ORVANTIS_API SignalBase {
public:
    SignalBase() = default;
    // Copies carry no connections; there is nothing to copy at this level.
    SignalBase(const SignalBase&) = default;
    SignalBase& operator=(const SignalBase&) = default;
    virtual ~SignalBase();

    // Deactivates `connection` if this signal holds it and unregisters it
    // from its receiver. Returns whether the connection was active.
    virtual bool disconnect(SignalConnection* connection) const = 0;
};

// One link between a signal and one slot. Only signals create connections;
// everyone else holds them through std::shared_ptr.
class ORVANTIS_API SignalConnection {
    // A tag that only the signal classes can name, so that only they create
    // connections while std::make_shared can still reach the constructor.
    struct private_cookie {
        explicit private_cookie() = default;
    };

public:
    SignalConnection(private_cookie, const SignalBase& owner, const SignalReceiver* slotOwner)
        : signal(&owner), receiver(slotOwner) {}

    SignalConnection(const SignalConnection&) = delete;
    SignalConnection& operator=(const SignalConnection&) = delete;

    bool isActive() const { return active; }

    // Disconnects the slot from its signal. Returns true if the connection
    // was active; an inactive connection returns false and never touches its
    // (possibly destroyed) signal.
    bool disconnect();

private:
    template <int N, class... Args>
    friend class SignalImpl;
    friend class SignalReceiver;

    const SignalBase* signal;  // owner; may dangle once inactive
    const SignalReceiver* receiver;  // slot owner, or null
    bool active = true;
};

// Base class for objects that own slots. Destroying (or assigning to) a
// receiver disconnects every connection made with it as receiver.
class ORVANTIS_API SignalReceiver {
public:
    SignalReceiver() = default;
    // A copy starts without connections: connections are never copied.
    SignalReceiver(const SignalReceiver&);
    // Disconnects all of this receiver's connections; the source keeps its own.
    SignalReceiver& operator=(SignalReceiver other);
    virtual ~SignalReceiver();

protected:
    // Disconnects every connection of this receiver. Derived classes may call
    // it early, e.g. first thing in their own destructor, so that no slot runs
    // while they are half destroyed.
    void disconnectAll();

private:
    template <int N, class... Args>
    friend class SignalImpl;

    // Called by a signal when it makes a connection with this receiver.
    void addConnection(std::shared_ptr<SignalConnection> connection) const;
    // Called by a signal when it disconnects one of this receiver's
    // connections: drops the first matching element, keeping the order.
    void removeConnection(SignalConnection* connection) const;

    mutable std::vector<std::shared_ptr<SignalConnection>> connections;
};

}  // namespace Orvantis
