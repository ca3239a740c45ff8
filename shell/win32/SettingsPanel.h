// The settings panel: dialog 104, the control's window inside the player's page. It shows and
// reads the settings record with the portable panel rules (shell/PanelRecord.h) over the real
// controls, enables Apply on every edit, and hands Apply, Check now and the firewall button
// to its owner. Through seam() the bridge fills it, clears "Server enabled" and disables
// Apply; what the bridge asks before the window exists (the player may call Init before it
// activates the control) is kept and shown when the window is made.
//
// Host's thread only, except window() and the box owner, which any thread may read.
#pragma once

#include "bridge/ControlServices.h"
#include "bridge/PluginSettings.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace shell {

class SettingsPanel {
public:
    // What the panel's buttons do beyond the panel.
    struct Actions {
        std::function<void()> apply;    // "Apply"
        std::function<void()> checkNow; // "Check now"
        std::function<void()> firewall; // "Add Windows Firewall rules"
    };

    SettingsPanel() = default;
    ~SettingsPanel();
    SettingsPanel(const SettingsPanel&) = delete;
    SettingsPanel& operator=(const SettingsPanel&) = delete;

    void setActions(Actions actions) { actions_ = std::move(actions); }
    // The bridge's view of this panel; it must not outlive the panel.
    std::unique_ptr<bridge::ControlPanel> seam();

    // Makes the dialog as a child of `parent` at `position` (once; later calls move it to the
    // new parent) and shows it. False when the system refuses.
    bool show(HWND parent, const RECT& position);
    void hide();
    void moveTo(const RECT& position);
    // The dialog, or null before it is made.
    HWND window() const { return dialog_; }
    // Keyboard navigation inside the panel (Tab, arrows, Enter): true when it was handled.
    bool translate(MSG* message);

    // The bridge's requests (seam()).
    void initPanel();
    void fillPanel(const PluginSettings& settings);
    void clearServerEnabled();
    void disableApply();
    PluginSettings readPanel();

private:
    static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void enableApply(bool on);
    // InitPanel on the real controls: ranges, limits, the version, the adapters, the shield.
    void prepareControls();
    void showRecord(const PluginSettings& settings);
    void openWebSite();

    Actions actions_;
    std::atomic<HWND> dialog_{nullptr};
    HANDLE activation_ = INVALID_HANDLE_VALUE; // common controls 6 for the panel's windows
    // What the bridge asked for, replayed when the window is made.
    bool prepared_ = false;
    std::optional<PluginSettings> shown_;
    bool serverCleared_ = false;
};

} // namespace shell
