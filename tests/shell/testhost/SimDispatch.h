// Any HostObject (in practice the simulated player's root and everything it returns) as a real
// COM object implementing IDispatch, so the plug-in calls it through IDispatch::Invoke exactly as
// it calls the real player. Methods, property gets and puts (the value as the named argument
// DISPID_PROPERTYPUT) run the HostObject's invoke; our own objects passed back as arguments are
// unwrapped, so the simulated player sees its own objects; other IDispatch arguments are wrapped
// with host::wrapDispatch. An unknown operation is DISP_E_MEMBERNOTFOUND; any other failure
// with a description (and every Failed) is DISP_E_EXCEPTION with the description and the
// status's code in EXCEPINFO; an argument of a type the player does not use is
// DISP_E_TYPEMISMATCH with its index in puArgErr. GetIDsOfNames answers DISP_E_UNKNOWNNAME.
//
// The root (made by makeSimDispatch) is also the connection point for DIID_IMJAutomationEvents:
// Advise takes the sink's IDispatch and advises an adapter on the HostObject, which calls the
// sink's Invoke(event, DISPATCH_METHOD, arguments) on the thread that delivers the event.
// Unadvise, or the root going away, releases the sink. Every object counts among
// host::liveComObjects(). Any thread may call these objects.
#pragma once

#include "host/HostAutomation.h"
#include "platform/win32/ComPtr.h"

#include <oaidl.h>

namespace testhost {

// The root object over `object`; null for null.
platform::ComPtr<IDispatch> makeSimDispatch(host::HostObjectPtr object);

} // namespace testhost
