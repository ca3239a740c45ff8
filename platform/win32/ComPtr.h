// The one place that counts COM references: ComPtr holds one reference to an interface and
// gives it back when it lets go; Bstr owns one BSTR. Every AddRef and Release of the plug-in,
// its services and its test host goes through these two, so a reference can neither leak on
// an early return nor be released twice.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own (AddRef): for a pointer that someone else keeps counting.
    explicit ComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    // Takes over the reference the caller holds (no AddRef): for a pointer an out-parameter
    // or a factory has just counted for us.
    static ComPtr adopt(T* p) {
        ComPtr out;
        out.p_ = p;
        return out;
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const ComPtr& other) const { return p_ == other.p_; }

    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // Lets go like reset() and returns the count the object reports afterwards: 0 means this
    // was the last reference and the object is gone (for tests that prove it).
    ULONG releaseAndCount() {
        T* p = std::exchange(p_, nullptr);
        return p ? p->Release() : 0;
    }
    // For an out-parameter: lets go of what is held and hands out the slot to fill.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Hands the reference to the caller (an out-parameter of ours): nothing is released.
    T* detach() { return std::exchange(p_, nullptr); }
    // Gives the caller a reference of its own in *out (null stays null); S_OK or E_POINTER.
    HRESULT copyTo(T** out) const {
        if (!out)
            return E_POINTER;
        *out = p_;
        if (p_)
            p_->AddRef();
        return S_OK;
    }

    // QueryInterface for U; null when the object has no such interface.
    template <class U> ComPtr<U> query() const {
        ComPtr<U> out;
        if (p_)
            p_->QueryInterface(__uuidof(U), out.putVoid());
        return out;
    }
    // The same for an interface known by its identifier only.
    template <class U> ComPtr<U> query(REFIID iid) const {
        ComPtr<U> out;
        if (p_)
            p_->QueryInterface(iid, out.putVoid());
        return out;
    }

private:
    T* p_ = nullptr;
};

// One BSTR, freed with the holder. A failed allocation leaves it null (callers report
// E_OUTOFMEMORY); wchar_t is 16 bits here, so UTF-16 text passes as it is.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : value_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                   static_cast<UINT>(text.size()))) {}
    // Takes over a BSTR that the caller was given (an out-parameter).
    static Bstr adopt(BSTR b) {
        Bstr out;
        out.value_ = b;
        return out;
    }
    Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(value_, other.value_);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value_); }

    BSTR get() const { return value_; }
    BSTR* put() {
        *this = Bstr();
        return &value_;
    }
    BSTR detach() { return std::exchange(value_, nullptr); }
    // The text, embedded NULs included; empty for a null BSTR.
    std::u16string text() const { return textOf(value_); }
    static std::u16string textOf(BSTR b) {
        return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b))
                 : std::u16string();
    }

private:
    BSTR value_ = nullptr;
};

} // namespace platform
