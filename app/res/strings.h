// The texts the window shows, UTF-8. Formats are printf-style. Log lines are
// the message catalog's (messages/).
#pragma once

namespace kelvarin::res {

inline constexpr const char* kWindowTitle = "Kelvarin";
inline constexpr const char* kAboutTitle = "关于 Kelvarin";
inline constexpr const char* kAboutText = "Kelvarin 1.0 版";
inline constexpr const char* kAboutCommand = "关于 Kelvarin(&A)...";  // string 101

// The dialog font; mapped to an installed CJK font at start-up.
inline constexpr const char* kDialogFontFace = "宋体";
inline constexpr int kDialogFontPoints = 9;

// Button texts; the Connect button's text is also the connection state.
inline constexpr const char* kConnectText = "连接";
inline constexpr const char* kDisconnectText = "断开";
inline constexpr const char* kSendText = "发送";
inline constexpr const char* kExitText = "退出(&Q)";
inline constexpr const char* kOkText = "确定";
inline constexpr const char* kCancelText = "取消";

// The window menu's commands beside the about box.
inline constexpr const char* kWebOptionsCommand = "选项(&O)...";
inline constexpr const char* kAddSiteFolderCommand = "添加网站文件夹(&F)...";

// The web options dialog.
inline constexpr const char* kWebOptionsTitle = "选项";
inline constexpr const char* kContentTypesOption = "按文件类型设置内容类型(&T)";
inline constexpr const char* kGzipOption = "文本文件以 gzip 压缩存放(&G)";
inline constexpr const char* kSiteRootLabel = "网站根目录（其下的文件按相对路径命名）：";
inline constexpr const char* kBrowseText = "浏览(&B)...";
inline constexpr const char* kVerifyOption = "发送后回读校验(&V)";

// Labels and group boxes.
inline constexpr const char* kAddressLabel = "设备地址";
inline constexpr const char* kPortLabel = "端口";
inline constexpr const char* kStatusGroup = "状态";
inline constexpr const char* kConnectGroup = "连接设备";

// The file list: column headings, the total row and a file that cannot be
// opened. Sizes are KiB with two decimals and a lowercase k.
inline constexpr const char* kColumnHeadings[] = {"状态", "长度", "文件名"};
inline constexpr const char* kTotalText = "总计";
inline constexpr const char* kOpenErrorText = "打开错误";
inline constexpr const char* kSizeFormat = "%.2fk";
inline constexpr const char* kTotalRowFormat = "文件数量：%d  文件最大上限是50，长度上限128K";

// Settings: section, keys and defaults.
inline constexpr const char* kSettingsFileName = "kelvarin.ini";
inline constexpr const char* kSettingsSection = "Kelvarin";
inline constexpr const char* kAddressKey = "IPAddr";
inline constexpr const char* kPortKey = "PortNum";
inline constexpr const char* kContentTypesKey = "ContentTypes";
inline constexpr const char* kGzipKey = "Gzip";
inline constexpr const char* kSiteRootKey = "SiteRoot";
inline constexpr const char* kVerifyKey = "VerifyAfterSend";
inline constexpr const char* kDefaultAddress = "192.168.2.80";
inline constexpr const char* kDefaultPort = "502";

}  // namespace kelvarin::res
