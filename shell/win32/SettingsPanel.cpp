#include "shell/win32/SettingsPanel.h"

#include "common/Log.h"
#include "services/adapters/NetworkAdapters.h"
#include "services/update/UpdateCheck.h"
#include "shell/PanelRecord.h"
#include "shell/win32/Module.h"
#include "shell/win32/Resources.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

namespace shell {

namespace {

// The resource script's control ids are the panel rules' ids.
static_assert(
    TANDRAVOLE_IDC_SERVER_ENABLED == kServerEnabledBox && TANDRAVOLE_IDC_BONJOUR == kBonjourBox &&
    TANDRAVOLE_IDC_APPLY == kApplyButton && TANDRAVOLE_IDC_PASSWORD == kPasswordBox &&
    TANDRAVOLE_IDC_PORT == kPortBox && TANDRAVOLE_IDC_DEFAULTS == kDefaultsButton &&
    TANDRAVOLE_IDC_QUALITY == kQualityTrackbar && TANDRAVOLE_IDC_WEB_SITE == kWebSiteLabel &&
    TANDRAVOLE_IDC_VERSION == kVersionLabel && TANDRAVOLE_IDC_UPDATE_CHECK == kUpdateCheckBox &&
    TANDRAVOLE_IDC_CHECK_NOW == kCheckNowButton && TANDRAVOLE_IDC_ALLOW_KICK == kAllowKickBox &&
    TANDRAVOLE_IDC_NOTIFICATIONS == kNotificationsBox && TANDRAVOLE_IDC_ADAPTERS == kAdapterList &&
    TANDRAVOLE_IDC_FIREWALL == kFirewallButton);

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The dialog's controls for the portable panel rules.
class DialogControls final : public PanelControls {
public:
    explicit DialogControls(HWND dialog) : dialog_(dialog) {}
    uint32_t checkState(int id) override { return IsDlgButtonChecked(dialog_, id); }
    void setChecked(int id, bool on) override {
        CheckDlgButton(dialog_, id, on ? BST_CHECKED : BST_UNCHECKED);
    }
    std::u16string text(int id) override {
        HWND control = GetDlgItem(dialog_, id);
        std::u16string out(size_t(GetWindowTextLengthW(control)) + 1, u'\0');
        const int length =
            GetWindowTextW(control, reinterpret_cast<wchar_t*>(out.data()), int(out.size()));
        out.resize(size_t(length > 0 ? length : 0));
        return out;
    }
    void setText(int id, std::u16string_view text) override {
        const std::u16string copy(text);
        SetDlgItemTextW(dialog_, id, wide(copy));
    }
    int trackbarPosition() override {
        return int(SendDlgItemMessageW(dialog_, kQualityTrackbar, TBM_GETPOS, 0, 0));
    }
    void setTrackbarPosition(int position) override {
        SendDlgItemMessageW(dialog_, kQualityTrackbar, TBM_SETPOS, TRUE, position);
    }

private:
    HWND dialog_;
};

// The bridge's panel seam, forwarding to the panel the control owns.
class PanelSeam final : public bridge::ControlPanel {
public:
    explicit PanelSeam(SettingsPanel& panel) : panel_(panel) {}
    void initPanel() override { panel_.initPanel(); }
    void fillPanel(const PluginSettings& settings) override { panel_.fillPanel(settings); }
    void clearServerEnabled() override { panel_.clearServerEnabled(); }
    void disableApply() override { panel_.disableApply(); }
    PluginSettings readPanel() override { return panel_.readPanel(); }

private:
    SettingsPanel& panel_;
};

// True when the current thread's user belongs to the built-in Administrators group; false
// also when that cannot be told.
bool userIsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool asked = CheckTokenMembership(nullptr, administrators, &member) != 0;
    FreeSid(administrators);
    return asked && member;
}

// The activation context of the DLL's manifest: the panel's windows get common controls 6
// (the shield on a button needs them). Invalid when the system has none to give.
HANDLE panelActivationContext() {
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = theApp().module();
    context.lpResourceName = MAKEINTRESOURCEW(TANDRAVOLE_IDR_MANIFEST);
    return CreateActCtxW(&context);
}

// Runs `work` inside the activation context, when there is one.
template <class Work> auto withContext(HANDLE context, Work work) {
    ULONG_PTR cookie = 0;
    const bool active = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie);
    auto result = work();
    if (active)
        DeactivateActCtx(0, cookie);
    return result;
}

} // namespace

