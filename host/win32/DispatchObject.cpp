#include "host/win32/DispatchObject.h"

#include "common/Log.h"
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "host/win32/Variant.h"
#include "platform/Sync.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace host {

namespace {

// Fills the fault's description when there is one; never throws (a description that cannot
// be allocated is left out).
HostStatus failWith(HostFault* fault, HostStatus status, const std::string& text) noexcept {
    if (fault) {
        try {
            fault->description = text;
        } catch (...) {
            fault->description.clear();
        }
    }
    return status;
}

std::string hex(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// The COM object that the root's connection point calls: IDispatch, answering also for
// IMJAutomationEvents. It forwards each event to its HostEventSink until it is disconnected.
class EventSink final : public ComObject<IDispatch> {
public:
    explicit EventSink(HostEventSink* target) : target_(target) {}
    void disconnect() { target_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IMJAutomationEvents) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }

    // An argument of a type the host layer does not carry arrives empty: an event is a
    // notification the player does not wait on, and refusing it would lose it for the sake of
    // an argument the handler may never read.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        return comBoundary("the player's event", [&]() -> HRESULT {
            if (result)
                VariantInit(result);
            if (iid != IID_NULL)
                return DISP_E_UNKNOWNINTERFACE;
            if (!(flags & DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            if (!params || (params->cArgs && !params->rgvarg))
                return E_POINTER;
            if (params->cNamedArgs)
                return DISP_E_NONAMEDARGS;
            const UINT count = params->cArgs;
            std::vector<HostValue> args(count);
            for (UINT i = 0; i < count; ++i)
                args[i] = fromVariant(params->rgvarg[count - 1 - i], wrapDispatch);
            if (HostEventSink* target = target_.load())
                target->onHostEvent(id, args);
            return S_OK;
        });
    }

private:
    std::atomic<HostEventSink*> target_;
};

WORD dispatchFlags(InvokeKind kind) {
    switch (kind) {
    case InvokeKind::Method:
        return DISPATCH_METHOD;
    case InvokeKind::Get:
        return DISPATCH_PROPERTYGET;
    case InvokeKind::Put:
        return DISPATCH_PROPERTYPUT;
    }
    return DISPATCH_METHOD;
}

// What went wrong in a failed Invoke, for the fault's description: the exception's text (or
// its code), or the argument the object named, or the HRESULT.
std::string failureText(HRESULT hr, const EXCEPINFO& exception, const platform::Bstr& description,
                        UINT argumentError, size_t argumentCount) {
    const HostStatus status = statusFromHresult(hr);
    if (hr == DISP_E_EXCEPTION) {
        if (!description.text().empty())
            return utf16ToUtf8(description.text());
        if (exception.scode != 0)
            return "exception " + hex(exception.scode);
        return "exception " + std::to_string(exception.wCode);
    }
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argumentError < argumentCount)
        return "argument " + std::to_string(argumentCount - argumentError) + ": " +
               hostStatusName(status) + " (" + hex(hr) + ")";
    return std::string(hostStatusName(status)) + " (" + hex(hr) + ")";
}

class DispatchObject final : public HostObject {
public:
    explicit DispatchObject(platform::ComPtr<IDispatch> object) : object_(std::move(object)) {}
    // Connections still advised are given back; their sinks hear nothing more.
    ~DispatchObject() override {
        for (auto& [cookie, connection] : connections_) {
            connection.sink->disconnect();
            connection.point->Unadvise(cookie);
        }
    }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    const platform::ComPtr<IDispatch>& object() const { return object_; }

    HostStatus invoke(int32_t id, InvokeKind kind, std::span<const HostValue> args,
                      HostValue& result, HostFault* fault) override {
        try {
            result = HostValue();
            return call(id, kind, args, result, fault);
        } catch (const std::bad_alloc&) {
            result = HostValue();
            return failWith(fault, HostStatus::Failed, "out of memory");
        } catch (...) {
            logCaughtException("a call of the player's object");
            result = HostValue();
            return failWith(fault, HostStatus::Failed, "failed");
        }
    }

    HostStatus advise(HostEventSink* sink, uint32_t& cookie) override {
        try {
            return connect(sink, cookie);
        } catch (const std::bad_alloc&) {
            return HostStatus::Failed;
        }
    }

