// The settings panel's rules, apart from the dialog that shows them: which control shows
// which setting, how a record is shown and read back, what each command does, the version
// label and the adapter list's columns. The Windows dialog (resource 104) implements
// PanelControls over its controls and calls these.
#pragma once

#include "bridge/PluginSettings.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace shell {

// The controls of the dialog by id.
enum PanelControlId : int {
    kServerEnabledBox = 207,
    kBonjourBox = 208,
    kApplyButton = 209,
    kPasswordBox = 210,
    kPortBox = 211,
    kDefaultsButton = 212,
    kQualityTrackbar = 214,
    kWebSiteLabel = 215,
    kVersionLabel = 216,
    kUpdateCheckBox = 217,
    kCheckNowButton = 218,
    kAllowKickBox = 219,
    kNotificationsBox = 220,
    kAdapterList = 221,
    kFirewallButton = 222,
};

// Text limits of the two edit boxes (characters), and the trackbar's range.
inline constexpr int kPortBoxLimit = 5;
inline constexpr int kPasswordBoxLimit = 255;
inline constexpr int kQualityLowest = 0;
inline constexpr int kQualityHighest = 2;

// A check box's state, as IsDlgButtonChecked reports it.
inline constexpr uint32_t kUnchecked = 0;
inline constexpr uint32_t kChecked = 1;
inline constexpr uint32_t kIndeterminate = 2;

// The dialog's controls as the rules need them.
class PanelControls {
public:
    virtual ~PanelControls() = default;
    virtual uint32_t checkState(int id) = 0;
    virtual void setChecked(int id, bool checked) = 0;
    virtual std::u16string text(int id) = 0;
    virtual void setText(int id, std::u16string_view text) = 0;
    // The cover quality trackbar (kQualityTrackbar); setting it redraws it.
    virtual int trackbarPosition() = 0;
    virtual void setTrackbarPosition(int position) = 0;
};

// Shows a record: the five check boxes, the trackbar at the cover quality (above 2: 2), the
// port in decimal and the password as plain text (the box masks it).
void FillPanel(PanelControls& controls, const PluginSettings& settings);

// A record from the controls, starting from the default record: a box counts as on only when
// exactly checked; cover quality 0 or 1 as the trackbar stands, any other position 2; the port
// box read as GetDlgItemInt reads it unsigned (leading spaces skipped, the digits up to the
// first other character; no digits or more than 32 bits give 0) and cut to 16 bits, so 99999
// gives 34463; the password box's text up to kPasswordBoxLimit characters. lastUpdateCheck
// and haveUpdateNotification stay 0 as in the default record.
PluginSettings ReadPanel(PanelControls& controls);

// "Tandravole 4 MediaCenter 1.7.4": the version label, from the module's packed file version.
std::u16string VersionLabelText(uint32_t packedVersion);

// The adapter list's columns: "Name" 128 pixels wide, "IP Address" and "MAC Address" each a
// third of the list's client width (integer division). Rows are the adapters of
// services::adapters::ListNetworkAdapters in its order: name, address, hardware address.
struct PanelColumn {
    std::u16string_view title;
    int width = 0;
};
std::array<PanelColumn, 3> AdapterListColumns(int clientWidth);

// Notification codes of WM_COMMAND that the panel handles.
inline constexpr int kButtonClicked = 0;    // BN_CLICKED, and STN_CLICKED of the web site label
inline constexpr int kEditChanged = 0x0300; // EN_CHANGE

// What a WM_COMMAND from a control asks for. A WM_HSCROLL from the trackbar also enables
// Apply (and then takes the default handling).
enum class PanelAction {
    None,
    Apply,            // save the panel's record and restart the server
    EnableApply,      // a setting was edited
    OpenWebSite,      // open the web site's address
    ShowDefaults,     // FillPanel with the default record; nothing is saved
    CheckNow,         // the manual update check
    AddFirewallRules, // the firewall rule request
};
PanelAction PanelCommand(int id, int notification);

} // namespace shell