SettingsPanel::~SettingsPanel() {
    if (dialog_)
        DestroyWindow(dialog_);
    if (activation_ != INVALID_HANDLE_VALUE)
        ReleaseActCtx(activation_);
}

std::unique_ptr<bridge::ControlPanel> SettingsPanel::seam() {
    return std::make_unique<PanelSeam>(*this);
}

bool SettingsPanel::show(HWND parent, const RECT& position) {
    if (!dialog_) {
        if (activation_ == INVALID_HANDLE_VALUE)
            activation_ = panelActivationContext();
        dialog_ = withContext(activation_, [&] {
            INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                               ICC_STANDARD_CLASSES};
            InitCommonControlsEx(&controls);
            return CreateDialogParamW(theApp().module(), MAKEINTRESOURCEW(TANDRAVOLE_IDD_PANEL),
                                      parent, dialogProcedure, reinterpret_cast<LPARAM>(this));
        });
        if (!dialog_)
            return false;
        // What the bridge asked for before the window existed.
        if (prepared_)
            prepareControls();
        if (shown_)
            showRecord(*shown_);
        if (serverCleared_)
            CheckDlgButton(dialog_, kServerEnabledBox, BST_UNCHECKED);
        enableApply(false);
    } else if (GetParent(dialog_) != parent) {
        SetParent(dialog_, parent);
    }
    moveTo(position);
    ShowWindow(dialog_, SW_SHOW);
    return true;
}

void SettingsPanel::hide() {
    if (dialog_)
        ShowWindow(dialog_, SW_HIDE);
}

void SettingsPanel::moveTo(const RECT& position) {
    if (dialog_)
        MoveWindow(dialog_, position.left, position.top, position.right - position.left,
                   position.bottom - position.top, TRUE);
}

bool SettingsPanel::translate(MSG* message) {
    if (!dialog_ || !message || (message->hwnd != dialog_ && !IsChild(dialog_, message->hwnd)))
        return false;
    return IsDialogMessageW(dialog_, message) != 0;
}

void SettingsPanel::initPanel() {
    prepared_ = true;
    if (dialog_)
        prepareControls();
}

void SettingsPanel::fillPanel(const PluginSettings& settings) {
    shown_ = settings;
    serverCleared_ = false;
    if (dialog_)
        showRecord(settings);
}

void SettingsPanel::clearServerEnabled() {
    serverCleared_ = true;
    if (dialog_)
        CheckDlgButton(dialog_, kServerEnabledBox, BST_UNCHECKED);
}

void SettingsPanel::disableApply() {
    enableApply(false);
}

PluginSettings SettingsPanel::readPanel() {
    if (!dialog_)
        return shown_.value_or(PluginSettings{});
    DialogControls controls(dialog_);
    return ReadPanel(controls);
}

void SettingsPanel::enableApply(bool on) {
    if (dialog_)
        EnableWindow(GetDlgItem(dialog_, kApplyButton), on ? TRUE : FALSE);
}

void SettingsPanel::showRecord(const PluginSettings& settings) {
    DialogControls controls(dialog_);
    FillPanel(controls, settings);
}

