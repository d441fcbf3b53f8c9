#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSettings;

// The per-user store of settings and window placement: QSettings in its native format
// (an INI file under $XDG_CONFIG_HOME, by default ~/.config, on Linux), organisation and
// application "quillmark". Sections are the design's key names; a section name with a
// backslash ("SOFTWARE\quillmark") is a nested group.
std::unique_ptr<QSettings> OpenProfile();

// A byte-block value of a section; false when it is not there.
bool GetProfileBinary(const QString& section, const QString& entry, QByteArray* value);
bool WriteProfileBinary(const QString& section, const QString& entry, const QByteArray& value);
