// Fakes of the firewall seams: a firewall whose rule collection lives as long as the fake (so
// a second press finds the rules of the first), with a log of every call in order, answers
// that can fail at any step, and a count of live COM objects; a box that records what it
// was asked to show; a process with a fake current directory and directory listing.
#pragma once

#include "common/Utf.h"
#include "services/firewall/FirewallApi.h"
#include "services/firewall/FirewallRules.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fwtest {

using namespace services::firewall;

inline std::string narrow(std::u16string_view text) {
    return utf16ToUtf8(text);
}

// The properties a rule was given; unset ones stay empty.
struct RuleRecord {
    std::optional<int32_t> profiles;
    std::optional<int32_t> action;
    std::optional<bool> enabled;
    std::optional<std::u16string> application;
    std::optional<int32_t> protocol;
    std::optional<std::u16string> name;
    std::optional<std::u16string> description;
    std::optional<int32_t> direction;
};

class FakeFirewall final : public FirewallApi {
public:
    // Answers.
    bool policyFails = false;
    HResult rulesResult = kOk;
    HResult profilesResult = kOk;
    int32_t currentProfiles = 1 | 2; // domain and private
    bool ruleCreationFails = false;
    // The setter ("put_Name", ...) that fails, for every rule or only for the named one.
    std::string failingPut;
    int failingPutRule = 0;               // 0: every rule; n: only the n-th rule created
    std::set<std::u16string> addFailsFor; // names whose Add fails

    // State and records.
    std::map<std::u16string, RuleRecord> collection; // the rules in the firewall, by name
    std::vector<RuleRecord> created;                 // every rule object, as it was left
    std::vector<std::string> calls;
    int live = 0;      // COM objects not yet released
    int rulesMade = 0; // rule objects created

    std::unique_ptr<FirewallPolicy> createPolicy() override;
    std::unique_ptr<FirewallRule> createRule() override;

    // The calls that name a given prefix ("put_", "Item", ...), in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    size_t countOf(const std::string& call) const {
        size_t n = 0;
        for (const std::string& c : calls)
            n += c == call ? 1 : 0;
        return n;
    }
};

class FakeRule final : public FirewallRule {
public:
    FakeRule(FakeFirewall& fw, int number) : fw_(fw), number_(number) { ++fw_.live; }
    ~FakeRule() override {
        fw_.created.push_back(record);
        fw_.calls.push_back("Release rule");
        --fw_.live;
    }

    HResult putProfiles(int32_t v) override { return put("put_Profiles", v, record.profiles); }
    HResult putAction(int32_t v) override { return put("put_Action", v, record.action); }
    HResult putEnabled(bool v) override { return put("put_Enabled", v, record.enabled); }
    HResult putApplicationName(std::u16string_view v) override {
        return put("put_ApplicationName", std::u16string(v), record.application);
    }
    HResult putProtocol(int32_t v) override { return put("put_Protocol", v, record.protocol); }
    HResult putName(std::u16string_view v) override {
        return put("put_Name", std::u16string(v), record.name);
    }
    HResult putDescription(std::u16string_view v) override {
        return put("put_Description", std::u16string(v), record.description);
    }
    HResult putDirection(int32_t v) override { return put("put_Direction", v, record.direction); }

    RuleRecord record;

private:
    static std::string text(int32_t v) { return std::to_string(v); }
    static std::string text(bool v) { return v ? "true" : "false"; }
    static std::string text(const std::u16string& v) { return narrow(v); }

    template <class T> HResult put(const char* what, const T& value, std::optional<T>& field) {
        fw_.calls.push_back(std::string(what) + "(" + text(value) + ")");
        if (fw_.failingPut == what && (fw_.failingPutRule == 0 || fw_.failingPutRule == number_))
            return kFail;
        field = value;
        return kOk;
    }

    FakeFirewall& fw_;
    int number_;
};

class FakeRules final : public FirewallRules {
public:
    explicit FakeRules(FakeFirewall& fw) : fw_(fw) { ++fw_.live; }
    ~FakeRules() override {
        fw_.calls.push_back("Release rules");
        --fw_.live;
    }

