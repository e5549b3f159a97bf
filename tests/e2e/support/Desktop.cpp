#include "support/Desktop.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include "support/TestUtil.h"

namespace lotfinch::e2e {

namespace {

std::vector<WindowId> parseIds(const QString &text)
{
    std::vector<WindowId> ids;
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
        bool ok = false;
        WindowId id = line.trimmed().toULongLong(&ok);
        if (ok)
            ids.push_back(id);
    }
    return ids;
}

bool contains(const std::vector<WindowId> &ids, WindowId id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// OCR reads small screen text best when it is enlarged.
constexpr int OcrScale = 4;

struct OcrWord
{
    QString line; // block, paragraph and line number: the words of one line share it
    QRect box;    // in the enlarged picture
    QString text;
};

// The words that tesseract reads in the area, in reading order.
std::vector<OcrWord> ocrWords(QRect area, const QString &image)
{
    std::vector<OcrWord> words;
    QTemporaryDir dir;
    if (area.isEmpty() || !dir.isValid())
        return words;
    QString picture = dir.filePath("area.png");
    QString crop = QString("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.left()).arg(area.top());
    QStringList enlarge{"-crop",       crop,   "+repage", "-resize", QString::number(OcrScale * 100) + "%",
                        "-colorspace", "Gray", picture};
    if (image.isEmpty())
        runTool("import", QStringList{"-window", "root"} + enlarge);
    else
        runTool("convert", QStringList{image} + enlarge);
    // One thread each: two tests share the machine's cores.
    qputenv("OMP_THREAD_LIMIT", "1");
    const QStringList rows = runTool("tesseract", {picture, "stdout", "tsv"}).split('\n', Qt::SkipEmptyParts);
    for (const QString &row : rows) {
        // level page block paragraph line word left top width height confidence text
        QStringList fields = row.split('\t');
        if (fields.size() < 12 || fields[0] != "5" || fields[11].trimmed().isEmpty())
            continue;
        words.push_back({fields[2] + "." + fields[3] + "." + fields[4],
                         QRect(fields[6].toInt(), fields[7].toInt(), fields[8].toInt(), fields[9].toInt()),
                         fields[11].trimmed()});
    }
    return words;
}

// A word without the punctuation around it, in lower case.
QString bareWord(const QString &word)
{
    static const QRegularExpression edges("^[^\\w]+|[^\\w]+$");
    return QString(word).remove(edges).toLower();
}

} // namespace

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

std::vector<WindowId> visibleWindows(qint64 pid)
{
    return parseIds(runTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)}));
}

std::vector<WindowId> visibleWindows(qint64 pid, const QString &title)
{
    // Without --all, xdotool lists the windows that meet any one condition.
    return parseIds(
        runTool("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", title}));
}

QRect geometry(WindowId window)
{
    // Workaround: xdotool's getwindowgeometry adds the window manager's frame
    // offset twice for a decorated window; xwininfo reports the real place.
    QRect rect;
    for (const QString &line : runTool("xwininfo", {"-id", QString::number(window)}).split('\n', Qt::SkipEmptyParts)) {
        QString key = line.section(':', 0, 0).trimmed();
        int value = line.section(':', 1).trimmed().toInt();
        if (key == "Absolute upper-left X")
            rect.moveLeft(value);
        else if (key == "Absolute upper-left Y")
            rect.moveTop(value);
        else if (key == "Width")
            rect.setWidth(value);
        else if (key == "Height")
            rect.setHeight(value);
    }
    return rect;
}

QRect trayPanel()
{
    std::vector<WindowId> panels = parseIds(runTool("xdotool", {"search", "--onlyvisible", "--name", "^panel$"}));
    return panels.empty() ? QRect() : geometry(panels.front());
}

std::vector<WindowId> trayIcons(qint64 pid)
{
    QRect panel = trayPanel();
    std::vector<WindowId> icons;
    if (panel.isEmpty())
        return icons;
    for (WindowId window : visibleWindows(pid))
        if (panel.contains(geometry(window)))
            icons.push_back(window);
    return icons;
}

std::vector<WindowId> otherWindows(qint64 pid, const std::vector<WindowId> &except)
{
    std::vector<WindowId> icons = trayIcons(pid);
    std::vector<WindowId> others;
    for (WindowId window : visibleWindows(pid))
        if (!contains(icons, window) && !contains(except, window))
            others.push_back(window);
    return others;
}

void click(QPoint at, int button, int count)
{
    movePointer(at);
    runTool("xdotool", {"click", "--repeat", QString::number(count), "--delay", "80", QString::number(button)});
}

void movePointer(QPoint to)
{
    runTool("xdotool", {"mousemove", QString::number(to.x()), QString::number(to.y())});
}

void pressKey(const QString &key)
{
    runTool("xdotool", {"key", key});
}

void typeText(const QString &text)
{
    runTool("xdotool", {"type", "--delay", "40", text});
}

QString clipboardText()
{
    return runTool("xclip", {"-o", "-selection", "clipboard"});
}

QString readText(QRect area, const QString &image)
{
    QStringList lines;
    QString current;
    for (const OcrWord &word : ocrWords(area, image)) {
        if (word.line != current || lines.isEmpty())
            lines.append(word.text);
        else
            lines.last() += " " + word.text;
        current = word.line;
    }
    return lines.join('\n');
}

QRect findText(QRect area, const QString &words, const QString &image)
{
    QStringList wanted = words.split(' ', Qt::SkipEmptyParts);
    for (QString &word : wanted)
        word = bareWord(word);
    std::vector<OcrWord> read = ocrWords(area, image);
    for (size_t first = 0; !wanted.isEmpty() && first + wanted.size() <= read.size(); ++first) {
        QRect box;
        bool match = true;
        for (qsizetype i = 0; match && i < wanted.size(); ++i) {
            const OcrWord &word = read[first + i];
            match = word.line == read[first].line && bareWord(word.text) == wanted[i];
            box |= word.box;
        }
        if (match)
            return QRect(area.topLeft() + box.topLeft() / OcrScale, box.size() / OcrScale);
    }
    return {};
}

QString plainText(const QString &text)
{
    static const QRegularExpression space("\\s+");
    QString plain = text;
    for (QChar quote : {QChar(0x201C), QChar(0x201D), QChar(0x201E)})
        plain.replace(quote, '"');
    for (QChar quote : {QChar(0x2018), QChar(0x2019)})
        plain.replace(quote, '\'');
    return plain.replace(space, " ").trimmed();
}

WindowId windowShowing(qint64 pid, const QString &text, const std::vector<WindowId> &except)
{
    for (WindowId window : otherWindows(pid, except))
        if (plainText(readText(geometry(window))).contains(plainText(text)))
            return window;
    return 0;
}

QString screenshot(const QString &step)
{
    return screenshot(step, QRect());
}

QString screenshot(const QString &step, QRect area)
{
    QString folder = qEnvironmentVariable("LOTFINCH_SCREENSHOTS", QDir::currentPath() + "/e2e-screenshots");
    QDir().mkpath(folder);
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    QString name = test ? QString("%1.%2-%3").arg(test->test_suite_name(), test->name(), step) : step;
    QString file = folder + "/" + name + ".png";
    // Windows of this process paint only while its event loop runs.
    test::runEventsFor(300);
    QStringList arguments{"-window", "root"};
    if (!area.isEmpty())
        arguments << "-crop"
                  << QString("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.left()).arg(area.top())
                  << "+repage";
    runTool("import", arguments << file);
    return file;
}

QString programPath()
{
    return qEnvironmentVariable("LOTFINCH_PROGRAM");
}

} // namespace lotfinch::e2e
