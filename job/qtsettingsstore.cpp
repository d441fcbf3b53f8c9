#include "job/qtsettingsstore.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

CQtSettingsStore::CQtSettingsStore(Access access) : m_access(access) {}

CQtSettingsStore::~CQtSettingsStore() = default; // QSettings writes pending values itself

std::unique_ptr<QSettings> CQtSettingsStore::OpenApplicationSettings() {
#ifdef Q_OS_WIN
    auto settings = std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\quillmark"), QSettings::NativeFormat);
#else
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("quillmark"), QStringLiteral("quillmark"));
#endif
    settings->setFallbacksEnabled(false);
    return settings;
}

bool CQtSettingsStore::OpenKey() {
    // A failed read or write leaves its status behind; start over so a store that has
    // become usable again is seen as such.
    if (m_settings && m_settings->status() != QSettings::NoError)
        m_settings.reset();
    if (!m_settings)
        m_settings = OpenApplicationSettings();
    // A file that cannot be read or parsed counts as a key that cannot be opened: its values
    // are unknown, and writing would destroy them.
    if (m_settings->status() != QSettings::NoError)
        return false;
    // isWritable creates the missing folders, as opening a registry key creates it.
    return m_access == Access::ReadOnly || m_settings->isWritable();
}

std::optional<std::string> CQtSettingsStore::QueryValue(const std::string& name) {
    const QVariant value = m_settings->value(QString::fromStdString(name));
    if (!value.isValid())
        return std::nullopt;
    // The INI syntax reads an unquoted text with commas as a list; what matters is the text
    // as it stands in the file, whatever type it was read as.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    return value.toString().toStdString();
}

void CQtSettingsStore::SetValue(const std::string& name, const std::string& text) {
    if (m_access == Access::ReadWrite)
        m_settings->setValue(QString::fromStdString(name), QString::fromStdString(text));
}

void CQtSettingsStore::Flush() {
    if (m_settings && m_access == Access::ReadWrite)
        m_settings->sync();
}