void SettingsPanel::prepareControls() {
    SendDlgItemMessageW(dialog_, kQualityTrackbar, TBM_SETRANGE, TRUE,
                        MAKELPARAM(kQualityLowest, kQualityHighest));
    SendDlgItemMessageW(dialog_, kQualityTrackbar, TBM_SETTICFREQ, 1, 0);
    SendDlgItemMessageW(dialog_, kPortBox, EM_LIMITTEXT, kPortBoxLimit, 0);
    SendDlgItemMessageW(dialog_, kPasswordBox, EM_LIMITTEXT, kPasswordBoxLimit, 0);

    HWND site = GetDlgItem(dialog_, kWebSiteLabel);
    SetWindowLongPtrW(site, GWL_STYLE, GetWindowLongPtrW(site, GWL_STYLE) | SS_NOTIFY);
    const std::u16string version = VersionLabelText(services::update::GetModuleFileVersion());
    SetDlgItemTextW(dialog_, kVersionLabel, wide(version));

    // "Name" first, then the list's styles, then the two columns sized by its client width.
    HWND list = GetDlgItem(dialog_, kAdapterList);
    auto insertColumn = [list](int index, const PanelColumn& column) {
        const std::u16string title(column.title);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.pszText = const_cast<wchar_t*>(wide(title));
        c.cx = column.width;
        ListView_InsertColumn(list, index, &c);
    };
    insertColumn(0, AdapterListColumns(0)[0]);
    const DWORD wanted =
        LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_AUTOSIZECOLUMNS;
    ListView_SetExtendedListViewStyleEx(list, wanted | LVS_EX_TRACKSELECT, wanted);
    RECT client{};
    GetClientRect(list, &client);
    const auto columns = AdapterListColumns(client.right - client.left);
    insertColumn(1, columns[1]);
    insertColumn(2, columns[2]);
    int row = 0;
    for (const auto& adapter : services::adapters::ListNetworkAdapters()) {
        std::u16string name = adapter.name, ip = adapter.ip, mac = adapter.mac;
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(wide(name));
        const int at = ListView_InsertItem(list, &item);
        if (at < 0)
            continue;
        ListView_SetItemText(list, at, 1, const_cast<wchar_t*>(wide(ip)));
        ListView_SetItemText(list, at, 2, const_cast<wchar_t*>(wide(mac)));
        ++row;
    }

    if (!userIsAdministrator())
        SendDlgItemMessageW(dialog_, kFirewallButton, BCM_SETSHIELD, 0, TRUE);
}

void SettingsPanel::openWebSite() {
    const std::u16string address = services::update::webSiteAddress();
    ShellExecuteW(dialog_, L"open", wide(address), nullptr, nullptr, SW_SHOW);
}

void SettingsPanel::onCommand(int id, int code) {
    switch (PanelCommand(id, code)) {
    case PanelAction::Apply:
        if (actions_.apply)
            actions_.apply();
        break;
    case PanelAction::EnableApply:
        enableApply(true);
        break;
    case PanelAction::OpenWebSite:
        openWebSite();
        break;
    case PanelAction::ShowDefaults:
        showRecord(PluginSettings{}); // shown, not saved: the edits enable Apply
        break;
    case PanelAction::CheckNow:
        if (actions_.checkNow)
            actions_.checkNow();
        break;
    case PanelAction::AddFirewallRules:
        if (actions_.firewall)
            actions_.firewall();
        break;
    case PanelAction::None:
        break;
    }
}

INT_PTR SettingsPanel::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog_, kQualityTrackbar))
            enableApply(true);
        return FALSE; // the trackbar's own handling goes on
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // Labels and check boxes draw their text over the page's own colour.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SettingsPanel::dialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* panel = reinterpret_cast<SettingsPanel*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        panel->dialog_ = dialog;
        theApp().windowOpened();
        return FALSE; // the container decides where the focus goes
    }
    auto* panel = reinterpret_cast<SettingsPanel*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_NCDESTROY) {
        if (panel) {
            panel->dialog_ = nullptr;
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            theApp().windowClosed();
        }
        return FALSE;
    }
    if (!panel)
        return FALSE;
    // Nothing thrown by the bridge or a service may leave through the system's dispatch.
    try {
        return panel->handle(message, wParam, lParam);
    } catch (...) {
        logCaughtException("the settings panel");
        return FALSE;
    }
}

} // namespace shell
