// VARIANTs the player's side may send that are not one of the four types it documents, and
// the texts and objects the plug-in sends.
#include "host/win32/Variant.h"
#include "common/Utf.h"
#include "host/win32/DispatchObject.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <memory>
#include <string>
#include <vector>

using namespace host;

namespace {

struct Marker : HostObject {
    HostStatus invoke(int32_t, InvokeKind, std::span<const HostValue>, HostValue&,
                      HostFault*) override {
        return HostStatus::Ok;
    }
};

std::string describe(const VARIANT& v, const FromDispatch& objects = {}) {
    HostStatus status = HostStatus::Failed;
    HostValue value = fromVariant(v, objects, &status);
    if (status != HostStatus::Ok)
        return value.isEmpty() ? "mismatch" : "mismatch with a value";
    switch (value.type()) {
    case HostValue::Type::Empty:
        return "empty";
    case HostValue::Type::Int32:
        return "int " + std::to_string(*value.asInt());
    case HostValue::Type::Bool:
        return "bool " + std::to_string(*value.asVariantBool());
    case HostValue::Type::Text:
        return "text " + utf16ToUtf8(*value.asText());
    case HostValue::Type::Object:
        return value.asObject() ? "object" : "null object";
    }
    return "?";
}

VARIANT make(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    return v;
}

TEST(Variant, TypesBeyondTheFourAreWidenedReadThroughOrRefused) {
    int32_t i4 = -5;
    VARIANT_BOOL b = 1;
    platform::Bstr text(u"by reference");
    BSTR bstr = text.get();
    VARIANT inner = make(VT_I2);
    inner.iVal = -7;
    VARIANT innerRef = make(VT_BYREF | VT_VARIANT);
    innerRef.pvarVal = &inner;

    struct Case {
        VARIANT v;
        const char* expected;
    };
    std::vector<Case> cases;
    auto add = [&](VARTYPE type, auto set, const char* expected) {
        VARIANT v = make(type);
        set(v);
        cases.push_back({v, expected});
    };
    add(
        VT_I1, [](VARIANT& v) { v.cVal = -1; }, "int -1");
    add(
        VT_UI1, [](VARIANT& v) { v.bVal = 200; }, "int 200");
    add(
        VT_I2, [](VARIANT& v) { v.iVal = -300; }, "int -300");
    add(
        VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }, "int 65535");
    add(
        VT_INT, [](VARIANT& v) { v.intVal = -2; }, "int -2");
    add(
        VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }, "int -1");
    add(
        VT_UINT, [](VARIANT& v) { v.uintVal = 0x80000000u; }, "int -2147483648");
    add(
        VT_BOOL, [](VARIANT& v) { v.boolVal = 0x7FFF; }, "bool 32767");
    add(
        VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }, "text ");
    add(
        VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }, "null object");
    add(
        VT_UNKNOWN, [](VARIANT& v) { v.punkVal = nullptr; }, "null object");
    add(
        VT_EMPTY, [](VARIANT&) {}, "empty");
    add(
        VT_NULL, [](VARIANT&) {}, "empty");
    add(
        VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }, "empty");
    add(
        VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }, "mismatch");
    add(
        VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = reinterpret_cast<LONG*>(&i4); }, "int -5");
    add(
        VT_BYREF | VT_BOOL, [&](VARIANT& v) { v.pboolVal = &b; }, "bool 1");
    add(
        VT_BYREF | VT_BSTR, [&](VARIANT& v) { v.pbstrVal = &bstr; }, "text by reference");
    add(
        VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &inner; }, "int -7");
    add(
        VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &innerRef; }, "mismatch");
    add(
        VT_BYREF | VT_I4, [](VARIANT& v) { v.plVal = nullptr; }, "mismatch");
    add(
        VT_BYREF | VT_EMPTY, [&](VARIANT& v) { v.plVal = reinterpret_cast<LONG*>(&i4); },
        "mismatch");
    add(
        VT_VARIANT, [](VARIANT&) {}, "mismatch");
    add(
        VT_I8, [](VARIANT& v) { v.llVal = 1; }, "mismatch");
    add(
        VT_R8, [](VARIANT& v) { v.dblVal = 1.0; }, "mismatch");
    add(
        VT_ARRAY | VT_I4, [](VARIANT& v) { v.parray = nullptr; }, "mismatch");
    for (const Case& c : cases)
        EXPECT_EQ(describe(c.v), c.expected) << "VARIANT type " << c.v.vt;
}

TEST(Variant, ObjectsCrossThroughTheCallbacks) {
    auto marker = std::make_shared<Marker>();
    platform::ComPtr<IDispatch> dispatch = testhost::makeSimDispatch(marker);
    FromDispatch toMarker = [&](IDispatch* d) {
        EXPECT_EQ(d, dispatch.get());
        return HostObjectPtr(marker);
    };
    VARIANT v = make(VT_DISPATCH);
    v.pdispVal = dispatch.get();
    EXPECT_EQ(describe(v, toMarker), "object");
    EXPECT_EQ(describe(v), "mismatch"); // no way to take an object
    // An IUnknown counts when it has IDispatch; a connection point has not.
    platform::ComPtr<IUnknown> unknown = dispatch.query<IUnknown>();
    platform::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(dispatch.query<IConnectionPointContainer>()->FindConnectionPoint(
                  DIID_IMJAutomationEvents, point.put()),
              S_OK);
    v = make(VT_UNKNOWN);
    v.punkVal = unknown.get();
    EXPECT_EQ(describe(v, toMarker), "object");
    v.punkVal = point.get();
    EXPECT_EQ(describe(v, toMarker), "mismatch");

    // Out: a null object is a null VT_DISPATCH; one the callback cannot express is refused.
    Variants out(2);
    EXPECT_EQ(toVariant(HostValue(HostObjectPtr()), out[0], {}), S_OK);
    EXPECT_EQ(out[0].vt, VT_DISPATCH);
    EXPECT_EQ(out[0].pdispVal, nullptr);
    EXPECT_EQ(toVariant(HostValue(HostObjectPtr(marker)), out[1], dispatchOf), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out[1].vt, VT_EMPTY);
}

TEST(Variant, TextsKeepEmbeddedNulsAndSurrogates) {
    const std::u16string text = u"a" + std::u16string(1, u'\0') + u"\U0001F3B5";
    Variants out(1);
    ASSERT_EQ(toVariant(HostValue(text), out[0], {}), S_OK);
    ASSERT_EQ(out[0].vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(out[0].bstrVal), 4u);
    EXPECT_EQ(platform::Bstr::textOf(out[0].bstrVal), text);
    EXPECT_EQ(*fromVariant(out[0], {}).asText(), text);
}

} // namespace
