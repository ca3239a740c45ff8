// The player's objects through real IDispatch::Invoke calls on both sides: the simulated player
// behind the test host's COM objects, called through the plug-in's wrapper as the plug-in calls
// the real player. Every test ends with no COM object of either side alive.
#include "common/Utf.h"
#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "host/win32/Variant.h"
#include "simhost/SimPlayer.h"
#include "tests/shell/testhost/SimDispatch.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace host;

namespace {

simhost::LibraryData threeTracks() {
    simhost::LibraryData lib;
    for (int32_t i = 0; i < 3; ++i) {
        simhost::Track t;
        t.key = 100 + i;
        t.name = u"Song " + std::u16string(1, char16_t(u'A' + i));
        t.path = u"D:\\Music\\song" + std::u16string(1, char16_t(u'0' + i)) + u".mp3";
        t.durationSeconds = 30;
        lib.tracks.push_back(t);
    }
    lib.playlists = {{7, u"Mine", u"", simhost::PlaylistType::Ordinary, {100, 101, 102}, u""}};
    lib.playingNow = {100, 101, 102};
    return lib;
}

// Answers what it is told and keeps what it was given.
struct ScriptedObject : HostObject {
    HostStatus status = HostStatus::Ok;
    HostValue answer;
    std::string description;
    std::vector<HostValue> received;
    std::vector<InvokeKind> kinds;

    HostStatus invoke(int32_t, InvokeKind kind, std::span<const HostValue> args, HostValue& result,
                      HostFault* fault) override {
        kinds.push_back(kind);
        received.assign(args.begin(), args.end());
        result = answer;
        if (fault && !description.empty())
            fault->description = description;
        return status;
    }
};

struct RecordingSink : HostEventSink {
    std::vector<std::vector<std::u16string>> events;
    std::vector<std::thread::id> threads;
    void onHostEvent(int32_t id, std::span<const HostValue> args) override {
        EXPECT_EQ(id, kEventNotify);
        std::vector<std::u16string> texts;
        for (const HostValue& a : args)
            texts.push_back(a.asText() ? *a.asText() : u"?");
        events.push_back(texts);
        threads.push_back(std::this_thread::get_id());
    }
};

// A HostObject behind the test host's COM object, wrapped as the plug-in wraps the player's.
HostObjectPtr overCom(HostObjectPtr object) {
    return wrapDispatch(testhost::makeSimDispatch(std::move(object)).get());
}

class ComRoundTrip : public ::testing::Test {
protected:
    void TearDown() override {
        root.reset();
        player.reset();
        EXPECT_EQ(testhost::liveSimDispatchObjects(), 0);
        EXPECT_EQ(liveComObjects(), 0);
    }
    HostObjectPtr object(RootOp op, std::initializer_list<HostValue> args = {}) {
        return callMethod(root.get(), op, args).asObject();
    }

