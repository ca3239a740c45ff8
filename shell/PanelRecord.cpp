#include "shell/PanelRecord.h"

#include "bridge/ControlServices.h"
#include "shell/Product.h"

namespace shell {
namespace {

// The boxes and the fields they show.
struct BoxField {
    int id;
    bool PluginSettings::*field;
};
constexpr BoxField kBoxes[] = {
    {kServerEnabledBox, &PluginSettings::enabled},
    {kBonjourBox, &PluginSettings::bonjour},
    {kUpdateCheckBox, &PluginSettings::updateCheck},
    {kAllowKickBox, &PluginSettings::allowKick},
    {kNotificationsBox, &PluginSettings::sendUpdateNotification},
};

// The box's text as an unsigned number the way GetDlgItemInt reads it: leading spaces skipped,
// then the decimal digits up to the first other character; no digits, or more than 32 bits,
// give 0.
uint32_t dialogNumber(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + uint64_t(text[i] - u'0');
        if (value > 0xFFFFFFFFu)
            return 0;
    }
    return uint32_t(value);
}

std::u16string decimal(uint32_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

void FillPanel(PanelControls& controls, const PluginSettings& settings) {
    for (const BoxField& box : kBoxes)
        controls.setChecked(box.id, settings.*box.field);
    controls.setTrackbarPosition(int(settings.coverQuality <= uint32_t(kQualityHighest)
                                         ? settings.coverQuality
                                         : uint32_t(kQualityHighest)));
    controls.setText(kPortBox, decimal(settings.port));
    controls.setText(kPasswordBox, settings.password);
}

PluginSettings ReadPanel(PanelControls& controls) {
    PluginSettings settings;
    for (const BoxField& box : kBoxes)
        settings.*box.field = controls.checkState(box.id) == kChecked;
    int position = controls.trackbarPosition();
    settings.coverQuality = position == 0 || position == 1 ? uint32_t(position) : 2;
    settings.port = uint16_t(dialogNumber(controls.text(kPortBox)) & 0xFFFF);
    settings.password = controls.text(kPasswordBox).substr(0, size_t(kPasswordBoxLimit));
    return settings;
}

std::u16string VersionLabelText(uint32_t packedVersion) {
    return std::u16string(bridge::kMessageTitle) + u" " + PluginVersionText(packedVersion);
}

std::array<PanelColumn, 3> AdapterListColumns(int clientWidth) {
    return {{{u"Name", 128}, {u"IP Address", clientWidth / 3}, {u"MAC Address", clientWidth / 3}}};
}

PanelAction PanelCommand(int id, int notification) {
    if (id == kPasswordBox || id == kPortBox)
        return notification == kEditChanged ? PanelAction::EnableApply : PanelAction::None;
    if (notification != kButtonClicked)
        return PanelAction::None;
    switch (id) {
    case kApplyButton:
        return PanelAction::Apply;
    case kServerEnabledBox:
    case kBonjourBox:
    case kUpdateCheckBox:
    case kAllowKickBox:
    case kNotificationsBox:
        return PanelAction::EnableApply;
    case kWebSiteLabel:
        return PanelAction::OpenWebSite;
    case kDefaultsButton:
        return PanelAction::ShowDefaults;
    case kCheckNowButton:
        return PanelAction::CheckNow;
    case kFirewallButton:
        return PanelAction::AddFirewallRules;
    default:
        return PanelAction::None;
    }
}

} // namespace shell
