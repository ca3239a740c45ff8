// Resource identifiers of the plug-in's DLL, shared by Tandravole.rc and the code (a resource
// script reads only the preprocessor's names). The dialog's control identifiers are also
// shell::PanelControlId (shell/PanelRecord.h); SettingsPanel.cpp checks that both agree.
#pragma once

#define TANDRAVOLE_IDB_TOOLBOX 102  // the toolbox bitmap named by ToolboxBitmap32
#define TANDRAVOLE_IDR_REGISTRY 103 // the registration script, type "REGISTRY"
#define TANDRAVOLE_IDD_PANEL 104    // the settings panel, the control's window
#define TANDRAVOLE_IDR_MANIFEST 2   // common controls 6 for the panel (shield, themes)

// The settings panel's controls.
#define TANDRAVOLE_IDC_SERVER_ENABLED 207
#define TANDRAVOLE_IDC_BONJOUR 208
#define TANDRAVOLE_IDC_APPLY 209
#define TANDRAVOLE_IDC_PASSWORD 210
#define TANDRAVOLE_IDC_PORT 211
#define TANDRAVOLE_IDC_DEFAULTS 212
#define TANDRAVOLE_IDC_QUALITY 214
#define TANDRAVOLE_IDC_WEB_SITE 215
#define TANDRAVOLE_IDC_VERSION 216
#define TANDRAVOLE_IDC_UPDATE_CHECK 217
#define TANDRAVOLE_IDC_CHECK_NOW 218
#define TANDRAVOLE_IDC_ALLOW_KICK 219
#define TANDRAVOLE_IDC_NOTIFICATIONS 220
#define TANDRAVOLE_IDC_ADAPTERS 221
#define TANDRAVOLE_IDC_FIREWALL 222
