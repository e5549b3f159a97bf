#include "support/LotfinchProgram.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

#include "support/TestUtil.h"

namespace lotfinch::e2e {

namespace {

// Places in the main window's fixed layout (client coordinates): the middle
// of the phrase box (inside its group box) and of the Start button.
const QPoint PhraseBox(19 + 72 + 100, 20 + 52 + 10);
const QPoint StartButton(14 + 45, 142 + 17);

} // namespace

const QString LotfinchProgram::MainTitle = "^Lotfinch Lite 2.0$";
const QString LotfinchProgram::PopupTitle = "^Crawling ";

LotfinchProgram::LotfinchProgram(const QString &proxy, const std::vector<std::pair<QString, QString>> &environment)
    : folder_(QFileInfo(programPath()).dir().filePath("../e2e-program-XXXXXX"))
{
    // A hard link keeps the program's file size, and with it its instance name;
    // a copy does too where a link cannot be made. The HTTP helper goes along
    // where it sits next to the program (a build folder; an installed program
    // finds it in its package's folder).
    const QDir programFolder = QFileInfo(programPath()).dir();
    program_ = folder_.filePath(QFileInfo(programPath()).fileName());
    for (const QString &name : {QFileInfo(programPath()).fileName(), QString("lotfinch-http")}) {
        const QString from = programFolder.filePath(name), to = folder_.filePath(name);
        if (QFile::exists(from) && ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            QFile::copy(from, to);
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    // Qt hands web addresses to xdg-open when it finds one.
    QDir(folder_.path()).mkdir("browser");
    QFile browser(folder_.filePath("browser/xdg-open"));
    if (browser.open(QIODevice::WriteOnly)) {
        browser.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >>\"$(dirname \"$0\")/opened\"\n");
        browser.close();
        browser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    variables.insert("PATH", folder_.filePath("browser") + ":" + variables.value("PATH"));
    if (!proxy.isEmpty()) {
        variables.insert("http_proxy", proxy);
        for (const char *name : {"HTTP_PROXY", "no_proxy", "NO_PROXY", "all_proxy", "ALL_PROXY"})
            variables.remove(name);
    }
    for (const auto &[name, value] : environment) {
        if (value.isEmpty())
            variables.remove(name);
        else
            variables.insert(name, value);
    }
    process_.setProcessEnvironment(variables);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program_, {});
    if (process_.waitForStarted())
        pid_ = process_.processId();
}

LotfinchProgram::~LotfinchProgram()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QString LotfinchProgram::output()
{
    output_ += QString::fromLocal8Bit(process_.readAll());
    return output_;
}

int LotfinchProgram::startAgain(const QStringList &arguments)
{
    QProcess again;
    again.setProcessEnvironment(process_.processEnvironment());
    again.start(program_, arguments);
    if (!again.waitForFinished(30000)) {
        again.kill();
        again.waitForFinished();
        return -1;
    }
    return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
}

int LotfinchProgram::waitForExit(int ms)
{
    // waitForFinished is false for a process that has already ended.
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms))
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QStringList LotfinchProgram::openedInBrowser() const
{
    QFile opened(folder_.filePath("browser/opened"));
    if (!opened.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(opened.readAll()).split('\n', Qt::SkipEmptyParts);
}

WindowId LotfinchProgram::waitForMainWindow()
{
    WindowId window = 0;
    auto shown = [&] {
        std::vector<WindowId> windows = visibleWindows(pid_, MainTitle);
        window = windows.empty() ? 0 : windows.front();
        return window != 0;
    };
    // The splash holds the program up for its whole time: looking less often
    // meanwhile leaves the machine to the program. The bound only stops a
    // broken start.
    QDeadlineTimer deadline(120000);
    while (!shown() && !deadline.hasExpired() && process_.state() != QProcess::NotRunning)
        test::runEventsOnce(250);
    return window;
}

bool LotfinchProgram::waitForEnd(int boundMs)
{
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(boundMs);
}

void LotfinchProgram::startSearch(const QString &phrase)
{
    QPoint client = geometry(waitForMainWindow()).topLeft();
    click(client + PhraseBox, 1);
    typeText(phrase);
    click(client + StartButton, 1);
}

} // namespace lotfinch::e2e
