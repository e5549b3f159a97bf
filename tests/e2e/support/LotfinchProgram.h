#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "support/Desktop.h"

namespace lotfinch::e2e {

// The real program, started for one test and ended with it. It runs from a
// folder of its own, so the files it keeps next to itself are the test's.
// What it opens in the desktop's browser goes to a stand-in browser that only
// notes the address.
class LotfinchProgram
{
public:
    // proxy, when given, becomes the program's http_proxy: the fixture site
    // then answers every search instead of the real auction sites.
    // environment sets further variables for the program; an empty value
    // removes one.
    explicit LotfinchProgram(const QString &proxy = QString(),
                             const std::vector<std::pair<QString, QString>> &environment = {});
    ~LotfinchProgram();
    LotfinchProgram(const LotfinchProgram &) = delete;
    LotfinchProgram &operator=(const LotfinchProgram &) = delete;

    bool started() const { return pid_ != 0; }
    qint64 pid() const { return pid_; }
    // What the program printed so far, for failure messages.
    QString output();
    // The folder the program runs from.
    QString folder() const { return folder_.path(); }
    // Starts the same program file again and waits for that copy to end;
    // its exit code, or -1 if it crashed or did not end.
    int startAgain(const QStringList &arguments);
    // Waits up to ms for the program to end; its exit code, or -1 if it
    // crashed or did not end.
    int waitForExit(int ms);
    // The addresses the program had the browser open, in order.
    QStringList openedInBrowser() const;

    // The main window once it is on the screen, after the splash (about ten
    // seconds, more on a busy machine); 0 if it does not come.
    WindowId waitForMainWindow();
    // Whether the program ends within boundMs.
    bool waitForEnd(int boundMs);
    // Clicks into the phrase box, types phrase and clicks Start, as a person would.
    void startSearch(const QString &phrase);

    // The main window's title.
    static const QString MainTitle;
    // The start popup's title: its status line (it has no frame; task
    // switchers show it).
    static const QString PopupTitle;

private:
    QTemporaryDir folder_;
    QString program_;
    QProcess process_;
    qint64 pid_ = 0;
    QString output_;
};

} // namespace lotfinch::e2e
