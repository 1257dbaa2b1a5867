// Signal.cpp — the signal instantiations that the library exports.
#include "core/signals/Signal.h"

namespace Orvantis {

template class SignalImpl<0>;
template class SignalImpl<0, std::string>;

}  // namespace Orvantis
