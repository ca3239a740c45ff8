// A decorator around host objects that logs every invoke as one line of text and can make a
// chosen call fail or answer a chosen value (a null object too). Objects returned by a recorded
// object are recorded too, named after the call that gave them: root.m2("[Genre]=[Jazz]"),
// files.m1(), file.g2(). Any thread may call through it. Also small libraries built in a test,
// and the simulated player over them seen through a recorder.
#pragma once

#include "common/Utf.h"
#include "host/HostAutomation.h"
#include "simhost/SimPlayer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace library_test {

using testing_support::TempFolder;

class Recorder {
public:
    struct Fail {};
    using Action = std::variant<Fail, host::HostValue>;

    // Calls whose text starts with `prefix` fail (HostStatus::Failed), or answer `value`
    // without reaching the player; with `nth`, only the nth such call (0-based):
    // failCall("", n) fails call number n.
    void failCall(std::string prefix, int nth = -1) { addRule(std::move(prefix), nth, Fail{}); }
    void answer(std::string prefix, host::HostValue value, int nth = -1) {
        addRule(std::move(prefix), nth, std::move(value));
    }
    // Forgets the calls and the rules.
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
        rules_.clear();
    }
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // The calls whose text starts with `prefix`, in order.
    std::vector<std::string> only(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& c : calls())
            if (c.starts_with(prefix))
                out.push_back(c);
        return out;
    }
    // The expressions given to the root's search, in order.
    std::vector<std::u16string> searches() {
        std::vector<std::u16string> out;
        for (const auto& c : only("root.m2(\""))
            out.push_back(utf8ToUtf16(c.substr(9, c.size() - 11)));
        return out;
    }
    // Logs a call; what it should do instead of reaching the player, if anything. Every rule
    // counts the calls it matches; of those that apply a failure wins, else the first answer.
    std::optional<Action> record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        std::optional<Action> chosen;
        for (auto& r : rules_) {
            if (!call.starts_with(r.prefix) || r.nth == kSpent)
                continue;
            bool applies = r.nth == -1;
            if (r.nth >= 0 && r.nth-- == 0) {
                r.nth = kSpent;
                applies = true;
            }
            if (applies && (!chosen || std::holds_alternative<Fail>(r.action)))
                chosen = r.action;
        }
        return chosen;
    }

private:
    static constexpr int kSpent = -2;
    struct Rule {
        std::string prefix;
        int nth; // -1: every matching call; kSpent: done; otherwise counts down to its call
        Action action;
    };
    void addRule(std::string prefix, int nth, Action action) {
        std::lock_guard lock(mutex_);
        rules_.push_back({std::move(prefix), nth, std::move(action)});
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<Rule> rules_;
};

class RecordingObject : public host::HostObject {
public:
    RecordingObject(std::shared_ptr<Recorder> recorder, host::HostObjectPtr inner, std::string name)
        : recorder_(std::move(recorder)), inner_(std::move(inner)), name_(std::move(name)) {}

    host::HostStatus invoke(int32_t id, host::InvokeKind kind,
                            std::span<const host::HostValue> args, host::HostValue& result,
                            host::HostFault* fault) override {
        std::string call = name_ + "." + "mgp"[int(kind)] + std::to_string(id) + "(";
        std::vector<host::HostValue> innerArgs;
        for (size_t i = 0; i < args.size(); ++i) {
            call += (i ? "," : "") + describe(args[i]);
            auto* recorded = dynamic_cast<RecordingObject*>(args[i].asObject().get());
            innerArgs.push_back(recorded ? host::HostValue(recorded->inner_) : args[i]);
        }
        if (auto action = recorder_->record(call + ")")) {
            bool fails = std::holds_alternative<Recorder::Fail>(*action);
            result = fails ? host::HostValue() : std::get<host::HostValue>(*action);
            return fails ? host::HostStatus::Failed : host::HostStatus::Ok;
        }
        host::HostStatus status = inner_->invoke(id, kind, innerArgs, result, fault);
        if (host::HostObjectPtr object = result.asObject())
            result = host::HostValue(host::HostObjectPtr(
                std::make_shared<RecordingObject>(recorder_, object, childName(id))));
        return status;
    }
    host::HostStatus advise(host::HostEventSink* sink, uint32_t& cookie) override {
        return inner_->advise(sink, cookie);
    }
    host::HostStatus unadvise(uint32_t cookie) override { return inner_->unadvise(cookie); }

private:
    static std::string describe(const host::HostValue& v) {
        switch (v.type()) {
        case host::HostValue::Type::Empty:
            return "empty";
        case host::HostValue::Type::Int32:
            return std::to_string(*v.asInt());
        case host::HostValue::Type::Bool:
            return v.isTrue() ? "TRUE" : "FALSE";
        case host::HostValue::Type::Text:
            return "\"" + utf16ToUtf8(*v.asText()) + "\"";
        case host::HostValue::Type::Object:
            break;
        }
        auto* recorded = dynamic_cast<RecordingObject*>(v.asObject().get());
        return recorded ? recorded->name_ : "object";
    }
    std::string childName(int32_t id) const {
        static const std::map<std::pair<std::string, int32_t>, std::string> names = {
            {{"root", 2}, "files"},     {{"root", 3}, "playingNow"}, {{"root", 6}, "volume"},
            {{"root", 23}, "newFiles"}, {{"root", 27}, "playlist"},  {{"files", 2}, "file"},
            {{"newFiles", 2}, "file"},  {{"playingNow", 5}, "file"},
        };
        auto it = names.find({name_, id});
        return it != names.end() ? it->second : name_ + "." + std::to_string(id);
    }

