// The texts the window shows, UTF-8, in the product's own language. Those
// marked with QT_TRANSLATE_NOOP are translated through Qt Linguist (Tr() in
// translate.h; translations/kelvarin_en.ts); log lines are the message
// catalog's (messages/).
#pragma once

#include <QtGlobal>

namespace kelvarin::res {

inline constexpr const char* kWindowTitle = "Kelvarin";
inline constexpr const char* kAboutTitle = QT_TRANSLATE_NOOP("Kelvarin", "关于 Kelvarin");
inline constexpr const char* kAboutText = QT_TRANSLATE_NOOP("Kelvarin", "Kelvarin 1.0 版");
inline constexpr const char* kAboutCommand =
    QT_TRANSLATE_NOOP("Kelvarin", "关于 Kelvarin(&A)...");  // string 101

// The dialog font; mapped to an installed CJK font at start-up.
inline constexpr const char* kDialogFontFace = "宋体";
inline constexpr int kDialogFontPoints = 9;

// Button texts; the Connect button's text is also the connection state.
inline constexpr const char* kConnectText = QT_TRANSLATE_NOOP("Kelvarin", "连接");
inline constexpr const char* kDisconnectText = QT_TRANSLATE_NOOP("Kelvarin", "断开");
// While a connect is under way (Escape, Exit or the close box cancel it).
inline constexpr const char* kConnectingText = QT_TRANSLATE_NOOP("Kelvarin", "正在连接...");
inline constexpr const char* kSendText = QT_TRANSLATE_NOOP("Kelvarin", "发送");
inline constexpr const char* kExitText = QT_TRANSLATE_NOOP("Kelvarin", "退出(&Q)");
inline constexpr const char* kOkText = QT_TRANSLATE_NOOP("Kelvarin", "确定");
inline constexpr const char* kCancelText = QT_TRANSLATE_NOOP("Kelvarin", "取消");

// The window menu's commands beside the about box.
inline constexpr const char* kWebOptionsCommand = QT_TRANSLATE_NOOP("Kelvarin", "选项(&O)...");
inline constexpr const char* kAddSiteFolderCommand =
    QT_TRANSLATE_NOOP("Kelvarin", "添加网站文件夹(&F)...");
inline constexpr const char* kHistoryCommand = QT_TRANSLATE_NOOP("Kelvarin", "历史记录(&H)...");

// The history: the journal's newest records, read only.
inline constexpr const char* kHistoryTitle = QT_TRANSLATE_NOOP("Kelvarin", "历史记录");
// Finding the devices.
inline constexpr const char* kFindCommand = QT_TRANSLATE_NOOP("Kelvarin", "查找设备(&D)...");
inline constexpr const char* kFindTitle = QT_TRANSLATE_NOOP("Kelvarin", "查找设备");
inline constexpr const char* kFindRangesLabel = QT_TRANSLATE_NOOP("Kelvarin", "地址范围：");
inline constexpr const char* kFindPortLabel = QT_TRANSLATE_NOOP("Kelvarin", "端口：");
inline constexpr const char* kFindStart = QT_TRANSLATE_NOOP("Kelvarin", "查找(&S)");
inline constexpr const char* kFindStop = QT_TRANSLATE_NOOP("Kelvarin", "停止(&T)");
inline constexpr const char* kFindUse = QT_TRANSLATE_NOOP("Kelvarin", "使用(&U)");
inline constexpr const char* kFindAddress = QT_TRANSLATE_NOOP("Kelvarin", "地址");
inline constexpr const char* kFindUnit = QT_TRANSLATE_NOOP("Kelvarin", "单元");
inline constexpr const char* kFindIdentity = QT_TRANSLATE_NOOP("Kelvarin", "设备识别");
inline constexpr const char* kFindImage = QT_TRANSLATE_NOOP("Kelvarin", "设备中的映像");
inline constexpr const char* kFindCurrent = QT_TRANSLATE_NOOP("Kelvarin", "是列表中文件的映像");
inline constexpr const char* kFindYes = QT_TRANSLATE_NOOP("Kelvarin", "是");
inline constexpr const char* kFindNo = QT_TRANSLATE_NOOP("Kelvarin", "否");
inline constexpr const char* kFindSearching = QT_TRANSLATE_NOOP("Kelvarin", "正在查找……");
inline constexpr const char* kFindBadPort = QT_TRANSLATE_NOOP("Kelvarin", "端口应为1到65535");
inline constexpr const char* kHistoryTime = QT_TRANSLATE_NOOP("Kelvarin", "时间（UTC）");
inline constexpr const char* kHistoryOperation = QT_TRANSLATE_NOOP("Kelvarin", "操作");
inline constexpr const char* kHistoryDevice = QT_TRANSLATE_NOOP("Kelvarin", "设备");
inline constexpr const char* kHistoryImage = QT_TRANSLATE_NOOP("Kelvarin", "映像 SHA-256");
inline constexpr const char* kHistoryOutcome = QT_TRANSLATE_NOOP("Kelvarin", "结果");
inline constexpr const char* kHistoryUser = QT_TRANSLATE_NOOP("Kelvarin", "用户");
inline constexpr const char* kHistoryBegun = QT_TRANSLATE_NOOP("Kelvarin", "开始");
inline constexpr const char* kCloseText = QT_TRANSLATE_NOOP("Kelvarin", "关闭");

// The web options dialog.
inline constexpr const char* kWebOptionsTitle = QT_TRANSLATE_NOOP("Kelvarin", "选项");
inline constexpr const char* kContentTypesOption =
    QT_TRANSLATE_NOOP("Kelvarin", "按文件类型设置内容类型(&T)");
inline constexpr const char* kGzipOption =
    QT_TRANSLATE_NOOP("Kelvarin", "文本文件以 gzip 压缩存放(&G)");
inline constexpr const char* kSiteRootLabel =
    QT_TRANSLATE_NOOP("Kelvarin", "网站根目录（其下的文件按相对路径命名）：");
inline constexpr const char* kBrowseText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&B)...");
inline constexpr const char* kVerifyOption = QT_TRANSLATE_NOOP("Kelvarin", "发送后回读校验(&V)");
inline constexpr const char* kAllOrNothingOption =
    QT_TRANSLATE_NOOP("Kelvarin", "全部装下才发送(&A)");
