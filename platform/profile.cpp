#include "platform/profile.h"

#include <QSettings>

std::unique_ptr<QSettings> OpenProfile() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("quillmark"), QStringLiteral("quillmark"));
}

namespace {
QString Key(const QString& section, const QString& entry) {
    QString group = section;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group + QLatin1Char('/') + entry;
}
} // namespace

bool GetProfileBinary(const QString& section, const QString& entry, QByteArray* value) {
    const std::unique_ptr<QSettings> settings = OpenProfile();
    const QVariant stored = settings->value(Key(section, entry));
    if (!stored.isValid())
        return false;
    *value = stored.toByteArray();
    return true;
}

bool WriteProfileBinary(const QString& section, const QString& entry, const QByteArray& value) {
    const std::unique_ptr<QSettings> settings = OpenProfile();
    settings->setValue(Key(section, entry), value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}
