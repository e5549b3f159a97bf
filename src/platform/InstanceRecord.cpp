#include "platform/InstanceRecord.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lotfinch::platform {

namespace {

// Byte ranges of the record file. The limit is the file's one byte of data;
// the others are only ever locked, never written.
constexpr int LimitByte = 0;
constexpr int ClaimByte = 0;
constexpr int StartUpByte = 1;
constexpr int FirstPlaceByte = 2;
constexpr int PlaceCount = 255;

// A folder itself (not a link to one) that belongs to this user and that nobody else can write.
bool privateFolder(const QByteArray &path)
{
    struct stat info;
    return !path.isEmpty() && ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder at path, made for this user alone if it is missing, when it is private.
bool ownPrivateFolder(const QByteArray &path)
{
    ::mkdir(path.constData(), 0700);
    return privateFolder(path);
}

// A lock of type on the one byte at offset.
struct flock byteRange(int offset, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    return lock;
}

} // namespace

QString UserRuntimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (privateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray name = "/lotfinch-" + QByteArray::number(::getuid());
    const QByteArray shared = QFile::encodeName(QDir::tempPath()) + name;
    if (ownPrivateFolder(shared))
        return QFile::decodeName(shared);
    // Anyone may have made the name in the temporary folder first; the cache
    // folder in the user's home is theirs alone, and every copy of the
    // program comes to the same conclusion, so they still meet there.
    const QByteArray cache = QFile::encodeName(QDir::homePath()) + "/.cache";
    ::mkdir(cache.constData(), 0700);
    return ownPrivateFolder(cache + name) ? QFile::decodeName(cache + name) : QString();
}

InstanceRecord::InstanceRecord(const QString &path)
{
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

InstanceRecord::~InstanceRecord()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceRecord::lockByte(int offset, short type, bool wait) const
{
    struct flock lock = byteRange(offset, type);
    int result;
    do
        result = ::fcntl(fd_, wait ? F_SETLKW : F_SETLK, &lock);
    while (result == -1 && errno == EINTR);
    return result == 0;
}

bool InstanceRecord::byteLockedByOther(int offset) const
{
    struct flock lock = byteRange(offset, F_WRLCK);
    return ::fcntl(fd_, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

void InstanceRecord::lockStartUp()
{
    if (fd_ >= 0)
        lockByte(StartUpByte, F_WRLCK, true);
}

void InstanceRecord::unlockStartUp()
{
    if (fd_ >= 0)
        lockByte(StartUpByte, F_UNLCK, false);
}

bool InstanceRecord::tryClaim()
{
    return fd_ >= 0 && lockByte(ClaimByte, F_WRLCK, false);
}

int8_t InstanceRecord::maxNewInstances() const
{
    char value = 0;
    if (fd_ < 0 || ::pread(fd_, &value, 1, LimitByte) != 1)
        return 0;
    return static_cast<int8_t>(value);
}

void InstanceRecord::setMaxNewInstances(int8_t value)
{
    const char byte = static_cast<char>(value);
    if (fd_ < 0)
        return;
    // A write that fails leaves the limit before; there is no one to tell.
    ssize_t written = ::pwrite(fd_, &byte, 1, LimitByte);
    (void)written;
}

bool InstanceRecord::tryEnterLoading(int limit)
{
    if (fd_ < 0 || place_ >= 0)
        return place_ >= 0;
    const int places = limit < 0 ? PlaceCount : std::min(limit, PlaceCount);
    for (int place = 0; place < places; ++place)
        if (lockByte(FirstPlaceByte + place, F_WRLCK, false)) {
            place_ = place;
            return true;
        }
    return false;
}

void InstanceRecord::leaveLoading()
{
    if (place_ < 0)
        return;
    lockByte(FirstPlaceByte + place_, F_UNLCK, false);
    place_ = -1;
}

int InstanceRecord::loadingCount() const
{
    if (fd_ < 0)
        return 0;
    // A process does not see its own locks through F_GETLK.
    int count = place_ >= 0 ? 1 : 0;
    for (int place = 0; place < PlaceCount; ++place)
        if (place != place_ && byteLockedByOther(FirstPlaceByte + place))
            ++count;
    return count;
}

} // namespace lotfinch::platform
