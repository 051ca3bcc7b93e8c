// Resource and control identifiers of the Kelvarin window and about box.
#pragma once

namespace kelvarin::res {

// Dialogs, strings and the icon.
inline constexpr int kIddAboutBox = 100;       // the about box
inline constexpr int kIdsAboutBox = 101;       // the about command's menu text
inline constexpr int kIddWebLoadDialog = 102;  // the main window
inline constexpr int kIddWebOptions = 103;     // the web options
inline constexpr int kIdrMainFrame = 128;      // the window icon

// Standard command identifiers of dialog buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Controls of the main window.
inline constexpr int kIdcFileList = 1000;
inline constexpr int kIdcIpAddress = 1001;
inline constexpr int kIdcConnect = 1002;
inline constexpr int kIdcProgress = 1005;
inline constexpr int kIdcLog = 1007;
inline constexpr int kIdcPort = 1008;
inline constexpr int kIdcSend = 1009;

// Controls of the web options dialog.
inline constexpr int kIdcContentTypes = 1101;
inline constexpr int kIdcGzip = 1102;
inline constexpr int kIdcSiteRoot = 1103;
inline constexpr int kIdcBrowseRoot = 1104;
inline constexpr int kIdcVerify = 1105;
inline constexpr int kIdcAllOrNothing = 1106;
inline constexpr int kIdcSiteRootError = 1107;
inline constexpr int kIdcRetries = 1108;
inline constexpr int kIdcWindow = 1109;
inline constexpr int kIdcChunk = 1110;
inline constexpr int kIdcTraceFile = 1111;
inline constexpr int kIdcBrowseTrace = 1112;
inline constexpr int kIdcTimeout = 1113;
inline constexpr int kIdcFirstTimeout = 1114;
inline constexpr int kIdcUnit = 1115;
inline constexpr int kIdcBackupDir = 1116;
inline constexpr int kIdcBrowseBackup = 1117;
inline constexpr int kIdcTls = 1118;
inline constexpr int kIdcTlsCert = 1119;
inline constexpr int kIdcBrowseTlsCert = 1120;
inline constexpr int kIdcTlsKey = 1121;
inline constexpr int kIdcBrowseTlsKey = 1122;
inline constexpr int kIdcTlsCa = 1123;
inline constexpr int kIdcBrowseTlsCa = 1124;
inline constexpr int kIdcTlsName = 1125;
inline constexpr int kIdcDelta = 1126;

// Controls without an identifier of their own (labels and group boxes).
inline constexpr int kIdcStatic = -1;

// The commands of the window menu: the about box, the web options and adding
// a site folder. Commands of the window menu are compared with their low four
// bits cleared.
inline constexpr int kIdmAboutBox = 0x0010;
inline constexpr int kIdmWebOptions = 0x0020;
inline constexpr int kIdmAddSiteFolder = 0x0030;
inline constexpr int kIdmHistory = 0x0040;
inline constexpr int kIdmFindDevices = 0x0050;
inline constexpr int kSysCommandMask = 0xFFF0;

}  // namespace kelvarin::res