    HResult item(std::u16string_view name) override {
        fw_.calls.push_back("Item(" + narrow(name) + ")");
        // Windows answers HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing rule.
        return fw_.collection.count(std::u16string(name)) ? kOk : static_cast<HResult>(0x80070002);
    }

    HResult add(FirewallRule& rule) override {
        const RuleRecord& r = static_cast<FakeRule&>(rule).record;
        const std::u16string name = r.name.value_or(u"");
        fw_.calls.push_back("Add(" + narrow(name) + ")");
        if (fw_.addFailsFor.count(name))
            return kFail;
        fw_.collection[name] = r;
        return kOk;
    }

private:
    FakeFirewall& fw_;
};

class FakePolicy final : public FirewallPolicy {
public:
    explicit FakePolicy(FakeFirewall& fw) : fw_(fw) { ++fw_.live; }
    ~FakePolicy() override {
        fw_.calls.push_back("Release policy");
        --fw_.live;
    }

    HResult rules(std::unique_ptr<FirewallRules>& out) override {
        fw_.calls.push_back("get_Rules");
        if (!succeeded(fw_.rulesResult))
            return fw_.rulesResult;
        out = std::make_unique<FakeRules>(fw_);
        return kOk;
    }

    HResult currentProfileTypes(int32_t& profiles) override {
        fw_.calls.push_back("get_CurrentProfileTypes");
        if (!succeeded(fw_.profilesResult))
            return fw_.profilesResult;
        profiles = fw_.currentProfiles;
        return kOk;
    }

private:
    FakeFirewall& fw_;
};

inline std::unique_ptr<FirewallPolicy> FakeFirewall::createPolicy() {
    calls.push_back("CoCreateInstance(NetFwPolicy2)");
    if (policyFails)
        return nullptr;
    return std::make_unique<FakePolicy>(*this);
}

inline std::unique_ptr<FirewallRule> FakeFirewall::createRule() {
    calls.push_back("CoCreateInstance(NetFwRule)");
    if (ruleCreationFails)
        return nullptr;
    return std::make_unique<FakeRule>(*this, ++rulesMade);
}

class RecordingBox final : public FirewallBox {
public:
    struct Shown {
        OwnerWindow owner;
        std::u16string text;
        std::u16string title;
        bridge::BoxIcon icon;
    };
    std::vector<Shown> shown;
    std::vector<std::string>* calls = nullptr; // the firewall's log, to see the order

    void show(OwnerWindow owner, std::u16string_view text, std::u16string_view title,
              bridge::BoxIcon icon) override {
        shown.push_back({owner, std::u16string(text), std::u16string(title), icon});
        if (calls)
            calls->push_back("MessageBox(" + narrow(text) + ")");
    }
};

// A directory listing whose search is as loose as can be: it finds every name in the current
// directory, so the caller's own matching is what decides.
class FakeProcess final : public FirewallProcess {
public:
    bool directoryReadable = true;
    std::u16string directory = u"C:\\Program Files\\J River\\Media Center 31";
    std::vector<std::u16string> listing;
    HResult comResult = kOk;

    std::vector<std::string>* calls = nullptr; // shared log
    std::vector<std::u16string> patterns;      // what findFiles was asked for

    bool currentDirectory(std::u16string& out) override {
        log("GetCurrentDirectory");
        if (!directoryReadable)
            return false;
        out = directory;
        return true;
    }

    std::vector<std::u16string> findFiles(std::u16string_view pattern) override {
        log("FindFirstFile(" + narrow(pattern) + ")");
        patterns.emplace_back(pattern);
        const size_t slash = pattern.rfind(u'\\');
        if (slash == std::u16string_view::npos || pattern.substr(0, slash) != directory)
            return {};
        return listing;
    }

    HResult initializeCom() override {
        log("CoInitializeEx");
        return comResult;
    }
    void uninitializeCom() override { log("CoUninitialize"); }

private:
    void log(const std::string& what) {
        if (calls)
            calls->push_back(what);
    }
};

} // namespace fwtest
