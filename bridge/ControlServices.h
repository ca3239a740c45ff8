// What the control needs from outside the portable bridge: the settings panel, message
// boxes, the DNS-SD registration, the update check and power actions. Each is a small
// interface whose defaults do nothing (the panel, DNS-SD, the update check) or only log (the
// message box, power actions), so the control runs anywhere; the Windows plug-in and the
// Linux host hand in their own. The control owns what it is given and calls every seam on
// the host's thread, except PowerActionService, which the message processor calls too.
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
};

// Boxes the user must see: an OK box with the text and title exactly as given. `reason` is
// the system's own description of the failure when one is known ("" otherwise); the plug-in
// shows only the text, the Linux host prints both. The default writes to the event log.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(std::u16string_view text, std::u16string_view title, std::string_view reason);
};

// The DNS-SD registration of the server (its own thread in the plug-in).
class DnsSdService {
public:
    virtual ~DnsSdService() = default;
    // Registers `serviceType` on `port`; true when the registration started.
    virtual bool start(uint16_t /*port*/, std::string_view /*serviceType*/) { return false; }
    // Asks the registration to end and returns at once.
    virtual void stopWithoutWaiting() {}
    virtual bool isRunning() { return false; }
};

// The periodic update check. It reads and writes the control's settings
// (CTandravoleCtrl::settings, updateSettings) and reads the server's login state.
class UpdateCheckService {
public:
    virtual ~UpdateCheckService() = default;
    virtual void start(CTandravoleCtrl& /*owner*/) {}
    // Stops and joins the check; the control calls it before its server goes away.
    virtual void stop() {}
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
};

} // namespace bridge
