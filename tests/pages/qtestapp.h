#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <ostream>

// The application object made by the test program's main.
inline QApplication& TestApp() {
    return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

inline bool MakeFolders(const QString& base, const QStringList& relativePaths) {
    for (const QString& path : relativePaths) {
        if (!QDir().mkpath(base + QLatin1Char('/') + path))
            return false;
    }
    return true;
}

inline bool MakeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1;
}

// Readable failure messages for QString values.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{';
    for (const QString& text : texts)
        *os << '"' << text.toStdString() << "\" ";
    *os << '}';
}
