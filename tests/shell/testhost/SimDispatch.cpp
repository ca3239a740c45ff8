#include "tests/shell/testhost/SimDispatch.h"

#include "common/Log.h"
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "host/win32/Variant.h"

#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace testhost {
namespace {

using host::HostObjectPtr;
using host::HostStatus;
using host::HostValue;

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

HRESULT hresultOf(HostStatus status) {
    return status == HostStatus::Failed ? E_FAIL : host::hresultFromStatus(status);
}

// Calls a sink's Invoke for every event the HostObject delivers.
class SinkAdapter final : public host::HostEventSink {
public:
    explicit SinkAdapter(platform::ComPtr<IDispatch> sink) : sink_(std::move(sink)) {}
    IDispatch* sink() const { return sink_.get(); }

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

class SimDispatch final
    : public host::ComObject<IDispatch, IConnectionPointContainer, IConnectionPoint> {
public:
    SimDispatch(HostObjectPtr object, bool root) : object_(std::move(object)), root_(root) {}
    ~SimDispatch() override {
        for (auto& [cookie, connection] : connections_)
            object_->unadvise(connection.first);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kSimDispatchIid)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IConnectionPointContainer && root_)
            *out = static_cast<IConnectionPointContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME; // the player is called by number
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        return host::comBoundary("a call of the test host's object", [&]() -> HRESULT {
            if (result)
                VariantInit(result);
            if (iid != IID_NULL)
                return DISP_E_UNKNOWNINTERFACE;
            return run(id, flags, params, result, exception);
        });
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != host::DIID_IMJAutomationEvents)
            return CONNECT_E_NOCONNECTION;
        return platform::ComPtr<IConnectionPoint>(this).copyTo(out);
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        return host::comBoundary("an advise on the test host", [&]() -> HRESULT {
            if (!sink || !cookie)
                return E_POINTER;
            platform::ComPtr<IDispatch> events;
            if (FAILED(sink->QueryInterface(IID_IDispatch, events.putVoid())) || !events)
                return CONNECT_E_CANNOTCONNECT;
            auto adapter = std::make_unique<SinkAdapter>(std::move(events));
            uint32_t hostCookie = 0;
            if (HostStatus status = object_->advise(adapter.get(), hostCookie);
                status != HostStatus::Ok)
                return hresultOf(status);
            std::lock_guard hold(connectionsMutex_);
            *cookie = nextCookie_++;
            connections_[*cookie] = Connection{hostCookie, std::move(adapter)};
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        Connection connection;
        {
            std::lock_guard hold(connectionsMutex_);
            auto it = connections_.find(cookie);
            if (it == connections_.end())
                return CONNECT_E_NOCONNECTION;
            connection = std::move(it->second);
            connections_.erase(it);
        }
        object_->unadvise(connection.first);
        return S_OK; // the adapter and with it the sink go here
    }

private:
    using Connection = std::pair<uint32_t, std::unique_ptr<SinkAdapter>>; // the HostObject's cookie

    HRESULT run(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) {
        if (!params || (params->cArgs && !params->rgvarg))
            return E_POINTER;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        if (params->cNamedArgs != (put ? 1u : 0u))
            return DISP_E_PARAMNOTFOUND;
        const host::InvokeKind kind = put                       ? host::InvokeKind::Put
                                      : flags & DISPATCH_METHOD ? host::InvokeKind::Method
                                                                : host::InvokeKind::Get;

        // rgvarg holds the last argument first (a put's value, the named one, comes first).
        const UINT count = params->cArgs;
        std::vector<HostValue> args(count);
        for (UINT j = 0; j < count; ++j) {
            HostStatus status = HostStatus::Ok;
            args[count - 1 - j] = host::fromVariant(params->rgvarg[j], unwrap, &status);
            if (status != HostStatus::Ok)
                return DISP_E_TYPEMISMATCH;
        }
        HostValue answer;
        host::HostFault fault;
        const HostStatus status = object_->invoke(id, kind, args, answer, &fault);
        if (status == HostStatus::Ok)
            return result ? host::toVariant(answer, *result, dispatchFor) : S_OK;
        if (status == HostStatus::UnknownOperation) // what Automation callers test for
            return DISP_E_MEMBERNOTFOUND;
        if (!exception || (fault.description.empty() && status != HostStatus::Failed))
            return hresultOf(status);
        *exception = EXCEPINFO{};
        exception->bstrSource = platform::Bstr(u"Tandravole test host").detach();
        exception->bstrDescription = platform::Bstr(utf8ToUtf16(fault.description)).detach();
        exception->scode = hresultOf(status);
        return DISP_E_EXCEPTION;
    }

    // The HostObject behind one of our objects, else the IDispatch wrapped.
    static HostObjectPtr unwrap(IDispatch* d) {
        platform::ComPtr<IDispatch> ours;
        if (SUCCEEDED(d->QueryInterface(kSimDispatchIid, ours.putVoid())) && ours)
            return static_cast<SimDispatch*>(ours.get())->object_;
        return host::wrapDispatch(d);
    }

    const HostObjectPtr object_;
    const bool root_;
    std::mutex connectionsMutex_; // guards the two below; a leaf
    std::map<DWORD, Connection> connections_;
    DWORD nextCookie_ = 1;
};

platform::ComPtr<IDispatch> makeObject(HostObjectPtr object, bool root) {
    if (!object)
        return nullptr;
    return platform::ComPtr<IDispatch>::adopt(new SimDispatch(std::move(object), root));
}

} // namespace

platform::ComPtr<IDispatch> makeSimDispatch(host::HostObjectPtr object) {
    return makeObject(std::move(object), true);
}

IDispatch* sinkOf(host::HostEventSink* adviser) {
    return static_cast<SinkAdapter*>(adviser)->sink();
}

} // namespace testhost
