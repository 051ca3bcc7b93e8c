// The stored settings in an INI file under the XDG configuration folder.
#include "settings.h"

#include "res/strings.h"
#include "user_dirs.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

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

}  // namespace

QString SettingsFilePath() {
    const std::optional<std::string> folder = UserConfigFolder();
    if (!folder) {
        return {};
    }
    return QString::fromLocal8Bit(folder->c_str()) + QLatin1Char('/') +
           QString::fromUtf8(res::kSettingsFileName);
}

ConnectionSettings LoadSettings() {
    ConnectionSettings loaded{QString::fromUtf8(res::kDefaultAddress),
                              QString::fromUtf8(res::kDefaultPort)};
    const QString path = SettingsFilePath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return loaded;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return loaded;
    }
    loaded.address = ValueText(settings, res::kAddressKey, res::kDefaultAddress);
    loaded.port = ValueText(settings, res::kPortKey, res::kDefaultPort);
    return loaded;
}

bool SaveSettings(const ConnectionSettings& values) {
    const QString path = SettingsFilePath();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(KeyPath(res::kAddressKey), values.address);
    settings.setValue(KeyPath(res::kPortKey), values.port);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace kelvarin
