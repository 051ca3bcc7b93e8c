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

inline constexpr DialogTemplate kWebOptionsDialog = {kIddWebOptions, kWebOptionsTitle, 240, 324};

inline constexpr DialogItem kWebOptionsDialogItems[] = {
    {kIdcContentTypes, ControlKind::kCheckBox, kContentTypesOption, 10, 10, 220, 10},
    {kIdcGzip, ControlKind::kCheckBox, kGzipOption, 10, 24, 220, 10},
    {kIdcStatic, ControlKind::kLabel, kSiteRootLabel, 10, 42, 220, 8},
    {kIdcSiteRoot, ControlKind::kEdit, "", 10, 53, 164, 14},
    {kIdcBrowseRoot, ControlKind::kButton, kBrowseText, 180, 53, 50, 14},
    {kIdcSiteRootError, ControlKind::kPlainLabel, "", 10, 69, 220, 8},
    {kIdcVerify, ControlKind::kCheckBox, kVerifyOption, 10, 82, 220, 10},
    {kIdcAllOrNothing, ControlKind::kCheckBox, kAllOrNothingOption, 10, 96, 220, 10},
    {kIdcStatic, ControlKind::kLabel, kRetriesLabel, 18, 129, 130, 8},
    {kIdcRetries, ControlKind::kComboBox, "", 150, 126, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kWindowLabel, 18, 147, 130, 8},
    {kIdcWindow, ControlKind::kComboBox, "", 150, 144, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kChunkLabel, 18, 165, 130, 8},
    {kIdcChunk, ControlKind::kComboBox, "", 150, 162, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kTimeoutLabel, 18, 183, 130, 8},
    {kIdcTimeout, ControlKind::kComboBox, "", 150, 180, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kFirstTimeoutLabel, 18, 201, 130, 8},
    {kIdcFirstTimeout, ControlKind::kComboBox, "", 150, 198, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kUnitLabel, 18, 219, 130, 8},
    {kIdcUnit, ControlKind::kComboBox, "", 150, 216, 80, 14},
    {kIdcStatic, ControlKind::kLabel, kTraceLabel, 18, 235, 212, 8},
    {kIdcTraceFile, ControlKind::kEdit, "", 18, 245, 156, 14},
    {kIdcBrowseTrace, ControlKind::kButton, kBrowseTraceText, 180, 245, 50, 14},
    {kIdcStatic, ControlKind::kGroupBox, kLinkGroup, 10, 113, 226, 152},
    {kIdcStatic, ControlKind::kLabel, kBackupLabel, 10, 272, 226, 8},
    {kIdcBackupDir, ControlKind::kEdit, "", 10, 283, 164, 14},
    {kIdcBrowseBackup, ControlKind::kButton, kBrowseBackupText, 180, 283, 50, 14},
    {kIdOk, ControlKind::kDefButton, kOkText, 124, 304, 50, 14},
    {kIdCancel, ControlKind::kButton, kCancelText, 180, 304, 50, 14},
};

inline constexpr DialogTemplate kAboutDialog = {kIddAboutBox, kAboutTitle, 235, 55};

inline constexpr DialogItem kAboutDialogItems[] = {
    {kIdrMainFrame, ControlKind::kIcon, "", 11, 17, 20, 20},
    {kIdcStatic, ControlKind::kPlainLabel, kAboutText, 40, 10, 119, 8},
    {kIdOk, ControlKind::kDefButton, kOkText, 178, 7, 50, 14},
};

}  // namespace kelvarin::res
