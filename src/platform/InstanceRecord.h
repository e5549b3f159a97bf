#pragma once

#include <QString>
#include <cstdint>

namespace lotfinch::platform {

// The folder for this user's runtime objects (locks, local sockets):
// XDG_RUNTIME_DIR, or else a folder in the temporary folder named with the
// user id, or else one of that name in ~/.cache; the latter two are made
// (mode 0700) when missing. The one taken must belong to the user and be
// writable by nobody else (and not be a link), so that another user can
// neither block nor reach what lies in it. Empty when there is no such folder.
QString UserRuntimeFolder();

// The shared record of a program's running copies: which copy runs first, its
// limit on copies handing over at the same time, and the hand-overs in
// progress. A file whose byte ranges are locked (POSIX record locks): the
// kernel drops every lock of a process when it ends, however it ends, so a
// copy that crashed or was killed never leaves a claim or a place behind.
// Such locks belong to the process and go when it closes any descriptor of the
// file: a process keeps one record per file open at a time.
class InstanceRecord
{
public:
    // Opens the record file at path, creating it readable and writable by its user only.
    explicit InstanceRecord(const QString &path);
    ~InstanceRecord();
    InstanceRecord(const InstanceRecord &) = delete;
    InstanceRecord &operator=(const InstanceRecord &) = delete;

    bool isOpen() const { return fd_ >= 0; }

    // Held while a copy finds out whether it runs first and, if so, publishes
    // itself; a later copy waits for that before it looks at the record.
    void lockStartUp();
    void unlockStartUp();

    // The first copy's claim, held until the record is closed; false when another process holds it.
    bool tryClaim();

    // The first copy's limit on copies handing over at the same time (negative: none).
    int8_t maxNewInstances() const;
    void setMaxNewInstances(int8_t value);

    // Takes one of the first limit places for a hand-over (any free place when
    // limit is negative); false when they are all taken, and always for limit 0.
    bool tryEnterLoading(int limit);
    void leaveLoading();
    // Places held by copies that are handing over now.
    int loadingCount() const;

private:
    bool lockByte(int offset, short type, bool wait) const;
    bool byteLockedByOther(int offset) const;

    int fd_ = -1;
    int place_ = -1;
};

} // namespace lotfinch::platform
