// lotfinch-manual SOURCE.md OUTPUT.pdf
//
// Renders the product manual from its Markdown source (pictures relative to
// the source's folder) into a PDF with Qt's own text document and PDF writer.
// The build runs it on the offscreen platform; it needs no display.

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "lotfinch-manual: %s\n", qPrintable(message));
    return 1;
}

// Pictures no wider than the text, keeping their proportions; returns the
// names of pictures that could not be loaded.
QStringList fitPictures(QTextDocument &document, qreal maxWidth)
{
    QStringList missing;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid())
                continue;
            const QImage image = document.resource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>();
            if (image.isNull()) {
                missing << format.name();
                continue;
            }
            const qreal width = std::min<qreal>(image.width(), maxWidth);
            format.setWidth(width);
            format.setHeight(width * image.height() / image.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return missing;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return fail("usage: lotfinch-manual SOURCE.md OUTPUT.pdf");
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly))
        return fail("cannot read " + source.fileName());

    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(source).absolutePath() + "/"));
    QFont font("DejaVu Sans");
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(source.readAll()));

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle("Lotfinch Desktop - User Guide");
    writer.setCreator("Pellory");
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                     QPageLayout::Millimeter));
    // The document is laid out in points on the page's text width.
    const QSizeF textArea = writer.pageLayout().paintRect(QPageLayout::Point).size();
    document.setPageSize(textArea);
    const QStringList missing = fitPictures(document, textArea.width() * 0.85);
    if (!missing.isEmpty())
        return fail("pictures not found: " + missing.join(", "));
    document.print(&writer);
    return 0;
}
