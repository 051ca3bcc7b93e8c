// The stored settings: the device address and port of the last Connect.
#pragma once

#include "packer.h"

#include <QString>

namespace kelvarin {

// The two stored values, as text.
struct ConnectionSettings {
    QString address;  // dotted IPv4 text, key "IPAddr"
    QString port;     // the port exactly as typed, key "PortNum"
};

// The settings file: kelvarin.ini in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config). Empty when neither is known.
QString SettingsFilePath();

// Reads section [Kelvarin]. A missing key, a missing, unreadable or corrupt
// file gives the defaults "192.168.2.80" and "502".
ConnectionSettings LoadSettings();

// Writes both keys to section [Kelvarin], creating the folder when missing.
// False when the file cannot be written (the values are then not kept).
bool SaveSettings(const ConnectionSettings& settings);

// The options of a Send the settings keep.
struct SendOptions {
    PackOptions pack;              // the web options
    bool verifyAfterSend = false;  // read the image back after each download
    bool allOrNothing = false;     // send nothing when any file cannot be packed
};

// Reads the Send options from section [Kelvarin]: "ContentTypes", "Gzip",
// "VerifyAfterSend" and "AllOrNothing" ("1" on, anything else off) and
// "SiteRoot" (a folder, empty for none). A missing key, a missing, unreadable or corrupt file gives
// all off.
SendOptions LoadSendOptions();

// Writes the five Send option keys to section [Kelvarin]. False when the file
// cannot be written.
bool SaveSendOptions(const SendOptions& options);

}  // namespace kelvarin
