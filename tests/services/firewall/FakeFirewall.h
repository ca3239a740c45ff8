// One fake of every firewall seam: the firewall (its rules live as long as the fake, so a second
// press finds the rules of the first), the box and the process. Every call is logged in order
// and answered from a script: answers[call] or answers[name] (the call without its arguments,
// "put_Name") gives one answer per call, the last one repeated; kOk without one. A failed
// CoCreateInstance gives no object, and get_Rules answering S_FALSE no collection. `live`
// counts the COM objects not yet released.
#pragma once

#include "common/Utf.h"
#include "services/firewall/FirewallApi.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fwtest {

using namespace services::firewall;

class FakeFirewall final : public FirewallApi, public FirewallBox, public FirewallProcess {
public:
    std::map<std::string, std::vector<HResult>> answers;
    int32_t currentProfiles = 1 | 2; // domain and private
    std::u16string directory = u"C:\\Program Files\\J River\\Media Center 31";
    std::vector<std::u16string> listing; // every name in the directory
    std::set<std::string> added;         // the names of the rules in the firewall
    std::vector<std::string> calls;
    int live = 0;

    HResult call(const std::string& what) {
        calls.push_back(what);
        for (const std::string& key : {what, what.substr(0, what.find('('))}) {
            auto it = answers.find(key);
            if (it != answers.end() && !it->second.empty())
                return it->second[std::min(used_[key]++, it->second.size() - 1)];
        }
        return kOk;
    }
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                     [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        return out;
    }

    std::unique_ptr<FirewallPolicy> createPolicy() override;
    std::unique_ptr<FirewallRule> createRule() override;
    // Logged as "MessageBox(text, title, icon, owner)".
    void show(OwnerWindow owner, std::u16string_view text, std::u16string_view title,
              bridge::BoxIcon icon) override {
        call("MessageBox(" + utf16ToUtf8(text) + ", " + utf16ToUtf8(title) + ", " +
             std::to_string(int(icon)) + ", " + std::to_string(uintptr_t(owner)) + ")");
    }
    bool currentDirectory(std::u16string& out) override {
        out = directory;
        return succeeded(call("GetCurrentDirectory"));
    }
    std::vector<std::u16string> findFiles(std::u16string_view pattern) override {
        call("FindFirstFile(" + utf16ToUtf8(pattern) + ")");
        return pattern.substr(0, pattern.rfind(u'\\')) == directory ? listing
                                                                    : std::vector<std::u16string>{};
    }
    HResult initializeCom() override { return call("CoInitializeEx"); }
    void uninitializeCom() override { call("CoUninitialize"); }

private:
    std::map<std::string, size_t> used_;
};

// A COM object of the fake: counted while it lives, its release logged.
struct Live {
    Live(FakeFirewall& owner, const char* what) : fw(owner), release(what) { ++fw.live; }
    ~Live() {
        fw.calls.push_back(release);
        --fw.live;
    }
    FakeFirewall& fw;
    const char* release;
};

// Each setter logged as "put_What(value)".
struct FakeRule final : FirewallRule, Live {
    explicit FakeRule(FakeFirewall& owner) : Live(owner, "Release rule") {}
    HResult putProfiles(int32_t v) override { return put("Profiles", v); }
    HResult putAction(int32_t v) override { return put("Action", v); }
    HResult putEnabled(bool v) override { return put("Enabled", v ? "true" : "false"); }
    HResult putApplicationName(std::u16string_view v) override { return put("ApplicationName", v); }
    HResult putProtocol(int32_t v) override { return put("Protocol", v); }
    HResult putName(std::u16string_view v) override { return put("Name", name = utf16ToUtf8(v)); }
    HResult putDescription(std::u16string_view v) override { return put("Description", v); }
    HResult putDirection(int32_t v) override { return put("Direction", v); }
    HResult put(const std::string& what, int32_t value) { return put(what, std::to_string(value)); }
    HResult put(const std::string& what, std::u16string_view v) {
        return put(what, utf16ToUtf8(v));
    }
    HResult put(const std::string& what, const std::string& value) {
        return fw.call("put_" + what + "(" + value + ")");
    }
    std::string name;
};

struct FakeRules final : FirewallRules, Live {
    explicit FakeRules(FakeFirewall& owner) : Live(owner, "Release rules") {}
    HResult item(std::u16string_view name) override {
        fw.call("Item(" + utf16ToUtf8(name) + ")");
        // Windows answers HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing rule.
        return fw.added.count(utf16ToUtf8(name)) ? kOk : static_cast<HResult>(0x80070002);
    }
    HResult add(FirewallRule& rule) override {
        const std::string& name = static_cast<FakeRule&>(rule).name;
        const HResult hr = fw.call("Add(" + name + ")");
        if (succeeded(hr))
            fw.added.insert(name);
        return hr;
    }
};

struct FakePolicy final : FirewallPolicy, Live {
    explicit FakePolicy(FakeFirewall& owner) : Live(owner, "Release policy") {}
    HResult rules(std::unique_ptr<FirewallRules>& out) override {
        const HResult hr = fw.call("get_Rules");
        if (hr == kOk)
            out = std::make_unique<FakeRules>(fw);
        return hr;
    }
    HResult currentProfileTypes(int32_t& profiles) override {
        const HResult hr = fw.call("get_CurrentProfileTypes");
        if (succeeded(hr))
            profiles = fw.currentProfiles;
        return hr;
    }
};

inline std::unique_ptr<FirewallPolicy> FakeFirewall::createPolicy() {
    return succeeded(call("CoCreateInstance(NetFwPolicy2)")) ? std::make_unique<FakePolicy>(*this)
                                                             : nullptr;
}

inline std::unique_ptr<FirewallRule> FakeFirewall::createRule() {
    return succeeded(call("CoCreateInstance(NetFwRule)")) ? std::make_unique<FakeRule>(*this)
                                                          : nullptr;
}

} // namespace fwtest
