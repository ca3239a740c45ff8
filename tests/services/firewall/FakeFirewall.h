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
#include <set>
#include <string>
#include <vector>

namespace fwtest {

using namespace services::firewall;

inline std::string narrow(std::u16string_view text) {
    return utf16ToUtf8(text);
}

// The properties a rule was given, by setter name without "put_": {"Profiles", "3"}, ...
using RuleRecord = std::map<std::string, std::string>;

class FakeFirewall final : public FirewallApi {
public:
    // Answers.
    bool policyFails = false;
    HResult rulesResult = kOk;
    bool rulesNull = false; // get_Rules succeeds without a collection
    HResult profilesResult = kOk;
    int32_t currentProfiles = 1 | 2; // domain and private
    bool ruleCreationFails = false;
    std::string failingPut;            // the setter ("put_Name") that fails on the first rule
    std::set<std::string> addFailsFor; // names whose Add fails

    // State and records.
    std::map<std::string, RuleRecord> collection; // the rules in the firewall, by name
    std::vector<std::string> calls;
    int live = 0; // COM objects not yet released
    int rulesMade = 0;

    std::unique_ptr<FirewallPolicy> createPolicy() override;
    std::unique_ptr<FirewallRule> createRule() override;

    // The calls that start with a prefix ("put_", "Item", a whole call), in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
};

// Counts a COM object of the fake while it lives and logs its release.
class Live {
public:
    Live(FakeFirewall& fw, const char* release) : fw_(fw), release_(release) { ++fw_.live; }
    ~Live() {
        fw_.calls.push_back(release_);
        --fw_.live;
    }

protected:
    FakeFirewall& fw_;

private:
    const char* release_;
};

class FakeRule final : public FirewallRule, Live {
public:
    FakeRule(FakeFirewall& fw, bool first) : Live(fw, "Release rule"), first_(first) {}

    HResult putProfiles(int32_t v) override { return put("Profiles", std::to_string(v)); }
    HResult putAction(int32_t v) override { return put("Action", std::to_string(v)); }
    HResult putEnabled(bool v) override { return put("Enabled", v ? "true" : "false"); }
    HResult putApplicationName(std::u16string_view v) override {
        return put("ApplicationName", narrow(v));
    }
    HResult putProtocol(int32_t v) override { return put("Protocol", std::to_string(v)); }
    HResult putName(std::u16string_view v) override { return put("Name", narrow(v)); }
    HResult putDescription(std::u16string_view v) override { return put("Description", narrow(v)); }
    HResult putDirection(int32_t v) override { return put("Direction", std::to_string(v)); }

    RuleRecord record;

private:
    HResult put(const std::string& what, const std::string& value) {
        fw_.calls.push_back("put_" + what + "(" + value + ")");
        if (first_ && fw_.failingPut == "put_" + what)
            return kFail;
        record[what] = value;
        return kOk;
    }
    bool first_;
};

class FakeRules final : public FirewallRules, Live {
public:
    explicit FakeRules(FakeFirewall& fw) : Live(fw, "Release rules") {}

    HResult item(std::u16string_view name) override {
        fw_.calls.push_back("Item(" + narrow(name) + ")");
        // Windows answers HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing rule.
        return fw_.collection.count(narrow(name)) ? kOk : static_cast<HResult>(0x80070002);
    }
    HResult add(FirewallRule& rule) override {
        RuleRecord r = static_cast<FakeRule&>(rule).record;
        fw_.calls.push_back("Add(" + r["Name"] + ")");
        if (fw_.addFailsFor.count(r["Name"]))
            return kFail;
        fw_.collection[r["Name"]] = r;
        return kOk;
    }
};

class FakePolicy final : public FirewallPolicy, Live {
public:
    explicit FakePolicy(FakeFirewall& fw) : Live(fw, "Release policy") {}

    HResult rules(std::unique_ptr<FirewallRules>& out) override {
        fw_.calls.push_back("get_Rules");
        if (succeeded(fw_.rulesResult) && !fw_.rulesNull)
            out = std::make_unique<FakeRules>(fw_);
        return fw_.rulesResult;
    }
    HResult currentProfileTypes(int32_t& profiles) override {
        fw_.calls.push_back("get_CurrentProfileTypes");
        if (succeeded(fw_.profilesResult))
            profiles = fw_.currentProfiles;
        return fw_.profilesResult;
    }
};

inline std::unique_ptr<FirewallPolicy> FakeFirewall::createPolicy() {
    calls.push_back("CoCreateInstance(NetFwPolicy2)");
    return policyFails ? nullptr : std::make_unique<FakePolicy>(*this);
}

inline std::unique_ptr<FirewallRule> FakeFirewall::createRule() {
    calls.push_back("CoCreateInstance(NetFwRule)");
    return ruleCreationFails ? nullptr : std::make_unique<FakeRule>(*this, ++rulesMade == 1);
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
    std::vector<std::string>& calls;      // the firewall's log
    std::vector<std::u16string> patterns; // what findFiles was asked for

    explicit FakeProcess(std::vector<std::string>& log) : calls(log) {}

    bool currentDirectory(std::u16string& out) override {
        calls.push_back("GetCurrentDirectory");
        if (directoryReadable)
            out = directory;
        return directoryReadable;
    }
    std::vector<std::u16string> findFiles(std::u16string_view pattern) override {
        calls.push_back("FindFirstFile(" + narrow(pattern) + ")");
        patterns.emplace_back(pattern);
        const size_t slash = pattern.rfind(u'\\');
        if (slash == std::u16string_view::npos || pattern.substr(0, slash) != directory)
            return {};
        return listing;
    }
    HResult initializeCom() override {
        calls.push_back("CoInitializeEx");
        return comResult;
    }
    void uninitializeCom() override { calls.push_back("CoUninitialize"); }
};

} // namespace fwtest
