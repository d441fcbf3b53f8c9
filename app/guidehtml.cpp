// Build tool: the user guide (Markdown) as an HTML page beside copies of the pictures it
// shows, so that the desktop's web browser can show it offline.
//
//     qm_guide_html docs/guide.md OUT_DIR      writes OUT_DIR/guide.html and OUT_DIR/images/
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // the document's fonts need the GUI side
    if (argc != 3) {
        std::fprintf(stderr, "usage: qm_guide_html GUIDE.md OUT_DIR\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "qm_guide_html: cannot read %s or make %s\n", argv[1], argv[2]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());

    // The pictures the guide names, relative to it.
    const QDir from = QFileInfo(source).dir();
    const QRegularExpression picture(QStringLiteral(R"(!\[[^\]]*\]\(([^)\s]+)\))"));
    for (auto it = picture.globalMatch(markdown); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name.contains(QLatin1String("://")) || name.startsWith(QLatin1Char('/')))
            continue;
        const QString target = out.filePath(name);
        QDir().mkpath(QFileInfo(target).path());
        QFile::remove(target);
        if (!QFile::copy(from.filePath(name), target)) {
            std::fprintf(stderr, "qm_guide_html: cannot copy %s\n", qPrintable(name));
            return 1;
        }
    }

    QTextDocument document;
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    document.setMetaInformation(QTextDocument::DocumentTitle,
                                QStringLiteral("quillmark user guide"));
    QFont font(QStringLiteral("sans-serif"));
    font.setPointSize(11);
    document.setDefaultFont(font);
    // A browser shows the page at a reading width, the pictures no wider than the window.
    QString text = document.toHtml();
    text.replace(QLatin1String("</style>"),
                 QLatin1String("body { max-width: 52em; margin: 1em auto; padding: 0 1em; }\n"
                               "img { max-width: 100%; }\n</style>"));
    QFile html(out.filePath(QStringLiteral("guide.html")));
    if (!html.open(QIODevice::WriteOnly | QIODevice::Truncate) || html.write(text.toUtf8()) < 0) {
        std::fprintf(stderr, "qm_guide_html: cannot write %s\n", qPrintable(html.fileName()));
        return 1;
    }
    return 0;
}
