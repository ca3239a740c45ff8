// The settings panel's rules over a stand-in dialog: records shown and read back, the check
// box, port, quality and password rules, Defaults, the commands, the label and the columns.
#include "shell/PanelRecord.h"

#include <gtest/gtest.h>

#include <map>

using namespace shell;

namespace {

class FakeDialog : public PanelControls {
public:
    std::map<int, uint32_t> checks;
    std::map<int, std::u16string> texts;
    int position = -5;

    uint32_t checkState(int id) override { return checks.at(id); }
    void setChecked(int id, bool on) override { checks[id] = on ? kChecked : kUnchecked; }
    std::u16string text(int id) override { return texts.at(id); }
    void setText(int id, std::u16string_view text) override { texts[id] = text; }
    int trackbarPosition() override { return position; }
    void setTrackbarPosition(int p) override { position = p; }
};

// What the panel reads after showing the defaults and then `edit`.
template <class Edit> PluginSettings readAfter(Edit edit) {
    FakeDialog dialog;
    FillPanel(dialog, PluginSettings{});
    edit(dialog);
    return ReadPanel(dialog);
}

} // namespace

TEST(PanelRecordTest, DefaultsShowTheDefaultRecordAndEveryFieldReadsBack) {
    FakeDialog dialog;
    FillPanel(dialog, PluginSettings{});
    EXPECT_EQ(dialog.checks, (std::map<int, uint32_t>{{kServerEnabledBox, kChecked},
                                                      {kBonjourBox, kChecked},
                                                      {kUpdateCheckBox, kChecked},
                                                      {kAllowKickBox, kUnchecked},
                                                      {kNotificationsBox, kUnchecked}}));
    EXPECT_EQ(dialog.texts,
              (std::map<int, std::u16string>{{kPortBox, u"19371"}, {kPasswordBox, u""}}));
    EXPECT_EQ(dialog.position, 2);

    // Every field off its default; the two update fields are never shown and read back as 0.
    PluginSettings s{false, false, u"p\u00e4ss", 8080, 1, false, true, 99, true, true};
    FillPanel(dialog, s);
    s.lastUpdateCheck = 0;
    s.haveUpdateNotification = false;
    EXPECT_EQ(ReadPanel(dialog), s);
    s.coverQuality = 7;
    FillPanel(dialog, s);
    EXPECT_EQ(dialog.position, 2);
}

TEST(PanelRecordTest, BoxesPortQualityAndPasswordAsTheControlsHoldThem) {
    for (uint32_t state : {kUnchecked, kChecked, kIndeterminate}) { // only exactly checked counts
        const PluginSettings r = readAfter([&](FakeDialog& d) {
            for (auto& [id, checked] : d.checks)
                checked = state;
        });
        const bool on = state == kChecked;
        EXPECT_EQ(
            std::tuple(r.enabled, r.bonjour, r.updateCheck, r.allowKick, r.sendUpdateNotification),
            std::tuple(on, on, on, on, on))
            << state;
    }
    for (auto [text, port] : {std::pair{u"", 0},
                              {u"65535", 65535},
                              {u"65536", 0},
                              {u"  80", 80},
                              {u"12ab", 12},
                              {u"4294967295", 65535},
                              {u"4294967296", 0}})
        EXPECT_EQ(readAfter([&](FakeDialog& d) { d.texts[kPortBox] = text; }).port, port) << port;
    for (auto [position, quality] : {std::pair{-1, 2u}, {0, 0u}, {1, 1u}, {2, 2u}, {3, 2u}})
        EXPECT_EQ(readAfter([&](FakeDialog& d) { d.position = position; }).coverQuality, quality);
    const std::u16string full(255, u'\u00e9');
    for (const std::u16string& typed : {full, full + u"x"})
        EXPECT_EQ(readAfter([&](FakeDialog& d) { d.texts[kPasswordBox] = typed; }).password, full);
}

TEST(PanelRecordTest, CommandsLabelAndColumns) {
    const std::tuple<int, int, PanelAction> commands[] = {
        {kApplyButton, kButtonClicked, PanelAction::Apply},
        {kNotificationsBox, kButtonClicked, PanelAction::EnableApply},
        {kPasswordBox, kEditChanged, PanelAction::EnableApply},
        {kPortBox, kEditChanged, PanelAction::EnableApply},
        {kWebSiteLabel, kButtonClicked, PanelAction::OpenWebSite},
        {kDefaultsButton, kButtonClicked, PanelAction::ShowDefaults},
        {kCheckNowButton, kButtonClicked, PanelAction::CheckNow},
        {kFirewallButton, kButtonClicked, PanelAction::AddFirewallRules},
        {kPasswordBox, 0x0100, PanelAction::None}, // EN_SETFOCUS
        {kFirewallButton, 5, PanelAction::None},   // BN_DOUBLECLICKED
        {kVersionLabel, kButtonClicked, PanelAction::None},
    };
    for (int box : {kServerEnabledBox, kBonjourBox, kUpdateCheckBox, kAllowKickBox})
        EXPECT_EQ(PanelCommand(box, kButtonClicked), PanelAction::EnableApply) << box;
    for (auto [id, notification, action] : commands)
        EXPECT_EQ(PanelCommand(id, notification), action) << id << " " << notification;

    // The build is shown only when it is not zero; the low byte is never part of the text.
    EXPECT_EQ(VersionLabelText(0x020100C8), u"Tandravole 4 MediaCenter 2.1");
    auto c = AdapterListColumns(302);
    EXPECT_EQ(std::tuple(c[0].width, c[1].width, c[2].width), std::tuple(128, 100, 100));
}
