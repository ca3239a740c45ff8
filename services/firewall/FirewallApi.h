// The seams of the firewall rules: the Windows Firewall COM objects, the message
// box, and the rundll32 process that AddFirewallRules runs in. Each call matches one system
// call that the rules need, so the portable logic (FirewallRules.h) makes the same calls in the
// same order on Windows (services/firewall/win32/) and against the fakes of the tests.
//
// Results are the system's HRESULT values: success is >= 0, failure negative.
#pragma once

#include "bridge/ControlServices.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace services::firewall {

using HResult = int32_t;
inline bool succeeded(HResult hr) {
    return hr >= 0;
}

inline constexpr HResult kOk = 0;                                         // S_OK
inline constexpr HResult kFail = static_cast<HResult>(0x80004005);        // E_FAIL
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E); // E_OUTOFMEMORY
inline constexpr HResult kChangedMode = static_cast<HResult>(0x80010106); // RPC_E_CHANGED_MODE

// The owner window of the box (an HWND on Windows; null: none).
using OwnerWindow = void*;

// One INetFwRule created by FirewallApi::createRule; destroying it releases it. Each setter is
// one put_ call (texts become BSTRs; an allocation failure answers kOutOfMemory).
class FirewallRule {
public:
    virtual ~FirewallRule() = default;
    virtual HResult putProfiles(int32_t profiles) = 0;
    virtual HResult putAction(int32_t action) = 0; // NET_FW_ACTION
    virtual HResult putEnabled(bool enabled) = 0;  // VARIANT_TRUE / VARIANT_FALSE
    virtual HResult putApplicationName(std::u16string_view path) = 0;
    virtual HResult putProtocol(int32_t protocol) = 0;
    virtual HResult putName(std::u16string_view name) = 0;
    virtual HResult putDescription(std::u16string_view description) = 0;
    virtual HResult putDirection(int32_t direction) = 0; // NET_FW_RULE_DIRECTION
};

// The policy's INetFwRules; destroying it releases it.
class FirewallRules {
public:
    virtual ~FirewallRules() = default;
    // INetFwRules::Item: success when a rule of that name exists (the rule it returns is
    // released at once).
    virtual HResult item(std::u16string_view name) = 0;
    // INetFwRules::Add with a rule made by the same FirewallApi.
    virtual HResult add(FirewallRule& rule) = 0;
};

// An INetFwPolicy2; destroying it releases it.
class FirewallPolicy {
public:
    virtual ~FirewallPolicy() = default;
    // get_Rules: on success `rules` holds the collection.
    virtual HResult rules(std::unique_ptr<FirewallRules>& rules) = 0;
    // get_CurrentProfileTypes (NET_FW_PROFILE_TYPE2 bits: domain 1, private 2, public 4).
    virtual HResult currentProfileTypes(int32_t& profiles) = 0;
};

// The COM classes: CoCreateInstance in-process of CLSID_NetFwPolicy2 (IID_INetFwPolicy2) and
// of CLSID_NetFwRule (IID_INetFwRule). Null on failure.
class FirewallApi {
public:
    virtual ~FirewallApi() = default;
    virtual std::unique_ptr<FirewallPolicy> createPolicy() = 0;
    virtual std::unique_ptr<FirewallRule> createRule() = 0;
};

// The outcome box: MessageBoxW(owner, text, title, MB_OK | the icon's flag).
class FirewallBox {
public:
    virtual ~FirewallBox() = default;
    virtual void show(OwnerWindow owner, std::u16string_view text, std::u16string_view title,
                      bridge::BoxIcon icon) = 0;
};

// What AddFirewallRules asks of the process it runs in (the elevated rundll32).
class FirewallProcess {
public:
    virtual ~FirewallProcess() = default;
    // GetCurrentDirectoryW into 260 characters; false when it fails or does not fit.
    virtual bool currentDirectory(std::u16string& directory) = 0;
    // FindFirstFileW / FindNextFileW over `pattern` (a directory, '\' and a file name with
    // wildcards): the names found, in the order found (empty when nothing matches). The
    // caller holds them to its own matching, so a looser search does no harm.
    virtual std::vector<std::u16string> findFiles(std::u16string_view pattern) = 0;
    // CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) and CoUninitialize.
    virtual HResult initializeCom() = 0;
    virtual void uninitializeCom() = 0;
};

} // namespace services::firewall