    platform::ManualClock clock;
    std::unique_ptr<simhost::SimPlayer> player = std::make_unique<simhost::SimPlayer>(
        threeTracks(), simhost::SimOptions{&clock, {}, 0, false});
    HostObjectPtr root = overCom(player->root());
};

TEST_F(ComRoundTrip, MethodsGetsAndPutsCarryIntegersInDeclarationOrder) {
    HostObjectPtr volume = object(RootOp::VolumeEqualizer);
    ASSERT_TRUE(volume);
    EXPECT_TRUE(putProperty(volume.get(), VolumeOp::Volume, 37).ok());
    EXPECT_EQ(getProperty(volume.get(), VolumeOp::Volume).asInt(), 37);
    // Band 3 set to -42: swapped arguments would name band -42, which does not exist.
    EXPECT_TRUE(callMethod(volume.get(), VolumeOp::SetBand, {3, -42}).ok());
    EXPECT_EQ(callMethod(volume.get(), VolumeOp::Band, {3}).asInt(), -42);
    EXPECT_EQ(callMethod(object(RootOp::PlayingNow).get(), PlayingNowOp::Count).asInt(), 3);
}

TEST_F(ComRoundTrip, TextsKeepEveryCodeUnit) {
    const std::u16string name = u"Caf\u00e9 \u266b" + std::u16string(1, u'\0') + u"b";
    const std::u16string path = u"\U0001F3B5 Lists";
    HostObjectPtr list =
        callMethod(object(RootOp::Playlists).get(), PlaylistsOp::Create, {name, path}).asObject();
    ASSERT_TRUE(list);
    EXPECT_EQ(getProperty(list.get(), PlaylistOp::Name).text(), name);
    EXPECT_EQ(getProperty(list.get(), PlaylistOp::Path).text(), path);
}

TEST_F(ComRoundTrip, ObjectsComeBackAsThePlayersOwn) {
    HostObjectPtr source =
        callMethod(object(RootOp::PlaylistById, {7}).get(), PlaylistOp::Files).asObject();
    HostObjectPtr target = object(RootOp::NewFiles);
    ASSERT_TRUE(source && target);
    // The player recognises its own collection behind two layers of COM.
    EXPECT_EQ(callMethod(target.get(), FilesOp::InsertCopy, {source, 1, 0}).asInt(), 0);
    HostObjectPtr file = callMethod(target.get(), FilesOp::Item, {0}).asObject();
    EXPECT_EQ(callMethod(file.get(), FileOp::Key).asInt(), 101);

    HostResult none = callMethod(root.get(), RootOp::PlaylistById, {9999});
    EXPECT_TRUE(none.ok());
    EXPECT_EQ(none.value.type(), HostValue::Type::Object);
    EXPECT_FALSE(none.asObject());
}

TEST_F(ComRoundTrip, BooleansKeepTheirRawValueAndOnlyMinusOneIsTrue) {
    auto scripted = std::make_shared<ScriptedObject>();
    HostObjectPtr wrapped = overCom(scripted);
    for (int16_t raw : {int16_t(-1), int16_t(0), int16_t(1), int16_t(0x7FFF)}) {
        SCOPED_TRACE(raw);
        scripted->answer = HostValue::fromVariantBool(raw);
        HostResult r = getProperty(wrapped.get(), 1);
        EXPECT_EQ(r.value.asVariantBool(), raw);
        EXPECT_EQ(r.isTrue(), raw == kVariantTrue);
        EXPECT_TRUE(putProperty(wrapped.get(), 1, HostValue::fromVariantBool(raw)).ok());
        ASSERT_EQ(scripted->received.size(), 1u);
        EXPECT_EQ(scripted->received[0].asVariantBool(), raw);
    }
}

TEST_F(ComRoundTrip, EveryStatusCrossesBothWays) {
    struct Row {
        HostStatus status;
        HRESULT code; // what the status becomes
        std::vector<HRESULT> alsoFrom;
    };
    const Row rows[] = {
        {HostStatus::Ok, S_OK, {S_FALSE}},
        {HostStatus::UnknownOperation, DISP_E_MEMBERNOTFOUND, {DISP_E_UNKNOWNNAME}},
        {HostStatus::BadArgumentCount, DISP_E_BADPARAMCOUNT, {}},
        {HostStatus::TypeMismatch, DISP_E_TYPEMISMATCH, {DISP_E_PARAMNOTOPTIONAL}},
        {HostStatus::BadIndex, DISP_E_BADINDEX, {}},
        {HostStatus::NotSupported, E_NOTIMPL, {CONNECT_E_NOCONNECTION}},
        {HostStatus::Failed, DISP_E_EXCEPTION, {E_FAIL, E_OUTOFMEMORY, DISP_E_OVERFLOW}},
    };
    auto scripted = std::make_shared<ScriptedObject>();
    HostObjectPtr wrapped = overCom(scripted);
    for (const Row& row : rows) {
        SCOPED_TRACE(hostStatusName(row.status));
        EXPECT_EQ(hresultFromStatus(row.status), row.code);
        EXPECT_EQ(statusFromHresult(row.code), row.status);
        for (HRESULT other : row.alsoFrom)
            EXPECT_EQ(statusFromHresult(other), row.status) << std::hex << other;
        // Through COM, with and without a description.
        for (const char* description : {"", "why it failed"}) {
            scripted->status = row.status;
            scripted->description = description;
            HostFault fault;
            HostValue ignored;
            EXPECT_EQ(wrapped->invoke(5, InvokeKind::Method, {}, ignored, &fault), row.status);
            if (*description && row.status != HostStatus::Ok &&
                row.status != HostStatus::UnknownOperation) {
                EXPECT_EQ(fault.description, description);
            }
        }
    }
}

TEST_F(ComRoundTrip, FailuresCarryThePlayersDescription) {
    HostObjectPtr now = object(RootOp::PlayingNow);
    HostFault direct, overTheBoundary;
    HostValue ignored;
    const HostValue index[] = {HostValue(99)};
    HostObjectPtr simulated = callMethod(player->root().get(), RootOp::PlayingNow).asObject();
    ASSERT_EQ(simulated->invoke(5, InvokeKind::Method, index, ignored, &direct),
              HostStatus::BadIndex);
    EXPECT_EQ(now->invoke(5, InvokeKind::Method, index, ignored, &overTheBoundary),
              HostStatus::BadIndex);
    EXPECT_FALSE(direct.description.empty());
    EXPECT_EQ(overTheBoundary.description, direct.description);

    for (InvokeKind kind : {InvokeKind::Method, InvokeKind::Get, InvokeKind::Put})
        EXPECT_EQ(root->invoke(99, kind, index, ignored, nullptr), HostStatus::UnknownOperation);
}

TEST_F(ComRoundTrip, TheWrapperRefusesWhatItCannotPass) {
    HostValue ignored;
    HostFault fault;
    EXPECT_EQ(root->invoke(1, InvokeKind::Put, {}, ignored, &fault), HostStatus::BadArgumentCount);
    // An object that is not the player's cannot cross to the player.
    const HostValue foreign[] = {HostValue(player->root()), HostValue(1), HostValue(0)};
    EXPECT_EQ(object(RootOp::NewFiles)->invoke(17, InvokeKind::Method, foreign, ignored, &fault),
              HostStatus::TypeMismatch);
    EXPECT_EQ(fault.description, "argument 1 is not an object of the player");
    EXPECT_FALSE(wrapDispatch(nullptr));
    EXPECT_FALSE(dispatchOf(player->root()));
}

// What a VB caller sends, straight into the test host's IDispatch.
TEST_F(ComRoundTrip, TheTestHostAnswersRawInvokeCalls) {
    platform::ComPtr<IDispatch> rootDispatch = dispatchOf(root);
    auto invoke = [](IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args,
                     VARIANT* result, UINT* argumentError = nullptr) {
        DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
        return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                         argumentError);
    };
    Variants out(1);
    // `x = root.Playback`: a method; `x = playback.State`: a property get.
    ASSERT_EQ(invoke(rootDispatch.get(), 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &out[0]),
              S_OK);
    ASSERT_EQ(out[0].vt, VT_DISPATCH);
    platform::ComPtr<IDispatch> playback(out[0].pdispVal);
    Variants state(1);
    ASSERT_EQ(invoke(playback.get(), 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &state[0]),
              S_OK);
    EXPECT_EQ(state[0].vt, VT_I4);
    // A put without its named argument, a floating-point argument (rgvarg index 1: the first
    // declared), a failure without EXCEPINFO, a name.
    VARIANT i4, r8;
    VariantInit(&i4);
    VariantInit(&r8);
    i4.vt = VT_I4;
    i4.lVal = 3;
    r8.vt = VT_R8;
    r8.dblVal = 3.0;
    EXPECT_EQ(invoke(playback.get(), 3, DISPATCH_PROPERTYPUT, {i4}, nullptr), DISP_E_PARAMNOTFOUND);
    UINT bad = 99;
    EXPECT_EQ(invoke(rootDispatch.get(), 28, DISPATCH_METHOD, {i4, r8}, nullptr, &bad),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 1u);
    auto scripted = std::make_shared<ScriptedObject>();
    scripted->status = HostStatus::Failed;
    EXPECT_EQ(invoke(testhost::makeSimDispatch(scripted).get(), 1, DISPATCH_METHOD, {}, nullptr),
              E_FAIL);
    std::u16string name = u"Playback";
    LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(name.data())};
    DISPID id = 0;
    EXPECT_EQ(rootDispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(rootDispatch->Invoke(1, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, nullptr,
                                   nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    // The connection point is only that, and knows only its own cookies.
    platform::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(rootDispatch.query<IConnectionPointContainer>()->FindConnectionPoint(
                  DIID_IMJAutomationEvents, point.put()),
              S_OK);
    EXPECT_FALSE(point.query<IDispatch>());
    EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
}

TEST_F(ComRoundTrip, EventsReachTheSinkInOrderOnThePumpingThreadUntilUnadvised) {
    HostObjectPtr volume = object(RootOp::VolumeEqualizer);
    RecordingSink sink;
    uint32_t cookie = 0;
    EXPECT_EQ(volume->advise(&sink, cookie), HostStatus::Failed); // only the root has events
    const long before = liveComObjects();
    ASSERT_EQ(root->advise(&sink, cookie), HostStatus::Ok);
    EXPECT_NE(cookie, 0u); // never a connection's cookie in COM
    EXPECT_GT(liveComObjects(), before);

    auto changeAndPump = [&] {
        putProperty(volume.get(), VolumeOp::Volume,
                    *getProperty(volume.get(), VolumeOp::Volume).asInt() + 1);
        std::thread::id pumping;
        std::thread([&] {
            pumping = std::this_thread::get_id();
            player->pump();
        }).join();
        return pumping;
    };
    const std::thread::id pumping = changeAndPump();
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0], (std::vector<std::u16string>{u"MCC", kNotifyVolumeChanged, u""}));
    EXPECT_EQ(sink.threads[0], pumping);

    EXPECT_EQ(root->unadvise(cookie), HostStatus::Ok);
    EXPECT_EQ(liveComObjects(), before); // the sink and the connection point are gone
    changeAndPump();
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(root->unadvise(cookie), HostStatus::NotSupported); // no such connection
}

