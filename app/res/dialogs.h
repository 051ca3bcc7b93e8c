// Dialog layouts in dialog units: the main window and the about box. The
// window builds its controls from these tables in order; that order is also
// the tab order.
#pragma once

#include "resource.h"
#include "strings.h"

namespace kelvarin::res {

// The kinds of control a dialog table can hold.
enum class ControlKind {
    kIpAddress,   // four 0-255 fields, one tab stop
    kEdit,        // single-line edit, tab stop
    kButton,      // push button, tab stop
    kDefButton,   // default push button, tab stop
    kFileList,    // report-style list with check boxes, tab stop
    kLabel,       // static text
    kProgress,    // progress bar
    kLogBox,      // list box of log lines, tab stop
    kGroupBox,    // frame with a title, behind the controls it frames
    kIcon,        // static icon
    kPlainLabel,  // static text shown without mnemonic processing
    kCheckBox,    // check box with its text, tab stop
    kComboBox,    // drop-down list to choose from, tab stop
};

// One control: identifier, kind, text and rectangle in dialog units.
struct DialogItem {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
};

// A dialog: its size in dialog units and title. Both dialogs use the dialog
// font (kDialogFontFace, kDialogFontPoints).
struct DialogTemplate {
    int id;
    const char* title;
    int cx, cy;
};

// The file list's column widths in pixels, left to right.
inline constexpr int kFileListColumnWidths[] = {50, 80, 300};

// The average character width, in pixels, of the dialog font that the file
// list's column widths (pixels, not dialog units) were chosen for. The
// widths are scaled by the actual font's width over this one, so the column
// texts fit whatever CJK font stands in.
inline constexpr double kDesignBaseX = 6.0;

inline constexpr DialogTemplate kMainDialog = {kIddWebLoadDialog, kWindowTitle, 325, 321};

inline constexpr DialogItem kMainDialogItems[] = {
    {kIdcIpAddress, ControlKind::kIpAddress, "", 57, 172, 74, 14},
    {kIdcPort, ControlKind::kEdit, "", 57, 192, 40, 14},
    {kIdcConnect, ControlKind::kButton, kConnectText, 150, 173, 64, 33},
    {kIdcSend, ControlKind::kButton, kSendText, 231, 172, 54, 14},
    {kIdCancel, ControlKind::kButton, kExitText, 231, 192, 54, 14},
    {kIdcFileList, ControlKind::kFileList, "", 13, 7, 296, 151},
    {kIdcStatic, ControlKind::kLabel, kAddressLabel, 19, 176, 33, 8},
    {kIdcProgress, ControlKind::kProgress, "", 21, 291, 280, 10},
    {kIdcLog, ControlKind::kLogBox, "", 21, 229, 280, 54},
    {kIdcStatic, ControlKind::kGroupBox, kStatusGroup, 13, 217, 296, 91},
    {kIdcStatic, ControlKind::kGroupBox, kConnectGroup, 13, 161, 296, 52},
    {kIdcStatic, ControlKind::kLabel, kPortLabel, 35, 195, 17, 9},
};

inline constexpr DialogTemplate kWebOptionsDialog = {kIddWebOptions, kWebOptionsTitle, 476, 276};

// Two columns: what is packed and kept, then security on the left; how the
// device is talked to on the right.
inline constexpr DialogItem kWebOptionsDialogItems[] = {
    {kIdcContentTypes, ControlKind::kCheckBox, kContentTypesOption, 10, 10, 220, 10},
    {kIdcGzip, ControlKind::kCheckBox, kGzipOption, 10, 24, 220, 10},
    {kIdcStatic, ControlKind::kLabel, kSiteRootLabel, 10, 42, 220, 8},
    {kIdcSiteRoot, ControlKind::kEdit, "", 10, 53, 164, 14},
    {kIdcBrowseRoot, ControlKind::kButton, kBrowseText, 180, 53, 50, 14},
    {kIdcSiteRootError, ControlKind::kPlainLabel, "", 10, 69, 220, 8},
    {kIdcVerify, ControlKind::kCheckBox, kVerifyOption, 10, 82, 220, 10},
    {kIdcAllOrNothing, ControlKind::kCheckBox, kAllOrNothingOption, 10, 96, 220, 10},
    {kIdcStatic, ControlKind::kLabel, kBackupLabel, 10, 113, 226, 8},
    {kIdcBackupDir, ControlKind::kEdit, "", 10, 124, 164, 14},
    {kIdcBrowseBackup, ControlKind::kButton, kBrowseBackupText, 180, 124, 50, 14},
    {kIdcTls, ControlKind::kCheckBox, kTlsOption, 18, 158, 212, 10},
    {kIdcStatic, ControlKind::kLabel, kTlsCertLabel, 18, 176, 50, 8},
    {kIdcTlsCert, ControlKind::kEdit, "", 70, 173, 104, 14},
    {kIdcBrowseTlsCert, ControlKind::kButton, kBrowseCertText, 180, 173, 50, 14},
    {kIdcStatic, ControlKind::kLabel, kTlsKeyLabel, 18, 194, 50, 8},
    {kIdcTlsKey, ControlKind::kEdit, "", 70, 191, 104, 14},
    {kIdcBrowseTlsKey, ControlKind::kButton, kBrowseKeyText, 180, 191, 50, 14},
    {kIdcStatic, ControlKind::kLabel, kTlsCaLabel, 18, 212, 50, 8},
    {kIdcTlsCa, ControlKind::kEdit, "", 70, 209, 104, 14},
    {kIdcBrowseTlsCa, ControlKind::kButton, kBrowseCaText, 180, 209, 50, 14},
    {kIdcStatic, ControlKind::kLabel, kTlsNameLabel, 18, 230, 50, 8},
    {kIdcTlsName, ControlKind::kEdit, "", 70, 227, 160, 14},
    {kIdcStatic, ControlKind::kGroupBox, kSecurityGroup, 10, 145, 226, 101},
    {kIdcStatic, ControlKind::kLabel, kRetriesLabel, 254, 26, 130, 8},
    {kIdcRetries, ControlKind::kComboBox, "", 386, 23, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kWindowLabel, 254, 44, 130, 8},
    {kIdcWindow, ControlKind::kComboBox, "", 386, 41, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kChunkLabel, 254, 62, 130, 8},
    {kIdcChunk, ControlKind::kComboBox, "", 386, 59, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kTimeoutLabel, 254, 80, 130, 8},
    {kIdcTimeout, ControlKind::kComboBox, "", 386, 77, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kFirstTimeoutLabel, 254, 98, 130, 8},
    {kIdcFirstTimeout, ControlKind::kComboBox, "", 386, 95, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kUnitLabel, 254, 116, 130, 8},
    {kIdcUnit, ControlKind::kComboBox, "", 386, 113, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kTraceLabel, 254, 132, 212, 8},
    {kIdcTraceFile, ControlKind::kEdit, "", 254, 142, 156, 14},
    {kIdcBrowseTrace, ControlKind::kButton, kBrowseTraceText, 416, 142, 50, 14},
    {kIdcStatic, ControlKind::kGroupBox, kLinkGroup, 246, 10, 226, 152},
    {kIdcDelta, ControlKind::kCheckBox, kDeltaOption, 254, 170, 212, 10},
    {kIdOk, ControlKind::kDefButton, kOkText, 360, 254, 50, 14},
    {kIdCancel, ControlKind::kButton, kCancelText, 416, 254, 50, 14},
};

inline constexpr DialogTemplate kAboutDialog = {kIddAboutBox, kAboutTitle, 235, 55};

inline constexpr DialogItem kAboutDialogItems[] = {
    {kIdrMainFrame, ControlKind::kIcon, "", 11, 17, 20, 20},
    {kIdcStatic, ControlKind::kPlainLabel, kAboutText, 40, 10, 119, 8},
    {kIdOk, ControlKind::kDefButton, kOkText, 178, 7, 50, 14},
};

}  // namespace kelvarin::res
