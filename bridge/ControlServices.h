// What the control needs from outside the portable bridge: the settings panel, message
// boxes, the DNS-SD registration, the update check and power actions. Each is a small
// interface whose defaults do nothing (the panel, DNS-SD, the update check) or only log (the
// message box, power actions), so the control runs anywhere; the Windows plug-in and the
// Linux host hand in their own (the services in services/ implement the last three). The
// control owns what it is given and calls every seam on the host's thread, except
// PowerActionService, which the message processor calls too, and the boxes, which the
// update check's thread shows too.
#pragma once

#include "bridge/HostWindow.h"
#include "bridge/PluginSettings.h"
#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CTandravoleCtrl;

namespace bridge {

// The modal box shown when the server cannot listen, and the title of the product's boxes.
inline constexpr char16_t kStartFailureText[] =
    u"Could not start server, please make sure the selected port isn't already in use.";
inline constexpr char16_t kMessageTitle[] = u"Tandravole 4 MediaCenter";
// The DNS-SD service type the server is advertised under.
inline constexpr char kServiceType[] = "_tandravole._tcp";

// The settings panel inside the player's window (the composite control's dialog).
class ControlPanel {
public:
    virtual ~ControlPanel() = default;
    virtual void initPanel() {}
    virtual void fillPanel(const PluginSettings& /*settings*/) {}
    // Clears the "Server enabled" check box (control 207).
    virtual void clearServerEnabled() {}
    // Disables the "Apply" button (control 209).
    virtual void disableApply() {}
    // The record the controls show now (Apply's fresh settings); the default record when
    // there is no panel.
    virtual PluginSettings readPanel() { return {}; }
};

// The icon of a box (MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONERROR, or none).
enum class BoxIcon { None, Information, Warning, Error };

// Boxes the user must see: an OK box with the text, title and icon exactly as given, which
// returns when the user has closed it. `reason` is the system's own description of the
// failure when one is known ("" otherwise); the plug-in shows only the text, the Linux host
// prints both. The default writes to the event log. Called from any thread.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(std::u16string_view text, std::u16string_view title, std::string_view reason,
                      BoxIcon icon);
};

// The DNS-SD registration of the server (its own thread in the plug-in).
class DnsSdService {
public:
    virtual ~DnsSdService() = default;
    // Registers `serviceType` on `port` on a thread of its own and returns at once; keeps a
    // running registration of the same port and type. Failures are silent.
    virtual void start(uint16_t /*port*/, std::string_view /*serviceType*/) {}
    // Asks the registration to end and returns at once.
    virtual void stopWithoutWaiting() {}
    // Ends the registration and waits until it has ended.
    virtual void stopAndWait() {}
    virtual bool isRunning() { return false; }
};

// What the update check reads and writes of the control that owns it: the settings
// (updateCheck, lastUpdateCheck, haveUpdateNotification), the server's login state (read
// under the session lock) and the boxes it shows. Called from the check's own thread.
class UpdateCheckOwner {
public:
    virtual PluginSettings settings() = 0;
    virtual void updateSettings(const std::function<void(PluginSettings&)>& change) = 0;
    virtual bool clientLoggedIn() = 0;
    virtual MessageBoxes& messageBoxes() = 0;

protected:
    ~UpdateCheckOwner() = default;
};

// The periodic update check and the panel's "Check now".
class UpdateCheckService {
public:
    virtual ~UpdateCheckService() = default;
    virtual void start(UpdateCheckOwner& /*owner*/) {}
    // Stops and joins the check; the control calls it before its server goes away.
    virtual void stop() {}
    // "Check now": asks at once, on the calling thread (the host's), and shows the outcome.
    virtual void checkNow(UpdateCheckOwner& /*owner*/) {}
};

// Sleep, restart and power off, carried out on a thread of their own. Codes:
// player::PowerAction. The default only logs what it would do and reports it started.
class PowerActionService {
public:
    virtual ~PowerActionService() = default;
    virtual bool isRunning() { return false; }
    // Stores the action and starts carrying it out; true when it started.
    virtual bool start(uint32_t action);
};

// Makes the hidden window on the calling thread (the host's); null when the system refuses.
using WindowFactory = std::function<std::unique_ptr<HostWindow>(WindowProcedure)>;

// Everything the control is given at construction; a null member gets its default.
struct ControlEnvironment {
    platform::Clock* clock = nullptr; // null: the system's clock
    WindowFactory windowFactory;      // null: createHostWindow
    std::unique_ptr<ControlPanel> panel;
    std::unique_ptr<MessageBoxes> messageBoxes;
    std::unique_ptr<DnsSdService> dnsSd;
    std::unique_ptr<UpdateCheckService> updateCheck;
    std::unique_ptr<PowerActionService> powerActions;
    // Changes to the stored settings for this run only (the Linux host's --port and
    // --password): the server is configured with them, the settings record keeps what is
    // stored, so nothing saved later carries them. Null: the stored settings as they are.
    std::function<void(PluginSettings&)> settingsForThisRun;
    // The sockets library (WSAStartup / WSACleanup): started by Init, given back by the
    // destructor only when the start succeeded. Null: platform::socketStartup and
    // socketCleanup.
    std::function<bool()> socketStartup;
    std::function<void()> socketCleanup;
};

} // namespace bridge
