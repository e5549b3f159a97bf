#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace lotfinch::desktop {

// Raised in the first copy for each new copy that handed its command line over:
// the new copy's key and its whole command line (program path included).
using NewInstanceLoadEvent = std::function<void(uint32_t NewAppHandle, const QString &NewCommandLineW)>;

// Makes the program a single-instance application for its user. The first
// copy publishes itself under a name made from the program file's size; a
// copy started while it runs does not come up: as the first copy's
// MaxNewInstances allows, it hands its command line over (the first copy
// raises OnNewInstanceLoad) or quits silently, and ends with exit code 0.
class SingleInstance : public QObject
{
public:
    // owner must be a window, and a program holds one guard at most. Ends the
    // process when another copy runs (if StartUp has not done so already).
    explicit SingleInstance(QObject *owner);
    ~SingleInstance() override;

    // A few lines about the component; not used by the program.
    QString About() const;

    // Copies that may hand over at the same time; negative: any number; 0: none.
    // At run time this is the first copy's shared record.
    int8_t MaxNewInstances() const;
    void setMaxNewInstances(int8_t value);

    // How long a new copy waits for the first copy to take its command line.
    uint32_t MsgTransportTimeout() const { return msgTransportTimeout_; }
    void setMsgTransportTimeout(uint32_t ms) { msgTransportTimeout_ = ms; }

    NewInstanceLoadEvent OnNewInstanceLoad;

    // The check the program runs before it creates any window. True when this
    // is the first copy (it then holds the claim until the guard on its main
    // window ends); false when another copy runs and has been handed
    // arguments, joined into one command line, or not, as its limit says:
    // the caller then ends with exit code 0.
    static bool StartUp(const QStringList &arguments, uint32_t msgTransportTimeout = 3000);

private:
    class Session;
    void receive(uint32_t key, const QByteArray &block);

    Session *session_ = nullptr;
    int8_t maxNewInstances_ = 0;
    uint32_t msgTransportTimeout_ = 3000;
};

// The instance name: the class name and the low 32 bits of the program file's
// size (0 when the file cannot be looked up).
QString InstanceName(const QString &programFile);

// A command line split by the Windows rules: the program path runs to the
// closing quote or the first blank; then blanks separate arguments, quotes
// group them, 2n backslashes before a quote give n and the quote groups,
// 2n+1 give n and a literal quote, and "" inside quotes is a literal quote.
int CommandLineArgCount(const QString &commandLine);
// Argument index (0: the program path); empty when index is out of range.
QString CommandLineArg(const QString &commandLine, int index);
// The arguments joined so that CommandLineArg gives each back unchanged.
QString JoinCommandLine(const QStringList &arguments);

// The hand-over data block: a 32-bit length L, then L bytes, the command line
// in UTF-8 and a zero byte.
QByteArray PackCommandLine(const QString &commandLine);
// Throws std::runtime_error when the block is damaged.
QString UnpackCommandLine(const QByteArray &block);

} // namespace lotfinch::desktop
