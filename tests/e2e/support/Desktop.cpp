#include "support/Desktop.h"

#include <QDir>
#include <QProcess>
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
    return parseIds(runTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid), "--name", title}));
}

QRect geometry(WindowId window)
{
    QRect rect;
    for (const QString &line : runTool("xdotool", {"getwindowgeometry", "--shell", QString::number(window)})
                                   .split('\n', Qt::SkipEmptyParts)) {
        QString key = line.section('=', 0, 0);
        int value = line.section('=', 1).toInt();
        if (key == "X")
            rect.moveLeft(value);
        else if (key == "Y")
            rect.moveTop(value);
        else if (key == "WIDTH")
            rect.setWidth(value);
        else if (key == "HEIGHT")
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

QString screenshot(const QString &step)
{
    QString folder = qEnvironmentVariable("LOTFINCH_SCREENSHOTS", QDir::currentPath() + "/e2e-screenshots");
    QDir().mkpath(folder);
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    QString name = test ? QString("%1.%2-%3").arg(test->test_suite_name(), test->name(), step) : step;
    QString file = folder + "/" + name + ".png";
    // Windows of this process paint only while its event loop runs.
    test::runEventsFor(300);
    runTool("import", {"-window", "root", file});
    return file;
}

QString programPath()
{
    return qEnvironmentVariable("LOTFINCH_PROGRAM");
}

} // namespace lotfinch::e2e