inline constexpr const char* kDeltaOption =
    QT_TRANSLATE_NOOP("Kelvarin", "增量发送：只发送改动的部分，并读回核对(&D)");
// How the device is talked to (beyond the defaults, for slow or lossy networks).
inline constexpr const char* kLinkGroup = QT_TRANSLATE_NOOP("Kelvarin", "网络");
inline constexpr const char* kRetriesLabel = QT_TRANSLATE_NOOP("Kelvarin", "失败后重发次数：");
inline constexpr const char* kWindowLabel = QT_TRANSLATE_NOOP("Kelvarin", "同时发出的请求数：");
inline constexpr const char* kWindowAuto = QT_TRANSLATE_NOOP("Kelvarin", "自动");
inline constexpr const char* kChunkLabel = QT_TRANSLATE_NOOP("Kelvarin", "每个请求的字节数：");
inline constexpr const char* kTimeoutLabel = QT_TRANSLATE_NOOP("Kelvarin", "等待应答的毫秒数：");
inline constexpr const char* kFirstTimeoutLabel =
    QT_TRANSLATE_NOOP("Kelvarin", "第一个请求等待的毫秒数：");
inline constexpr const char* kFirstTimeoutSame = QT_TRANSLATE_NOOP("Kelvarin", "同上");
inline constexpr const char* kTraceLabel =
    QT_TRANSLATE_NOOP("Kelvarin", "通信记录文件（每一帧一行，留空则不记录）：");
inline constexpr const char* kBrowseTraceText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&E)...");
inline constexpr const char* kUnitLabel = QT_TRANSLATE_NOOP("Kelvarin", "单元标识符（0-255）：");
// Field safety: where a device's image is kept before it is overwritten.
inline constexpr const char* kBackupLabel =
    QT_TRANSLATE_NOOP("Kelvarin", "备份文件夹（发送前先读出设备中的映像，留空则不备份）：");
inline constexpr const char* kBrowseBackupText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&K)...");
// Modbus/TCP Security: TLS with this computer's certificate, both sides checked.
inline constexpr const char* kSecurityGroup = QT_TRANSLATE_NOOP("Kelvarin", "安全");
inline constexpr const char* kTlsOption =
    QT_TRANSLATE_NOOP("Kelvarin", "以 TLS 连接（Modbus/TCP Security，双方验证证书）(&S)");
