// Any HostObject (the simulated player's root and all it returns) as a real COM object, so the
// plug-in calls it through IDispatch::Invoke as it calls the real player. Our own objects passed
// back are unwrapped, other IDispatch arguments wrapped with host::wrapDispatch; a failure with
// a description (and every Failed) is DISP_E_EXCEPTION with the status's code in EXCEPINFO. The
// root is the connection point for DIID_IMJAutomationEvents: events reach the sink on the
// thread that delivers them, until Unadvise or the root goes. Every object counts among
// host::liveComObjects(); any thread may call them.
#pragma once

#include "host/HostAutomation.h"
#include "platform/win32/ComPtr.h"

#include <oaidl.h>

namespace testhost {

// The root object over `object`; null for null.
platform::ComPtr<IDispatch> makeSimDispatch(host::HostObjectPtr object);

// The sink's IDispatch behind the HostEventSink such a root advises on its HostObject: how a
// test plays a player that keeps the sink it was given and calls it itself.
IDispatch* sinkOf(host::HostEventSink* adviser);

} // namespace testhost