// A player root of the test's own, failing and firing events as the real player may: Invoke
// gives the failure it is told, and its connection point keeps the sink it is given, even after
// Unadvise.
class FakePlayer final : public ComObject<IDispatch, IConnectionPointContainer, IConnectionPoint> {
public:
    platform::ComPtr<IDispatch> sink;
    static constexpr DWORD kCookie = 42;
    struct Failure {
        HRESULT hr;
        SCODE scode;
        WORD wCode;
        const char16_t* description;
        UINT argumentError;
    } failure{};

    // Fires event 1 with `args` in DISPPARAMS order (the last argument first).
    HRESULT fire(std::vector<VARIANT> args) {
        DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
        return sink->Invoke(kEventNotify, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            nullptr, nullptr, nullptr);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else if (iid == IID_IConnectionPoint)
            *out = static_cast<IConnectionPoint*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO* exception, UINT* argumentError) override {
        exception->scode = failure.scode;
        exception->wCode = failure.wCode;
        if (failure.description)
            exception->bstrDescription = platform::Bstr(failure.description).detach();
        *argumentError = failure.argumentError;
        return failure.hr;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (iid != DIID_IMJAutomationEvents)
            return CONNECT_E_NOCONNECTION;
        return platform::ComPtr<IConnectionPoint>(this).copyTo(out);
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* unknown, DWORD* cookie) override {
        // As a player does: the sink is asked for the event interface itself.
        HRESULT hr = unknown->QueryInterface(DIID_IMJAutomationEvents, sink.putVoid());
        *cookie = kCookie;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return cookie == kCookie ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

TEST(PlayerFailures, ThePlayersOwnCodeAndTextBecomeTheStatusAndDescription) {
    const struct {
        FakePlayer::Failure failure;
        HostStatus status;
        const char* description;
    } cases[] = {
        {{DISP_E_EXCEPTION, DISP_E_BADINDEX, 0, u"No such entry", 0},
         HostStatus::BadIndex,
         "No such entry"},
        {{DISP_E_EXCEPTION, E_FAIL, 0, nullptr, 0}, HostStatus::Failed, "exception 0x80004005"},
        {{DISP_E_EXCEPTION, 0, 1001, u"", 0}, HostStatus::Failed, "exception 1001"},
        // rgvarg index 0 is the last of the two arguments.
        {{DISP_E_TYPEMISMATCH, 0, 0, nullptr, 0},
         HostStatus::TypeMismatch,
         "argument 2: argument of the wrong type (0x80020005)"},
        {{DISP_E_TYPEMISMATCH, 0, 0, nullptr, 7},
         HostStatus::TypeMismatch,
         "argument of the wrong type (0x80020005)"},
        {{E_ACCESSDENIED, 0, 0, nullptr, 0}, HostStatus::Failed, "operation failed (0x80070005)"},
    };
    auto player = platform::ComPtr<FakePlayer>::adopt(new FakePlayer);
    HostObjectPtr root = wrapDispatch(player.get());
    for (const auto& c : cases) {
        player->failure = c.failure;
        HostFault fault;
        HostResult r = callMethod(root.get(), RootOp::RegisterWindow, {1, 2}, &fault);
        EXPECT_EQ(r.status, c.status) << c.description;
        EXPECT_EQ(fault.description, c.description);
    }
}

TEST(PlayerEvents, ArgumentsAreReadAsSentAndNothingArrivesAfterUnadvise) {
    auto player = platform::ComPtr<FakePlayer>::adopt(new FakePlayer);
    HostObjectPtr root = wrapDispatch(player.get());
    RecordingSink sink;
    uint32_t cookie = 0;
    ASSERT_EQ(root->advise(&sink, cookie), HostStatus::Ok);
    EXPECT_EQ(cookie, FakePlayer::kCookie);

    // VB's way: a text by reference; and a type the host layer does not carry, which arrives
    // empty instead of losing the event.
    platform::Bstr category(u"MCC"), name(u"MCC: NOTIFY_TRACK_CHANGE");
    BSTR byReference = name.get();
    std::vector<VARIANT> args(3);
    for (VARIANT& v : args)
        VariantInit(&v);
    args[0].vt = VT_R8;
    args[1].vt = VT_BYREF | VT_BSTR;
    args[1].pbstrVal = &byReference;
    args[2].vt = VT_BSTR;
    args[2].bstrVal = category.get();
    EXPECT_EQ(player->fire(args), S_OK);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0], (std::vector<std::u16string>{u"MCC", kNotifyTrackChange, u"?"}));

    EXPECT_EQ(root->unadvise(cookie), HostStatus::Ok);
    EXPECT_EQ(player->fire(args), S_OK); // the player still holds the sink: it is deaf now
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(liveComObjects(), 2); // the player and the sink it holds
    player->sink.reset();
    EXPECT_EQ(liveComObjects(), 1);
    root.reset();
    player.reset();
    EXPECT_EQ(liveComObjects(), 0);
}

} // namespace