inline constexpr const char* kTlsCertLabel = QT_TRANSLATE_NOOP("Kelvarin", "本机证书：");
inline constexpr const char* kTlsKeyLabel = QT_TRANSLATE_NOOP("Kelvarin", "私钥：");
inline constexpr const char* kTlsCaLabel = QT_TRANSLATE_NOOP("Kelvarin", "CA 证书：");
inline constexpr const char* kTlsNameLabel = QT_TRANSLATE_NOOP("Kelvarin", "设备名称：");
inline constexpr const char* kTlsNameHint =
    QT_TRANSLATE_NOOP("Kelvarin", "留空：所连接的地址；any：不检查");
inline constexpr const char* kBrowseCertText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&C)...");
inline constexpr const char* kBrowseKeyText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&Y)...");
inline constexpr const char* kBrowseCaText = QT_TRANSLATE_NOOP("Kelvarin", "浏览(&R)...");
// The passphrase of an encrypted private key, asked on Connect; %1 the key file.
inline constexpr const char* kPassphraseTitle = QT_TRANSLATE_NOOP("Kelvarin", "私钥口令");
inline constexpr const char* kPassphrasePrompt =
    QT_TRANSLATE_NOOP("Kelvarin", "私钥 %1 已加密，请输入它的口令：");

// Labels and group boxes.
inline constexpr const char* kAddressLabel = QT_TRANSLATE_NOOP("Kelvarin", "设备地址");
inline constexpr const char* kPortLabel = QT_TRANSLATE_NOOP("Kelvarin", "端口");
inline constexpr const char* kStatusGroup = QT_TRANSLATE_NOOP("Kelvarin", "状态");
inline constexpr const char* kConnectGroup = QT_TRANSLATE_NOOP("Kelvarin", "连接设备");

// The file list: column headings, the total row and a file that cannot be
// opened. Sizes are KiB with two decimals and a lowercase k.
inline constexpr const char* kColumnHeadings[] = {QT_TRANSLATE_NOOP("Kelvarin", "状态"),
                                                  QT_TRANSLATE_NOOP("Kelvarin", "长度"),
                                                  QT_TRANSLATE_NOOP("Kelvarin", "文件名")};
inline constexpr const char* kTotalText = QT_TRANSLATE_NOOP("Kelvarin", "总计");
inline constexpr const char* kOpenErrorText = QT_TRANSLATE_NOOP("Kelvarin", "打开错误");
inline constexpr const char* kSizeFormat = "%.2fk";
// %n: the number of file rows (a plural in the translation).
inline constexpr const char* kTotalRowFormat =
    QT_TRANSLATE_N_NOOP("Kelvarin", "文件数量：%n  文件最大上限是50，长度上限128K");

// Settings: section, keys and defaults.
inline constexpr const char* kSettingsFileName = "kelvarin.ini";
inline constexpr const char* kSettingsSection = "Kelvarin";
inline constexpr const char* kAddressKey = "IPAddr";
inline constexpr const char* kPortKey = "PortNum";
inline constexpr const char* kContentTypesKey = "ContentTypes";
inline constexpr const char* kGzipKey = "Gzip";
inline constexpr const char* kSiteRootKey = "SiteRoot";
inline constexpr const char* kVerifyKey = "VerifyAfterSend";
inline constexpr const char* kAllOrNothingKey = "AllOrNothing";
inline constexpr const char* kDeltaKey = "Delta";
inline constexpr const char* kRetriesKey = "Retries";
inline constexpr const char* kWindowKey = "Window";
inline constexpr const char* kChunkKey = "ChunkBytes";
inline constexpr const char* kTraceFileKey = "TraceFile";
inline constexpr const char* kTimeoutKey = "TimeoutMs";
inline constexpr const char* kFirstTimeoutKey = "FirstTimeoutMs";
inline constexpr const char* kUnitKey = "UnitId";
inline constexpr const char* kBackupDirKey = "BackupDir";
inline constexpr const char* kTlsKey = "Tls";
inline constexpr const char* kTlsCertKey = "TlsCert";
inline constexpr const char* kTlsKeyKey = "TlsKey";
inline constexpr const char* kTlsCaKey = "TlsCa";
inline constexpr const char* kTlsNameKey = "TlsName";
inline constexpr const char* kDefaultAddress = "192.168.2.80";
inline constexpr const char* kDefaultPort = "502";

}  // namespace kelvarin::res
