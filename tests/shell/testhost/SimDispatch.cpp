#include "tests/shell/testhost/SimDispatch.h"

#include "common/Log.h"
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "host/win32/Variant.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace testhost {

namespace {

using host::HostFault;
using host::HostObjectPtr;
using host::HostStatus;
using host::HostValue;
using host::InvokeKind;

std::atomic<long> liveObjects{0};

// Counts itself among the live COM objects of this library.
struct Counted {
    Counted() { ++liveObjects; }
    ~Counted() { --liveObjects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
};

// Answered only by our own objects, with the object itself: how an argument is recognised as
// one of them and unwrapped.
constexpr IID kSimDispatchIid = {
    0x7790d320, 0xa535, 0x4ae9, {0xaf, 0x0d, 0x1a, 0xd1, 0x1d, 0x9d, 0x6e, 0xbe}};

platform::ComPtr<IDispatch> makeObject(HostObjectPtr object, bool root);

// Objects in results and event arguments: the player's own interface when the HostObject
// wraps one, else one of ours.
platform::ComPtr<IDispatch> dispatchFor(const HostObjectPtr& object) {
    if (platform::ComPtr<IDispatch> own = host::dispatchOf(object))
        return own;
    return makeObject(object, false);
}

// Calls a sink's Invoke for every event the HostObject delivers.
class SinkAdapter final : public host::HostEventSink {
public:
    explicit SinkAdapter(platform::ComPtr<IDispatch> sink) : sink_(std::move(sink)) {}

    void onHostEvent(int32_t eventId, std::span<const HostValue> args) override {
        try {
            host::Variants argv(args.size());
            for (size_t i = 0; i < args.size(); ++i)
                if (FAILED(host::toVariant(args[i], argv[args.size() - 1 - i], dispatchFor)))
                    return;
            DISPPARAMS params{argv.data(), nullptr, static_cast<UINT>(args.size()), 0};
            sink_->Invoke(eventId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                          nullptr, nullptr);
        } catch (...) {
            logCaughtException("an event of the test host");
        }
    }

private:
    platform::ComPtr<IDispatch> sink_;
};

class SimDispatch final : public host::ComObject<IDispatch, IConnectionPointContainer>, Counted {
public:
    SimDispatch(HostObjectPtr object, bool root) : object_(std::move(object)), root_(root) {}
    ~SimDispatch() override {
        for (auto& [cookie, connection] : connections_)
            object_->unadvise(connection.hostCookie);
    }

    // The HostObject behind one of our objects; null for any other IDispatch.
    static HostObjectPtr objectOf(IDispatch* d) {
        platform::ComPtr<IDispatch> ours;
        if (FAILED(d->QueryInterface(kSimDispatchIid, ours.putVoid())) || !ours)
            return nullptr;
        return static_cast<SimDispatch*>(ours.get())->object_;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kSimDispatchIid)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IConnectionPointContainer && root_)
            *out = static_cast<IConnectionPointContainer*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    // --- IDispatch ---
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                            DISPID* ids) override {
        if (ids)
            for (UINT i = 0; i < count; ++i)
                ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return host::comBoundary("a call of the test host's object", [&]() -> HRESULT {
            if (result)
                VariantInit(result);
            if (iid != IID_NULL)
                return DISP_E_UNKNOWNINTERFACE;
            return run(id, flags, params, result, exception, argumentError);
        });
    }