    HostStatus unadvise(uint32_t cookie) override {
        Connection connection;
        {
            platform::ScopedLock hold(connectionsLock_);
            auto it = connections_.find(cookie);
            if (it == connections_.end())
                return statusFromHresult(CONNECT_E_NOCONNECTION);
            connection = std::move(it->second);
            connections_.erase(it);
        }
        connection.sink->disconnect();
        return statusFromHresult(connection.point->Unadvise(cookie));
    }

private:
    HostStatus call(int32_t id, InvokeKind kind, std::span<const HostValue> args, HostValue& result,
                    HostFault* fault) {
        const bool put = kind == InvokeKind::Put;
        if (put && args.empty())
            return failWith(fault, HostStatus::BadArgumentCount, "a put needs the new value");
        // Automation's order: the last argument first, so a put's value is rgvarg[0], the one
        // named DISPID_PROPERTYPUT.
        Variants argv(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            const HRESULT hr = toVariant(args[i], argv[args.size() - 1 - i], dispatchOf);
            if (FAILED(hr))
                return failWith(fault, statusFromHresult(hr),
                                "argument " + std::to_string(i + 1) +
                                    (hr == DISP_E_TYPEMISMATCH ? " is not an object of the player"
                                                               : " could not be passed"));
        }
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{argv.data(), put ? &named : nullptr, static_cast<UINT>(args.size()),
                          put ? 1u : 0u};
        Variants answer(1);
        EXCEPINFO exception{};
        UINT argumentError = 0;
        const HRESULT hr =
            object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, dispatchFlags(kind), &params,
                            put ? nullptr : &answer[0], &exception, &argumentError);
        if (hr == DISP_E_EXCEPTION && exception.pfnDeferredFillIn)
            exception.pfnDeferredFillIn(&exception);
        const platform::Bstr source = platform::Bstr::adopt(exception.bstrSource);
        const platform::Bstr description = platform::Bstr::adopt(exception.bstrDescription);
        const platform::Bstr helpFile = platform::Bstr::adopt(exception.bstrHelpFile);
        if (FAILED(hr)) {
            // An exception's own code says more than DISP_E_EXCEPTION.
            HostStatus status = statusFromHresult(hr);
            if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
                status = statusFromHresult(exception.scode);
            return failWith(fault, status,
                            failureText(hr, exception, description, argumentError, args.size()));
        }
        HostStatus status = HostStatus::Ok;
        result = fromVariant(answer[0], wrapDispatch, &status);
        if (status != HostStatus::Ok)
            return failWith(fault, status,
                            "a result of VARIANT type " + std::to_string(answer[0].vt) +
                                ", which the player's operations do not give");
        return HostStatus::Ok;
    }

    HostStatus connect(HostEventSink* sink, uint32_t& cookie) {
        if (!sink)
            return statusFromHresult(E_POINTER);
        platform::ComPtr<IConnectionPointContainer> container;
        HRESULT hr = object_->QueryInterface(IID_IConnectionPointContainer, container.putVoid());
        if (FAILED(hr) || !container)
            return statusFromHresult(FAILED(hr) ? hr : E_NOINTERFACE);
        platform::ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(DIID_IMJAutomationEvents, point.put());
        if (FAILED(hr) || !point)
            return statusFromHresult(FAILED(hr) ? hr : E_POINTER);
        auto events = platform::ComPtr<EventSink>::adopt(new EventSink(sink));
        DWORD advised = 0;
        hr = point->Advise(events.get(), &advised);
        if (FAILED(hr)) {
            events->disconnect();
            return statusFromHresult(hr);
        }
        try {
            platform::ScopedLock hold(connectionsLock_);
            connections_[advised] = Connection{point, events};
        } catch (...) {
            events->disconnect();
            point->Unadvise(advised);
            throw;
        }
        cookie = advised;
        return HostStatus::Ok;
    }

    struct Connection {
        platform::ComPtr<IConnectionPoint> point; // unadvised through the same point
        platform::ComPtr<EventSink> sink;
    };

    const platform::ComPtr<IDispatch> object_;
    // Guards connections_ (a leaf lock: held only to find, add or take out an entry).
    platform::CriticalSection connectionsLock_;
    std::map<DWORD, Connection> connections_;
};

} // namespace

HostObjectPtr wrapDispatch(IDispatch* object) {
    if (!object)
        return nullptr;
    return std::make_shared<DispatchObject>(platform::ComPtr<IDispatch>(object));
}

platform::ComPtr<IDispatch> dispatchOf(const HostObjectPtr& object) {
    if (const auto* wrapper = dynamic_cast<const DispatchObject*>(object.get()))
        return wrapper->object();
    return nullptr;
}

} // namespace host
