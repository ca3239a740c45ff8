// The firewall seams over the system. wchar_t is 16 bits here, so UTF-16 texts pass to the
// system as they are. The firewall's GUIDs are not in mingw's libuuid: initguid.h makes this
// file define those that netfw.h declares. References and BSTRs are held by platform::ComPtr
// and platform::Bstr.
#include "services/firewall/win32/FirewallWin32.h"

#include "bridge/win32/BoxIcon.h"
#include "common/Log.h"
#include "platform/win32/ComPtr.h"
#include "services/firewall/FirewallRules.h"

#include <initguid.h>
#include <netfw.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

namespace services::firewall {

namespace {

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

class SystemRule final : public FirewallRule {
public:
    explicit SystemRule(platform::ComPtr<INetFwRule> rule) : rule_(std::move(rule)) {}
    INetFwRule* get() const { return rule_.get(); }

    HResult putProfiles(int32_t profiles) override { return rule_->put_Profiles(profiles); }
    HResult putAction(int32_t action) override {
        return rule_->put_Action(static_cast<NET_FW_ACTION>(action));
    }
    HResult putEnabled(bool enabled) override {
        return rule_->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
    }
    HResult putApplicationName(std::u16string_view path) override {
        return withBstr(path, [&](BSTR b) { return rule_->put_ApplicationName(b); });
    }
    HResult putProtocol(int32_t protocol) override { return rule_->put_Protocol(protocol); }
    HResult putName(std::u16string_view name) override {
        return withBstr(name, [&](BSTR b) { return rule_->put_Name(b); });
    }
    HResult putDescription(std::u16string_view description) override {
        return withBstr(description, [&](BSTR b) { return rule_->put_Description(b); });
    }
    HResult putDirection(int32_t direction) override {
        return rule_->put_Direction(static_cast<NET_FW_RULE_DIRECTION>(direction));
    }

private:
    template <class Call> static HResult withBstr(std::u16string_view text, Call call) {
        platform::Bstr b(text);
        if (!b.get())
            return kOutOfMemory;
        return call(b.get());
    }

    platform::ComPtr<INetFwRule> rule_;
};

class SystemRules final : public FirewallRules {
public:
    explicit SystemRules(platform::ComPtr<INetFwRules> rules) : rules_(std::move(rules)) {}

    HResult item(std::u16string_view name) override {
        platform::Bstr b(name);
        if (!b.get())
            return kOutOfMemory;
        platform::ComPtr<INetFwRule> found;
        return rules_->Item(b.get(), found.put());
    }

    HResult add(FirewallRule& rule) override {
        auto* own = dynamic_cast<SystemRule*>(&rule);
        if (!own)
            return E_INVALIDARG;
        return rules_->Add(own->get());
    }

private:
    platform::ComPtr<INetFwRules> rules_;
};

class SystemPolicy final : public FirewallPolicy {
public:
    explicit SystemPolicy(platform::ComPtr<INetFwPolicy2> policy) : policy_(std::move(policy)) {}

    HResult rules(std::unique_ptr<FirewallRules>& out) override {
        platform::ComPtr<INetFwRules> rules;
        const HRESULT hr = policy_->get_Rules(rules.put());
        if (SUCCEEDED(hr) && rules)
            out = std::make_unique<SystemRules>(std::move(rules));
        return hr;
    }

    HResult currentProfileTypes(int32_t& profiles) override {
        long value = 0;
        const HRESULT hr = policy_->get_CurrentProfileTypes(&value);
        profiles = static_cast<int32_t>(value);
        return hr;
    }

private:
    platform::ComPtr<INetFwPolicy2> policy_;
};

class SystemApi final : public FirewallApi {
public:
    std::unique_ptr<FirewallPolicy> createPolicy() override {
        platform::ComPtr<INetFwPolicy2> policy;
        if (FAILED(CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_INetFwPolicy2, policy.putVoid())) ||
            !policy)
            return nullptr;
        return std::make_unique<SystemPolicy>(std::move(policy));
    }

    std::unique_ptr<FirewallRule> createRule() override {
        platform::ComPtr<INetFwRule> rule;
        if (FAILED(CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                    rule.putVoid())) ||
            !rule)
            return nullptr;
        return std::make_unique<SystemRule>(std::move(rule));
    }
};

class SystemBox final : public FirewallBox {
public:
    void show(OwnerWindow owner, std::u16string_view text, std::u16string_view title,
              bridge::BoxIcon icon) override {
        const std::u16string t(text);
        const std::u16string c(title);
        MessageBoxW(static_cast<HWND>(owner), wide(t), wide(c),
                    MB_OK | bridge::messageBoxIconFlag(icon));
    }
};

class SystemProcess final : public FirewallProcess {
public:
    bool currentDirectory(std::u16string& directory) override {
        wchar_t buffer[MAX_PATH];
        const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
        if (length == 0 || length >= MAX_PATH)
            return false;
        directory.assign(reinterpret_cast<const char16_t*>(buffer), length);
        return true;
    }

    std::vector<std::u16string> findFiles(std::u16string_view pattern) override {
        std::vector<std::u16string> names;
        const std::u16string p(pattern);
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(wide(p), &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            names.emplace_back(reinterpret_cast<const char16_t*>(data.cFileName));
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

    HResult initializeCom() override { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void uninitializeCom() override { CoUninitialize(); }
};

std::u16string moduleFileName(HMODULE module) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

} // namespace

std::unique_ptr<FirewallApi> systemFirewallApi() {
    return std::make_unique<SystemApi>();
}
std::unique_ptr<FirewallBox> systemFirewallBox() {
    return std::make_unique<SystemBox>();
}
std::unique_ptr<FirewallProcess> systemFirewallProcess() {
    return std::make_unique<SystemProcess>();
}

void AddApplicationFirewallRules(std::u16string_view path, HWND owner,
                                 std::u16string_view appName) {
    SystemApi api;
    SystemBox box;
    AddApplicationFirewallRules(api, box, path, owner, appName);
}

std::u16string processExecutablePath() {
    return moduleFileName(nullptr);
}

std::u16string thisModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&thisModulePath), &module))
        return {};
    return moduleFileName(module);
}

void RequestFirewallRules() {
    const ElevatedLaunch launch = firewallRequestLaunch(processExecutablePath(), thisModulePath());
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = wide(launch.verb);
    info.lpFile = wide(launch.file);
    info.lpParameters = wide(launch.parameters);
    info.lpDirectory = wide(launch.directory);
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

} // namespace services::firewall

extern "C" void CALLBACK AddFirewallRules(HWND owner, HINSTANCE /*instance*/, LPSTR /*commandLine*/,
                                          int /*show*/) {
    try {
        services::firewall::SystemProcess process;
        services::firewall::SystemApi api;
        services::firewall::SystemBox box;
        services::firewall::AddFirewallRules(process, api, box, owner);
    } catch (...) {
        logCaughtException("AddFirewallRules");
    }
}
