#include "settings_store.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace velk::shell {
namespace {

const QString kGroup = QStringLiteral("Settings");

QString key(std::string_view name) {
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

// Owner-only: the directory first, so the file is never readable by others even
// before its own mode is set.
void restrictToOwner(const QString& file, bool directoryToo) {
    const QFileInfo info(file);
    if (directoryToo) {
        QDir().mkpath(info.absolutePath());
        ::chmod(QFile::encodeName(info.absolutePath()).constData(), S_IRWXU);
    }
    if (info.exists())
        ::chmod(QFile::encodeName(info.absoluteFilePath()).constData(), S_IRUSR | S_IWUSR);
}

}  // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Orvantis"), QStringLiteral("VELK"))) {}

SettingsStore::SettingsStore(const std::string& filePath)
    : m_settings(
          std::make_unique<QSettings>(QString::fromStdString(filePath), QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

std::string SettingsStore::filePath() const {
    return m_settings->fileName().toStdString();
}

bool SettingsStore::open(bool create) {
    m_writing = create;
    if (m_settings->status() != QSettings::NoError) return false;
    if (!create && !m_settings->childGroups().contains(kGroup)) return false;
    if (create) restrictToOwner(m_settings->fileName(), true);
    m_settings->beginGroup(kGroup);
    return true;
}

std::optional<int32_t> SettingsStore::readInt(std::string_view name) {
    const QVariant value = m_settings->value(key(name));
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return n;
}

std::optional<std::string> SettingsStore::readString(std::string_view name) {
    const QVariant value = m_settings->value(key(name));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
}

void SettingsStore::writeInt(std::string_view name, int32_t value) {
    m_settings->setValue(key(name), value);
}

void SettingsStore::writeString(std::string_view name, std::string_view value) {
    m_settings->setValue(key(name), QString::fromUtf8(value.data(), qsizetype(value.size())));
}

bool SettingsStore::close() {
    m_settings->endGroup();
    if (!m_writing) return true;
    m_settings->sync();
    restrictToOwner(m_settings->fileName(), false);
    return m_settings->status() == QSettings::NoError;
}

}  // namespace velk::shell