    // --- IConnectionPointContainer ---
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    // The connection point's Advise and Unadvise.
    HRESULT advise(IUnknown* sink, DWORD* cookie);
    HRESULT unadvise(DWORD cookie);

private:
    HRESULT run(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                UINT* argumentError) {
        DISPPARAMS none{};
        if (!params)
            params = &none;
        if (params->cArgs && !params->rgvarg)
            return E_POINTER;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        if (put && (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                    params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
            return DISP_E_PARAMNOTFOUND;
        if (!put && params->cNamedArgs)
            return DISP_E_NONAMEDARGS;
        if (!put && !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
            return DISP_E_MEMBERNOTFOUND;

        // rgvarg holds the last argument first (a put's value, the named one, comes first).
        const UINT count = params->cArgs;
        std::vector<HostValue> args(count);
        for (UINT j = 0; j < count; ++j) {
            HostStatus status = HostStatus::Ok;
            args[count - 1 - j] = host::fromVariant(params->rgvarg[j], unwrap, &status);
            if (status != HostStatus::Ok) {
                if (argumentError)
                    *argumentError = j;
                return DISP_E_TYPEMISMATCH;
            }
        }

        HostValue answer;
        HostFault fault;
        auto call = [&](InvokeKind kind) {
            fault = HostFault();
            return object_->invoke(id, kind, args, answer, &fault);
        };
        HostStatus status;
        if (put)
            status = call(InvokeKind::Put);
        else if (flags & DISPATCH_METHOD) {
            status = call(InvokeKind::Method);
            if (status == HostStatus::UnknownOperation && (flags & DISPATCH_PROPERTYGET))
                status = call(InvokeKind::Get);
        } else
            status = call(InvokeKind::Get);

        if (status == HostStatus::Ok)
            return result ? host::toVariant(answer, *result, dispatchFor) : S_OK;
        return failure(status, fault, exception);
    }

    static HostObjectPtr unwrap(IDispatch* d) {
        if (HostObjectPtr own = objectOf(d))
            return own;
        return host::wrapDispatch(d);
    }

    static HRESULT failure(HostStatus status, const HostFault& fault, EXCEPINFO* exception) {
        // What Automation callers test for to tell a missing member.
        if (status == HostStatus::UnknownOperation)
            return DISP_E_MEMBERNOTFOUND;
        const HRESULT code =
            status == HostStatus::Failed ? E_FAIL : host::hresultFromStatus(status);
        if (!exception || (fault.description.empty() && status != HostStatus::Failed))
            return code;
        platform::Bstr source(u"Tandravole test host");
        platform::Bstr description(utf8ToUtf16(fault.description));
        *exception = EXCEPINFO{};
        exception->bstrSource = source.detach();
        exception->bstrDescription = description.detach();
        exception->scode = code;
        return DISP_E_EXCEPTION;
    }

    struct Connection {
        uint32_t hostCookie;
        std::unique_ptr<SinkAdapter> adapter;
    };

    const HostObjectPtr object_;
    const bool root_;
    std::mutex connectionsMutex_; // guards the two below; a leaf
    std::map<DWORD, Connection> connections_;
    DWORD nextCookie_ = 1;
};

// A view of the root's one connection point; the root keeps the connections, so any view
// unadvises what another advised.
class SimConnectionPoint final : public host::ComObject<IConnectionPoint>, Counted {
public:
    explicit SimConnectionPoint(platform::ComPtr<SimDispatch> container)
        : container_(std::move(container)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IConnectionPoint) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid)
            return E_POINTER;
        *iid = host::DIID_IMJAutomationEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** out) override {
        return platform::ComPtr<IConnectionPointContainer>(container_.get()).copyTo(out);
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        return host::comBoundary("an advise on the test host",
                                 [&] { return container_->advise(sink, cookie); });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return host::comBoundary("an unadvise on the test host",
                                 [&] { return container_->unadvise(cookie); });
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

private:
    const platform::ComPtr<SimDispatch> container_;
};

HRESULT STDMETHODCALLTYPE SimDispatch::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != host::DIID_IMJAutomationEvents)
        return CONNECT_E_NOCONNECTION;
    return host::comBoundary("a connection point of the test host", [&] {
        *out = new SimConnectionPoint(platform::ComPtr<SimDispatch>(this));
        return S_OK;
    });
}

HRESULT SimDispatch::advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    platform::ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(IID_IDispatch, events.putVoid())) || !events)
        return CONNECT_E_CANNOTCONNECT;
    auto adapter = std::make_unique<SinkAdapter>(std::move(events));
    uint32_t hostCookie = 0;
    const HostStatus status = object_->advise(adapter.get(), hostCookie);
    if (status != HostStatus::Ok)
        return status == HostStatus::Failed ? E_FAIL : host::hresultFromStatus(status);
    try {
        std::lock_guard hold(connectionsMutex_);
        const DWORD advised = nextCookie_++;
        Connection& slot = connections_[advised]; // may throw: the adapter is still ours
        slot = Connection{hostCookie, std::move(adapter)};
        *cookie = advised;
        return S_OK;
    } catch (...) {
        object_->unadvise(hostCookie);
        throw;
    }
}

HRESULT SimDispatch::unadvise(DWORD cookie) {
    Connection connection;
    {
        std::lock_guard hold(connectionsMutex_);
        auto it = connections_.find(cookie);
        if (it == connections_.end())
            return CONNECT_E_NOCONNECTION;
        connection = std::move(it->second);
        connections_.erase(it);
    }
    object_->unadvise(connection.hostCookie);
    return S_OK; // the adapter and with it the sink go here
}

platform::ComPtr<IDispatch> makeObject(HostObjectPtr object, bool root) {
    if (!object)
        return nullptr;
    return platform::ComPtr<IDispatch>::adopt(new SimDispatch(std::move(object), root));
}

} // namespace

platform::ComPtr<IDispatch> makeSimDispatch(host::HostObjectPtr object) {
    return makeObject(std::move(object), true);
}

long liveSimDispatchObjects() {
    return liveObjects.load();
}

} // namespace testhost