    std::shared_ptr<Recorder> recorder_;
    host::HostObjectPtr inner_;
    std::string name_;
};

// The root object of `inner`, recorded into `recorder`.
inline host::HostObjectPtr recordedRoot(std::shared_ptr<Recorder> recorder,
                                        host::HostObjectPtr inner) {
    return std::make_shared<RecordingObject>(std::move(recorder), std::move(inner), "root");
}

inline medialib::Track track(int32_t key, std::u16string artist, std::u16string album,
                             std::u16string name, std::u16string genre = u"Rock") {
    medialib::Track t;
    t.key = t.trackNumber = key;
    t.path = u"/music/" + name;
    std::tie(t.artist, t.album, t.name, t.genre) = std::tie(artist, album, name, genre);
    return t;
}

// Six tracks (keys 100..105) of 10..60 s, two albums; the third has a comment, a year and
// plays. Playlists: 7 ordinary {100,101,102}, 8 a group, 9 smart, 10 ordinary and empty;
// playing now {100,101,102}.
inline medialib::LibraryData smallLibrary() {
    using namespace medialib;
    LibraryData lib;
    for (int32_t i = 0; i < 6; ++i) {
        Track t;
        t.key = 100 + i;
        t.name = u"Song " + std::u16string(1, char16_t(u'A' + i));
        t.artist = i < 3 ? u"First Band" : u"Second Band";
        t.album = i < 3 ? u"One" : (i < 5 ? u"Two" : u"");
        t.genre = i < 3 ? u"Rock" : u"Jazz";
        t.durationSeconds = 10 * (i + 1);
        t.trackNumber = i + 1;
        t.playCount = i % 2 ? 0 : i + 1;
        t.rating = i % 6;
        t.path = u"D:\\Music\\song" + std::u16string(1, char16_t(u'0' + i)) + u".mp3";
        lib.tracks.push_back(t);
    }
    std::tie(lib.tracks[2].comment, lib.tracks[2].year, lib.tracks[2].playCount) =
        std::tuple(u"la la la", 1999, 7);
    lib.playlists = {{7, u"Mine", u"Lists", PlaylistType::Ordinary, {100, 101, 102}, u""},
                     {8, u"Lists", u"", PlaylistType::Group, {}, u""},
                     {9, u"Long ones", u"", PlaylistType::Smart, {}, u"[Duration]=>35"},
                     {10, u"Empty", u"", PlaylistType::Ordinary, {}, u""}};
    lib.playingNow = {100, 101, 102};
    return lib;
}

struct SmallPlayer {
    explicit SmallPlayer(std::vector<medialib::Track> tracks)
        : player(medialib::LibraryData{std::move(tracks), {}, {}}),
          root(recordedRoot(recorder, player.root())) {}

    simhost::SimPlayer player;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    host::HostObjectPtr root;
};

// Runs `request` once (it must succeed), then again with each of its host calls failing in
// turn: every such run must fail. `prepare` sets up each run's fresh recorder.
template <class Request>
void failEachCall(SmallPlayer& p, Request request, const std::function<void()>& prepare = {}) {
    auto fresh = [&] {
        p.recorder->clear();
        if (prepare)
            prepare();
    };
    fresh();
    ASSERT_TRUE(request());
    size_t calls = p.recorder->calls().size();
    for (size_t i = 0; i < calls; ++i) {
        fresh();
        p.recorder->failCall("", int(i));
        EXPECT_FALSE(request()) << "call " << p.recorder->calls()[i];
    }
}

} // namespace library_test
