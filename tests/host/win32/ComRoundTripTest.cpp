// The player's objects through real IDispatch::Invoke calls on both sides: the simulated player
// behind the test host's COM objects, called through the plug-in's wrapper as the plug-in calls
// the real player. What the bridge's own tests already cross this way (every operation the
// bridge uses) is not repeated here; these are the cases the bridge does not make.
#include "host/win32/ComObject.h"
#include "host/win32/DispatchObject.h"
#include "host/win32/Variant.h"
#include "simhost/SimPlayer.h"
#include "tests/support/PlayerRoot.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace host;

namespace {

medialib::LibraryData threeTracks() {
    medialib::LibraryData lib;
    for (int32_t key : {100, 101, 102}) {
        medialib::Track t;
        t.key = key;
        t.path = u"D:\\" + std::u16string(1, char16_t(key));
        lib.tracks.push_back(t);
    }
    lib.playlists = {{7, u"Mine", u"", medialib::PlaylistType::Ordinary, {100, 101, 102}, u""}};
    return lib;
}

// Answers what it is told and keeps what it was given.
struct ScriptedObject : HostObject {
    HostStatus status = HostStatus::Ok;
    HostValue answer;
    std::string description;
    std::vector<HostValue> received;

    HostStatus invoke(int32_t, InvokeKind, std::span<const HostValue> args, HostValue& result,
                      HostFault* fault) override {
        received.assign(args.begin(), args.end());
        result = answer;
        if (fault && !description.empty())
            fault->description = description;
        return status;
    }
};

// Each event's arguments as texts ("?" for anything else) and the thread it came on.
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
const auto overCom = testing_support::playerRootForTests;

class ComRoundTrip : public ::testing::Test {
protected:
    void TearDown() override {
        root.reset();
        player.reset();
        EXPECT_TRUE(testing_support::playerObjectsReleased());
    }
    HostObjectPtr object(RootOp op, std::initializer_list<HostValue> args = {}) {
        return callMethod(root.get(), op, args).asObject();
    }

