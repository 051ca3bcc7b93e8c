// What the window's --help and man page say.
#include "manual_text.h"

#include "places.h"
#include "user_dirs.h"

#include <kelvarin/version.h>

namespace kelvarin {

manual::Manual WindowManual() {
    const UserPlaceNames& places = kUserPlaceNames;
    manual::Manual m;
    m.program = "kelvarin";
    m.summary = "pack web pages and load them into a networked device";
    m.version = kVersion;
    m.main.usage = "[ADDRESS PORT [FILE...]]";
    m.main.description =
        "Opens the Kelvarin window, which packs up to 50 web files into a web image of at most "
        "131072 bytes and downloads it to a device over Modbus/TCP (Write File Record "
        "requests, 128 image bytes each, every reply checked). Its texts are Simplified "
        "Chinese, or English in an English locale (see ENVIRONMENT).\n\n"
        "ADDRESS alone is ignored: the window then shows the address and port stored at the "
        "last Connect. Qt's own options (-platform, -style, ...) are taken too.";
    m.main.options = {
        {"ADDRESS", "The device's IPv4 address, put into the address field."},
        {"PORT", "The device's TCP port, put into the port field."},
        {"FILE", "Files to add to the list, in order. Files past the 50th are left out, and "
                 "one log line says how many and names them."},
        {"--help", "Print this text and exit."},
        {"--version", "Print the version and exit."},
        {"--manual", "Print this manual as a man page (roff) and exit."},
    };
    m.main.sections = {
        {"Exit status", "", {{"0", "The window was closed."}}, {}},
        {"Using the window",
         "Add files by double-clicking the list (a file chooser opens) or by dropping them on "
         "the window; Delete removes the selected rows. Enter the device's address and port "
         "and press 连接 (connect), then 发送 (send): the window packs, writes the dump, "
         "downloads, and logs each step; the progress bar follows the download. Double-click "
         "the log to empty it.\n\n"
         "The connect and the Send run beside the window, which keeps painting but takes no "
         "other input meanwhile. While 正在连接... (connecting) shows, Escape, Exit or the "
         "close box cancel the connect. During a Send they ask it to stop: nothing more is "
         "sent, the replies of the requests in flight are awaited within their time-outs, and "
         "the log says what the device now holds; asked a second time, the window closes as "
         "soon as the Send has stopped. Any loss of the connection returns the window to the "
         "disconnected state.\n\n"
         "Right-click the window's background for 选项(&O)... (the options dialog: content "
         "types, gzip, the site root, read back after sending, all or nothing, and under 网络 "
         "the retries, requests in flight, bytes a request, time-outs, unit identifier and "
         "trace file, a backup folder, and under 安全 (security) TLS with this computer's "
         "certificate, its key, the CA certificates and the device's name; an encrypted key's "
         "passphrase is asked on Connect), "
         "添加网站文件夹(&F)... (add every file of a site folder, index pages first, and make it "
         "the site root) and the about box. The options dialog refuses a site root that is "
         "not a readable folder.",
         {},
         {}},
        {"Environment",
         "",
         {{"LC_ALL, LC_MESSAGES, LANG",
           "The first that is set and not empty chooses the language of the window, its log "
           "and Qt's own texts (file choosers, standard buttons, edit menus): an English "
           "locale (en, en_US.UTF-8, ...) gives English, anything else Simplified Chinese, "
           "also when none is set."},
          {places.variables, "Where the settings and the dump are kept (see FILES)."},
          {"QT_QPA_PLATFORM", "Qt's display platform (for example offscreen)."}},
         {}},
        {"Files",
         "",
         {{places.settings,
           "The settings" + manual::DefaultPlace(places.settingsDefault) +
               ", section [Kelvarin]: IPAddr and PortNum (written at each Connect), "
               "ContentTypes, Gzip, SiteRoot, VerifyAfterSend, AllOrNothing and Delta (1 on, 0 off), "
               "Retries, Window (1 to 16 or auto), ChunkBytes, TimeoutMs, FirstTimeoutMs (0: "
               "as TimeoutMs) and TraceFile from the options dialog."},
          {places.dump,
           "The copy of the last image sent" + manual::DefaultPlace(places.dumpDefault) + "."}},
         {}},
        {"Examples",
         "",
         {{"kelvarin 192.168.2.80 502 site/*",
           "Open the window with the device's address, "
           "port and the files of a site."},
          {"LANG=en_US.UTF-8 kelvarin", "The window in English."}},
         {}},
        {"See also", "kelvarin-cli(1), kelvarin-device(1)", {}, {}},
    };
    if (*kQtTranslationsPlace != '\0') {
        for (manual::Section& section : m.main.sections) {
            if (section.title == "Files") {
                section.items.push_back(
                    {kQtTranslationsPlace,
                     "Qt's own texts in Chinese (Debian package qt6-translations-l10n); without "
                     "them Qt's texts stay English."});
            }
        }
    }
    return m;
}

}  // namespace kelvarin
