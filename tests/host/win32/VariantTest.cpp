// VARIANTs the player's side may send that are not one of the four types it documents.
#include "host/win32/Variant.h"
#include "common/Utf.h"
#include "host/win32/DispatchObject.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <cstdint>
#include <cstring>
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
    auto at = [](const void* p) { return uint64_t(reinterpret_cast<uintptr_t>(p)); };

    const struct {
        VARTYPE type;
        uint64_t value; // the union's bytes, little-endian: a number or a pointer
        const char* expected;
    } cases[] = {
        {VT_I1, 0xFF, "int -1"},
        {VT_UI1, 200, "int 200"},
        {VT_I2, 0xFED4, "int -300"},
        {VT_UI2, 0xFFFF, "int 65535"},
        {VT_INT, 0xFFFFFFFE, "int -2"},
        {VT_UI4, 0xFFFFFFFF, "int -1"},
        {VT_UINT, 0x80000000, "int -2147483648"},
        {VT_BOOL, 0x7FFF, "bool 32767"},
        {VT_BSTR, 0, "text "},
        {VT_DISPATCH, 0, "null object"},
        {VT_UNKNOWN, 0, "null object"},
        {VT_EMPTY, 0, "empty"},
        {VT_NULL, 0, "empty"},
        {VT_ERROR, uint32_t(DISP_E_PARAMNOTFOUND), "empty"},
        {VT_ERROR, uint32_t(E_FAIL), "mismatch"},
        {VT_BYREF | VT_I4, at(&i4), "int -5"},
        {VT_BYREF | VT_BOOL, at(&b), "bool 1"},
        {VT_BYREF | VT_BSTR, at(&bstr), "text by reference"},
        {VT_BYREF | VT_VARIANT, at(&inner), "int -7"},
        {VT_BYREF | VT_VARIANT, at(&innerRef), "mismatch"},
        {VT_BYREF | VT_I4, 0, "mismatch"},
        {VT_BYREF | VT_EMPTY, at(&i4), "mismatch"},
        {VT_VARIANT, 0, "mismatch"},
        {VT_I8, 1, "mismatch"},
        {VT_R8, 0x3FF0000000000000, "mismatch"},
        {VT_ARRAY | VT_I4, 0, "mismatch"},
    };
    for (const auto& c : cases) {
        VARIANT v = make(c.type);
        std::memcpy(&v.llVal, &c.value, sizeof c.value);
        EXPECT_EQ(describe(v), c.expected) << "VARIANT type " << c.type;
    }
}

// VB passes objects declared As Object or As IUnknown as VT_UNKNOWN.
TEST(Variant, AnUnknownIsAnObjectWhenItHasIDispatch) {
    auto marker = std::make_shared<Marker>();
    platform::ComPtr<IDispatch> dispatch = testhost::makeSimDispatch(marker);
    FromDispatch toMarker = [&](IDispatch* d) {
        EXPECT_EQ(d, dispatch.get());
        return HostObjectPtr(marker);
    };
    platform::ComPtr<IConnectionPoint> point; // has no IDispatch
    ASSERT_EQ(dispatch.query<IConnectionPointContainer>()->FindConnectionPoint(
                  DIID_IMJAutomationEvents, point.put()),
              S_OK);
    VARIANT v = make(VT_UNKNOWN);
    v.punkVal = dispatch.get();
    EXPECT_EQ(describe(v, toMarker), "object");
    v.punkVal = point.get();
    EXPECT_EQ(describe(v, toMarker), "mismatch");
}

} // namespace
