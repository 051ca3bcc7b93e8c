// The stored settings: the device address and port of the last Connect.
#pragma once

#include "job.h"
#include "link_timeouts.h"
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
    bool delta = false;            // write only what changed, and read it back
    bool allOrNothing = false;     // send nothing when any file cannot be packed
    TransferOptions transfer;      // retries, requests in flight, chunk size, unit
    std::string traceFile;         // every frame written here; empty for no trace
    std::string backupDir;         // the device's image kept here before a Send; empty: none
    TlsPlan tls;                   // Modbus/TCP Security on Connect (its passphrase never kept)
};

// Reads the Send options from section [Kelvarin]: "ContentTypes", "Gzip",
// "VerifyAfterSend", "AllOrNothing" and "Delta" ("1" on, anything else off),
// "SiteRoot" (a folder, empty for none), "Retries" (0-10), "Window" (1-16 or
// "auto"), "ChunkBytes" (even, 2-244), "TimeoutMs", "FirstTimeoutMs",
// "UnitId" (0-255), "TraceFile" and "BackupDir" (a path, empty for none),
// "Tls" ("1" on), "TlsCert", "TlsKey", "TlsCa" (paths) and "TlsName" (empty:
// the address connected to; "any": no name check). A missing key, a value
// out of its range, a missing, unreadable or corrupt file gives the default.
SendOptions LoadSendOptions();

// Writes the Send option keys to section [Kelvarin]. False when the file
// cannot be written.
bool SaveSendOptions(const SendOptions& options);

}  // namespace kelvarin
