// The stored settings in an INI file under the XDG configuration folder.
#include "settings.h"

#include "res/strings.h"
#include "user_dirs.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <memory>

namespace kelvarin {

namespace {

QString KeyPath(const char* key) {
    return QString::fromUtf8(res::kSettingsSection) + QLatin1Char('/') + QString::fromUtf8(key);
}

// A value as text. The INI reader turns an unquoted "a,b" into a list; the
// operator typed it as one text, so it is joined back.
QString ValueText(const QSettings& settings, const char* key, const char* fallback) {
    const QVariant value = settings.value(KeyPath(key), QString::fromUtf8(fallback));
    if (value.userType() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

// The settings file opened for reading; nothing when it is missing or
// unreadable.
std::unique_ptr<QSettings> OpenForReading() {
    const QString path = SettingsFilePath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return nullptr;
    }
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (settings->status() != QSettings::NoError) {
        return nullptr;
    }
    return settings;
}

// Writes values (key, text) to the settings file.
bool Write(std::initializer_list<std::pair<const char*, QString>> values) {
    const QString path = SettingsFilePath();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    for (const auto& [key, value] : values) {
        settings.setValue(KeyPath(key), value);
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

QString SettingsFilePath() {
    const std::optional<std::string> folder = UserConfigFolder();
    if (!folder) {
        return {};
    }
    return QString::fromUtf8(folder->c_str()) + QLatin1Char('/') +
           QString::fromUtf8(res::kSettingsFileName);
}

ConnectionSettings LoadSettings() {
    ConnectionSettings loaded{QString::fromUtf8(res::kDefaultAddress),
                              QString::fromUtf8(res::kDefaultPort)};
    if (const auto settings = OpenForReading()) {
        loaded.address = ValueText(*settings, res::kAddressKey, res::kDefaultAddress);
        loaded.port = ValueText(*settings, res::kPortKey, res::kDefaultPort);
    }
    return loaded;
}

bool SaveSettings(const ConnectionSettings& values) {
    return Write({{res::kAddressKey, values.address}, {res::kPortKey, values.port}});
}

SendOptions LoadSendOptions() {
    SendOptions options;
    if (const auto settings = OpenForReading()) {
        options.pack.contentTypes = ValueText(*settings, res::kContentTypesKey, "0") == Flag(true);
        options.pack.gzip = ValueText(*settings, res::kGzipKey, "0") == Flag(true);
        options.pack.siteRoot = ValueText(*settings, res::kSiteRootKey, "").toUtf8().toStdString();
        options.verifyAfterSend = ValueText(*settings, res::kVerifyKey, "0") == Flag(true);
        options.allOrNothing = ValueText(*settings, res::kAllOrNothingKey, "0") == Flag(true);
        options.delta = ValueText(*settings, res::kDeltaKey, "0") == Flag(true);
        // Each value within its range, or the default.
        bool ok = false;
        const int retries = ValueText(*settings, res::kRetriesKey, "0").toInt(&ok);
        if (ok && retries >= 0 && retries <= kMaxRetries) {
            options.transfer.retries = retries;
        }
        const QString window = ValueText(*settings, res::kWindowKey, "1");
        const int inFlight = window.toInt(&ok);
        if (window == QStringLiteral("auto")) {
            options.transfer.autoWindow = true;
        } else if (ok && inFlight >= 1 && inFlight <= kMaxWindow) {
            options.transfer.window = inFlight;
        }
        const int chunk = ValueText(*settings, res::kChunkKey, "128").toInt(&ok);
        if (ok && chunk >= 2 && chunk <= static_cast<int>(kLargestChunkBytes) && chunk % 2 == 0) {
            options.transfer.chunkBytes = static_cast<std::size_t>(chunk);
        }
        const int timeout = ValueText(*settings, res::kTimeoutKey, "").toInt(&ok);
        if (ok && timeout >= 1 && timeout <= kMaxTimeoutMs) {
            options.transfer.timeouts = LinkTimeouts::All(timeout);
        }
        const int first = ValueText(*settings, res::kFirstTimeoutKey, "").toInt(&ok);
        if (ok && first >= 0 && first <= kMaxTimeoutMs) {
            options.transfer.firstReplyMs = first;
        }
        const int unit = ValueText(*settings, res::kUnitKey, "0").toInt(&ok);
        if (ok && unit >= 0 && unit <= 255) {
            options.transfer.unit = static_cast<std::uint8_t>(unit);
        }
        options.traceFile = ValueText(*settings, res::kTraceFileKey, "").toUtf8().toStdString();
        options.backupDir = ValueText(*settings, res::kBackupDirKey, "").toUtf8().toStdString();
        options.tls.on = ValueText(*settings, res::kTlsKey, "0") == Flag(true);
        options.tls.cert = ValueText(*settings, res::kTlsCertKey, "").toUtf8().toStdString();
        options.tls.key = ValueText(*settings, res::kTlsKeyKey, "").toUtf8().toStdString();
        options.tls.ca = ValueText(*settings, res::kTlsCaKey, "").toUtf8().toStdString();
        options.tls.name = ValueText(*settings, res::kTlsNameKey, "").toUtf8().toStdString();
    }
    return options;
}

bool SaveSendOptions(const SendOptions& options) {
    return Write({{res::kContentTypesKey, Flag(options.pack.contentTypes)},
                  {res::kGzipKey, Flag(options.pack.gzip)},
                  {res::kSiteRootKey, QString::fromStdString(options.pack.siteRoot)},
                  {res::kVerifyKey, Flag(options.verifyAfterSend)},
                  {res::kAllOrNothingKey, Flag(options.allOrNothing)},
                  {res::kDeltaKey, Flag(options.delta)},
                  {res::kRetriesKey, QString::number(options.transfer.retries)},
                  {res::kWindowKey, options.transfer.autoWindow
                                        ? QStringLiteral("auto")
                                        : QString::number(options.transfer.window)},
                  {res::kChunkKey, QString::number(options.transfer.chunkBytes)},
                  {res::kTimeoutKey, QString::number(options.transfer.timeouts.replyMs)},
                  {res::kFirstTimeoutKey, QString::number(options.transfer.firstReplyMs)},
                  {res::kUnitKey, QString::number(options.transfer.unit)},
                  {res::kTraceFileKey, QString::fromUtf8(options.traceFile.c_str())},
                  {res::kBackupDirKey, QString::fromUtf8(options.backupDir.c_str())},
                  {res::kTlsKey, Flag(options.tls.on)},
                  {res::kTlsCertKey, QString::fromUtf8(options.tls.cert.c_str())},
                  {res::kTlsKeyKey, QString::fromUtf8(options.tls.key.c_str())},
                  {res::kTlsCaKey, QString::fromUtf8(options.tls.ca.c_str())},
                  {res::kTlsNameKey, QString::fromUtf8(options.tls.name.c_str())}});
}

}  // namespace kelvarin
