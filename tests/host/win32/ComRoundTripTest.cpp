// The player's objects through real IDispatch::Invoke calls on both sides, as the plug-in calls
// the real player: what the bridge's own tests (which cross this way too) do not make: VARIANTs
// of other types, every status, texts the bridge never sends, and events around Unadvise.
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "host/win32/Variant.h"
#include "tests/shell/testhost/SimDispatch.h"
#include "tests/support/PlayerRoot.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace host;

namespace {

// Answers what it is told.
struct ScriptedObject : HostObject {
    HostStatus status = HostStatus::Ok;
    std::string description;
    HostValue answer;
    HostStatus invoke(int32_t, InvokeKind, std::span<const HostValue>, HostValue& result,
                      HostFault* fault) override {
        if (fault && !description.empty())
            fault->description = description;
        result = answer;
        return status;
    }
};

// Each event's arguments as texts ("?" for anything else).
struct RecordingSink : HostEventSink {
    std::vector<std::vector<std::u16string>> events;
    void onHostEvent(int32_t id, std::span<const HostValue> args) override {
        EXPECT_EQ(id, kEventNotify);
        std::vector<std::u16string> texts;
        for (const HostValue& a : args)
            texts.push_back(a.asText() ? *a.asText() : u"?");
        events.push_back(texts);
    }
};

std::string describe(const VARIANT& v, const FromDispatch& objects) {
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

// VARIANTs the player's side may send that are not one of the four types it documents; VB
// passes objects declared As Object or As IUnknown as VT_UNKNOWN.
TEST(Variant, TypesBeyondTheFourAreWidenedReadThroughOrRefused) {
    int32_t i4 = -5;
    VARIANT_BOOL b = 1;
    platform::Bstr text(u"by reference");
    BSTR bstr = text.get();
    VARIANT inner{}, innerRef{};
    inner.vt = VT_I2;
    inner.iVal = -7;
    innerRef.vt = VT_BYREF | VT_VARIANT;
    innerRef.pvarVal = &inner;
    auto scripted = std::make_shared<ScriptedObject>();
    platform::ComPtr<IDispatch> dispatch = testhost::makeSimDispatch(scripted);
    platform::ComPtr<IStream> stream; // an IUnknown without IDispatch
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    auto at = [](const void* p) { return uint64_t(reinterpret_cast<uintptr_t>(p)); };
    const FromDispatch toScripted = [&](IDispatch* d) {
        EXPECT_EQ(d, dispatch.get());
        return HostObjectPtr(scripted);
    };

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
        {VT_UNKNOWN, at(dispatch.get()), "object"},
        {VT_UNKNOWN, at(stream.get()), "mismatch"},
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
        VARIANT v{};
        v.vt = c.type;
        std::memcpy(&v.llVal, &c.value, sizeof c.value);
        EXPECT_EQ(describe(v, toScripted), c.expected) << "VARIANT type " << c.type;
    }

    // Every code unit of a text crosses (non-ASCII, an embedded NUL, a surrogate pair), and a
    // null object stays an object.
    const std::u16string crossing = u"Caf\u00e9 " + std::u16string(1, u'\0') + u"\U0001F3B5";
    Variants out(2);
    ASSERT_EQ(toVariant(crossing, out[0], {}), S_OK);
    ASSERT_EQ(toVariant(HostObjectPtr(), out[1], {}), S_OK);
    EXPECT_EQ(*fromVariant(out[0], {}).asText(), crossing);
    EXPECT_EQ(describe(out[1], {}), "null object");
}

TEST(ComRoundTrip, EveryStatusCrossesBothWaysWithTheObjectsDescription) {
    const struct {
        HostStatus status;
        HRESULT code; // what the status becomes
        std::vector<HRESULT> alsoFrom;
    } rows[] = {
        {HostStatus::Ok, S_OK, {S_FALSE}},
        {HostStatus::UnknownOperation, DISP_E_MEMBERNOTFOUND, {DISP_E_UNKNOWNNAME}},
        {HostStatus::BadArgumentCount, DISP_E_BADPARAMCOUNT, {}},
        {HostStatus::TypeMismatch, DISP_E_TYPEMISMATCH, {DISP_E_PARAMNOTOPTIONAL}},
        {HostStatus::BadIndex, DISP_E_BADINDEX, {}},
        {HostStatus::NotSupported, E_NOTIMPL, {CONNECT_E_NOCONNECTION}},
        {HostStatus::Failed, DISP_E_EXCEPTION, {E_FAIL, E_OUTOFMEMORY, DISP_E_OVERFLOW}},
    };
    auto scripted = std::make_shared<ScriptedObject>();
    HostObjectPtr wrapped = testing_support::playerRootForTests(scripted);
    HostValue ignored;
    for (const auto& row : rows) {
        SCOPED_TRACE(hostStatusName(row.status));
        EXPECT_EQ(hresultFromStatus(row.status), row.code);
        EXPECT_EQ(statusFromHresult(row.code), row.status);
        for (HRESULT other : row.alsoFrom)
            EXPECT_EQ(statusFromHresult(other), row.status) << std::hex << other;
        // Through COM, with the object's description (an unknown operation carries none).
        scripted->status = row.status;
        scripted->description = "why it failed";
        HostFault fault;
        EXPECT_EQ(wrapped->invoke(5, InvokeKind::Method, {}, ignored, &fault), row.status);
        if (row.status != HostStatus::Ok && row.status != HostStatus::UnknownOperation) {
            EXPECT_EQ(fault.description, "why it failed");
        }
    }

    // What the wrapper refuses itself: a put without its value, an object not the player's,
    // events of an object without a connection point (only the root has one).
    scripted->status = HostStatus::Ok;
    EXPECT_EQ(wrapped->invoke(1, InvokeKind::Put, {}, ignored, nullptr),
              HostStatus::BadArgumentCount);
    const HostValue foreign[] = {HostValue(HostObjectPtr(scripted)), HostValue(1)};
    HostFault fault;
    EXPECT_EQ(wrapped->invoke(17, InvokeKind::Method, foreign, ignored, &fault),
              HostStatus::TypeMismatch);
    EXPECT_EQ(fault.description, "argument 1 is not an object of the player");
    scripted->answer = HostValue(HostObjectPtr(std::make_shared<ScriptedObject>()));
    HostValue child;
    ASSERT_EQ(wrapped->invoke(2, InvokeKind::Get, {}, child, nullptr), HostStatus::Ok);
    RecordingSink sink;
    uint32_t cookie = 0;
    EXPECT_EQ(child.asObject()->advise(&sink, cookie), HostStatus::Failed);
    scripted->answer = HostValue();
    wrapped.reset();
    child = HostValue();
    EXPECT_TRUE(testing_support::playerObjectsReleased());
}

// A player that keeps the sink it is given, even after Unadvise, and calls it itself.
struct KeepingPlayer : ScriptedObject {
    platform::ComPtr<IDispatch> sink;
    HostStatus advise(HostEventSink* adviser, uint32_t& cookie) override {
        sink = platform::ComPtr<IDispatch>(testhost::sinkOf(adviser));
        cookie = 42;
        return HostStatus::Ok;
    }
    HostStatus unadvise(uint32_t) override { return HostStatus::Ok; }
};

TEST(PlayerEvents, ArgumentsAreReadAsSentAndNothingArrivesAfterUnadvise) {
    auto player = std::make_shared<KeepingPlayer>();
    HostObjectPtr root = testing_support::playerRootForTests(player);
    RecordingSink sink;
    uint32_t cookie = 0;
    ASSERT_EQ(root->advise(&sink, cookie), HostStatus::Ok);

    // VB's way: a text by reference; and a type the host layer does not carry, which arrives
    // empty instead of losing the event. DISPPARAMS hold the last argument first.
    platform::Bstr category(u"MCC"), name(u"MCC: NOTIFY_TRACK_CHANGE");
    BSTR byReference = name.get();
    VARIANT args[3] = {};
    args[0].vt = VT_R8;
    args[1].vt = VT_BYREF | VT_BSTR;
    args[1].pbstrVal = &byReference;
    args[2].vt = VT_BSTR;
    args[2].bstrVal = category.get();
    DISPPARAMS params{args, nullptr, 3, 0};
    auto fire = [&] {
        return player->sink->Invoke(kEventNotify, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &params, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(fire(), S_OK);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0], (std::vector<std::u16string>{u"MCC", kNotifyTrackChange, u"?"}));

    EXPECT_EQ(root->unadvise(cookie), HostStatus::Ok);
    EXPECT_EQ(root->unadvise(cookie), HostStatus::NotSupported); // no such connection any more
    EXPECT_EQ(fire(), S_OK); // the player still holds the sink: it is deaf now
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(liveComObjects(), 2); // the player's root and the sink the player holds
    player->sink.reset();
    EXPECT_EQ(liveComObjects(), 1);
}

} // namespace
