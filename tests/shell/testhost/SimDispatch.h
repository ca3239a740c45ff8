// The test host's player objects: any HostObject (in practice the simulated player's root and
// everything it returns) as a real COM object implementing IDispatch, so the plug-in calls it
// through IDispatch::Invoke exactly as it calls the real player.
//
// Invoke: DISPATCH_METHOD, _PROPERTYGET and _PROPERTYPUT (or _PROPERTYPUTREF) become the
// InvokeKind; a put takes its value from the named argument DISPID_PROPERTYPUT. A call with
// DISPATCH_METHOD | DISPATCH_PROPERTYGET, as VB sends `x = obj.Member`, runs as a method, and
// as a property get when the object has no such method: a HostObject cannot be asked what its
// members are, and an unknown operation has no effect, so trying the method first is safe.
// Arguments arrive in declaration order; one of these objects passed back as an argument is
// unwrapped to its own HostObject, so the simulated player sees its own objects (a files
// collection handed to another); other IDispatch arguments are wrapped with host::wrapDispatch.
// Objects in results become these objects again. Statuses become HRESULTs; an unknown
// operation is DISP_E_MEMBERNOTFOUND, and any other failure with a description (and every
// Failed) is DISP_E_EXCEPTION with the description in EXCEPINFO and the status's own code as
// its scode (E_FAIL for Failed), when the caller passed an EXCEPINFO. An argument of a type
// the player does not use is DISP_E_TYPEMISMATCH with its DISPPARAMS index in puArgErr.
// GetIDsOfNames answers DISP_E_UNKNOWNNAME: the player is called by number.
//
// Events: the object made by makeSimDispatch (the root) also implements
// IConnectionPointContainer with one connection point, for DIID_IMJAutomationEvents. Advise
// takes the sink's IDispatch and advises an adapter on the HostObject; each event then calls
// the sink's Invoke(event, DISPATCH_METHOD, arguments) on the thread that delivers it (the
// simulated player's pump(), the test host's main thread). Unadvise, or the root going away,
// unadvises the adapter and releases the sink. EnumConnectionPoints and EnumConnections
// answer E_NOTIMPL.
//
// Threads: like the HostObjects they wrap, any thread may call these objects.
#pragma once

#include "host/HostAutomation.h"
#include "platform/win32/ComPtr.h"

#include <oaidl.h>

namespace testhost {

// A COM object over `object` with the root's connection point; null for null.
platform::ComPtr<IDispatch> makeSimDispatch(host::HostObjectPtr object);

// How many COM objects of this library are alive (objects and connection points), so a test
// can show that every reference was given back.
long liveSimDispatchObjects();

} // namespace testhost