    platform::ManualClock clock;
    std::unique_ptr<simhost::SimPlayer> player = std::make_unique<simhost::SimPlayer>(
        threeTracks(), simhost::SimOptions{&clock, {}, 0, false});
    HostObjectPtr root = overCom(player->root());
    std::shared_ptr<ScriptedObject> scripted = std::make_shared<ScriptedObject>();
    HostValue ignored;
};

TEST_F(ComRoundTrip, TextsAndObjectsCrossIntact) {
    // Every code unit, in argument order: non-ASCII, an embedded NUL, a surrogate pair.
    const std::u16string name = u"Caf\u00e9 " + std::u16string(1, u'\0') + u"b";
    const std::u16string path = u"\U0001F3B5 Lists";
    HostObjectPtr list =
        callMethod(object(RootOp::Playlists).get(), PlaylistsOp::Create, {name, path}).asObject();
    EXPECT_EQ(getProperty(list.get(), PlaylistOp::Name).text(), name);
    EXPECT_EQ(getProperty(list.get(), PlaylistOp::Path).text(), path);

    // The player recognises its own collection behind two layers of COM.
    HostObjectPtr source =
        callMethod(object(RootOp::PlaylistById, {7}).get(), PlaylistOp::Files).asObject();
    HostObjectPtr target = object(RootOp::NewFiles);
    EXPECT_EQ(callMethod(target.get(), FilesOp::InsertCopy, {source, 1, 0}).asInt(), 0);
    HostObjectPtr file = callMethod(target.get(), FilesOp::Item, {0}).asObject();
    EXPECT_EQ(callMethod(file.get(), FileOp::Key).asInt(), 101);

    HostResult none = callMethod(root.get(), RootOp::PlaylistById, {9999});
    EXPECT_TRUE(none.ok());
    EXPECT_EQ(none.value.type(), HostValue::Type::Object);
    EXPECT_FALSE(none.asObject());
}

TEST_F(ComRoundTrip, BooleansKeepTheirRawValueAndOnlyMinusOneIsTrue) {
    HostObjectPtr wrapped = overCom(scripted);
    for (int16_t raw : {int16_t(-1), int16_t(0), int16_t(1), int16_t(0x7FFF)}) {
        scripted->answer = HostValue::fromVariantBool(raw);
        HostResult r = getProperty(wrapped.get(), 1);
        EXPECT_EQ(r.value.asVariantBool(), raw);
        EXPECT_EQ(r.isTrue(), raw == kVariantTrue) << raw;
        EXPECT_TRUE(putProperty(wrapped.get(), 1, HostValue::fromVariantBool(raw)).ok());
        EXPECT_EQ(scripted->received.at(0).asVariantBool(), raw);
    }
}

TEST_F(ComRoundTrip, EveryStatusCrossesBothWays) {
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
    HostObjectPtr wrapped = overCom(scripted);
    for (const auto& row : rows) {
        SCOPED_TRACE(hostStatusName(row.status));
        EXPECT_EQ(hresultFromStatus(row.status), row.code);
        EXPECT_EQ(statusFromHresult(row.code), row.status);
        for (HRESULT other : row.alsoFrom)
            EXPECT_EQ(statusFromHresult(other), row.status) << std::hex << other;
        // Through COM, with the object's description (an unknown operation carries none) or,
        // without one, the wrapper's.
        for (std::string description : {"why it failed", ""}) {
            scripted->status = row.status;
            scripted->description = description;
            HostFault fault;
            EXPECT_EQ(wrapped->invoke(5, InvokeKind::Method, {}, ignored, &fault), row.status);
            if (row.status == HostStatus::Ok ||
                (row.status == HostStatus::UnknownOperation && !description.empty()))
                continue;
            if (description.empty())
                description = row.status == HostStatus::Failed
                                  ? "exception 0x80004005" // E_FAIL, said by its code
                                  : std::string(hostStatusName(row.status)) + " (0x";
            EXPECT_EQ(fault.description.substr(0, description.size()), description);
        }
    }
}

TEST_F(ComRoundTrip, FailuresCarryThePlayersDescription) {
    const HostValue index[] = {HostValue(99)};
    HostFault direct, overTheBoundary;
    HostObjectPtr simulated = callMethod(player->root().get(), RootOp::PlayingNow).asObject();
    ASSERT_EQ(simulated->invoke(5, InvokeKind::Method, index, ignored, &direct),
              HostStatus::BadIndex);
    EXPECT_EQ(
        object(RootOp::PlayingNow)->invoke(5, InvokeKind::Method, index, ignored, &overTheBoundary),
        HostStatus::BadIndex);
    EXPECT_FALSE(direct.description.empty());
    EXPECT_EQ(overTheBoundary.description, direct.description);

    for (InvokeKind kind : {InvokeKind::Method, InvokeKind::Get, InvokeKind::Put})
        EXPECT_EQ(root->invoke(99, kind, index, ignored, nullptr), HostStatus::UnknownOperation);
    // What the wrapper refuses itself: a put without its value, an object not the player's.
    EXPECT_EQ(root->invoke(1, InvokeKind::Put, {}, ignored, nullptr), HostStatus::BadArgumentCount);
    const HostValue foreign[] = {HostValue(player->root()), HostValue(1), HostValue(0)};
    EXPECT_EQ(object(RootOp::NewFiles)->invoke(17, InvokeKind::Method, foreign, ignored, &direct),
              HostStatus::TypeMismatch);
    EXPECT_EQ(direct.description, "argument 1 is not an object of the player");
}

TEST_F(ComRoundTrip, EventsReachTheSinkInOrderOnThePumpingThreadUntilUnadvised) {
    HostObjectPtr volume = object(RootOp::VolumeEqualizer);
    RecordingSink sink;
    uint32_t cookie = 0;
    EXPECT_EQ(volume->advise(&sink, cookie), HostStatus::Failed); // only the root has events
    const long before = liveComObjects();
    ASSERT_EQ(root->advise(&sink, cookie), HostStatus::Ok);
    EXPECT_NE(cookie, 0u); // never a connection's cookie in COM

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

// A player root of the test's own, firing events as the real player may: its connection point
// keeps the sink it is given, even after Unadvise.
class KeepingRoot final : public ComObject<IDispatch, IConnectionPointContainer, IConnectionPoint> {
public:
    platform::ComPtr<IDispatch> sink;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint** out) override {
        return platform::ComPtr<IConnectionPoint>(this).copyTo(out);
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* unknown, DWORD* cookie) override {
        *cookie = 42; // and the sink is asked for the event interface itself
        return unknown->QueryInterface(DIID_IMJAutomationEvents, sink.putVoid());
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return S_OK; }
    // Nothing else is called.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

TEST(PlayerEvents, ArgumentsAreReadAsSentAndNothingArrivesAfterUnadvise) {
    auto player = platform::ComPtr<KeepingRoot>::adopt(new KeepingRoot);
    HostObjectPtr root = wrapDispatch(player.get());
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
    EXPECT_EQ(fire(), S_OK); // the player still holds the sink: it is deaf now
    EXPECT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(liveComObjects(), 2); // the player and the sink it holds
    player->sink.reset();
    EXPECT_EQ(liveComObjects(), 1);
}

} // namespace
