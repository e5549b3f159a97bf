#include "http/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lotfinch::http {

std::string ByteStream::ReadAll()
{
    int64_t saved = Position();
    int64_t size = Size();
    std::string content(static_cast<size_t>(size), '\0');
    SetPosition(0);
    int64_t got = Read(content.data(), size);
    content.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    SetPosition(saved);
    return content;
}

MemoryStream::~MemoryStream()
{
    std::free(data_);
}

int64_t MemoryStream::Read(void *buffer, int64_t count)
{
    int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
    if (n > 0)
        std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

void MemoryStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return;
    int64_t end = position_ + count;
    if (end > capacity_)
        // Grows by half again, so that a stream written piecewise is copied rarely.
        Reserve(std::max(end, capacity_ + capacity_ / 2));
    std::memcpy(data_ + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    size_ = std::max(size_, end);
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin)
{
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : size_;
    position_ = std::clamp<int64_t>(base + offset, 0, size_);
    return position_;
}

void MemoryStream::Reserve(int64_t capacity)
{
    if (capacity <= capacity_)
        return;
    // realloc moves large blocks by remapping pages, so growing never holds two copies.
    void *grown = std::realloc(data_, static_cast<size_t>(capacity));
    if (!grown)
        throw StreamError("Out of memory while expanding memory stream");
    data_ = static_cast<char *>(grown);
    capacity_ = capacity;
}

FileStream::FileStream(const std::string &fileName) : fileName_(fileName)
{
    struct stat info
    {};
    bool readOnly = stat(fileName.c_str(), &info) == 0 && !(info.st_mode & S_IWUSR);
    if (readOnly)
        chmod(fileName.c_str(), info.st_mode | S_IWUSR);
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (readOnly)
        chmod(fileName.c_str(), info.st_mode);
    if (fd_ < 0)
        throw EFCreateError("Cannot create file " + fileName);
}

FileStream::~FileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t FileStream::Read(void *buffer, int64_t count)
{
    int64_t total = 0;
    while (total < count) {
        ssize_t n = ::read(fd_, static_cast<char *>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

void FileStream::Write(const void *buffer, int64_t count)
{
    int64_t total = 0;
    while (total < count) {
        ssize_t n = ::write(fd_, static_cast<const char *>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw StreamError("Cannot write to file " + fileName_ + ": " + std::strerror(errno));
        total += n;
    }
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin)
{
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    return ::lseek(fd_, offset, whence);
}

int64_t FileStream::Size()
{
    struct stat info
    {};
    return fstat(fd_, &info) == 0 ? info.st_size : 0;
}

} // namespace lotfinch::http
