// The player's automation objects as HostObjects: a wrapper over an IDispatch that the player
// handed us, called through IDispatch::Invoke, and the event sink that the root object's
// connection point calls.
//
// Threads: the bridge calls the player's objects on the host's thread and also directly from
// the message-processing and connection threads, as the player allows; the wrapper neither
// marshals nor sets up apartments of its own, so it may be used from any thread. Events reach
// the HostEventSink on the thread the player fires them on. A wrapper's advised connections
// are guarded by a leaf lock of its own (the connection point is called with it released).
#pragma once

#include "host/HostAutomation.h"
#include "platform/win32/ComPtr.h"

#include <oaidl.h>

namespace host {

// The player's event interface, IMJAutomationEvents, offered by the root object's connection
// point. Its DISPID 1 is the notification event (kEventNotify).
inline constexpr IID DIID_IMJAutomationEvents = {
    0x07104430, 0x41B6, 0x41D8, {0xA8, 0xFD, 0x09, 0x53, 0xB4, 0x3D, 0x89, 0x44}};

// A HostObject over `object`, holding a reference of its own; null for null.
// - invoke: DISPATCH_METHOD, _PROPERTYGET or _PROPERTYPUT (a put passes its last argument as
//   the named argument DISPID_PROPERTYPUT), the arguments reversed into DISPPARAMS,
//   LOCALE_USER_DEFAULT. Objects in results are wrapped again; object arguments must be such
//   wrappers (anything else is a TypeMismatch). An exception the object raises becomes the
//   fault's description, and its code the status. No C++ exception leaves (out of memory is
//   Failed).
// - advise/unadvise: the root object's IConnectionPointContainer, the connection point for
//   DIID_IMJAutomationEvents, Advise and Unadvise of a sink that calls the HostEventSink;
//   failures map through statusFromHresult. Once unadvised (or when the wrapper goes away
//   still advised) the HostEventSink is never called again, even by a player that keeps the
//   sink.
HostObjectPtr wrapDispatch(IDispatch* object);

// The player's interface behind a wrapDispatch wrapper; null for any other object.
platform::ComPtr<IDispatch> dispatchOf(const HostObjectPtr& object);

} // namespace host
