#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Byte streams that carry a response body: in memory or in a file.
namespace lotfinch::http {

enum class SeekOrigin { Begin, Current, End };

class ByteStream
{
public:
    virtual ~ByteStream() = default;
    // Up to count bytes from the position; returns how many were read.
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    // Writes count bytes at the position; throws when they cannot all be written.
    virtual void Write(const void *buffer, int64_t count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Size() = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
    // The whole content, whatever the position; the position is left unchanged.
    std::string ReadAll();
};

class StreamError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A growable block of memory. Capacity is reserved separately from the size,
// so reserving never adds bytes that were not written.
class MemoryStream : public ByteStream
{
public:
    MemoryStream() = default;
    ~MemoryStream() override;
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return size_; }

    // Makes room for at least capacity bytes; throws StreamError when memory runs out.
    void Reserve(int64_t capacity);
    int64_t Capacity() const { return capacity_; }

private:
    char *data_ = nullptr;
    int64_t size_ = 0, capacity_ = 0, position_ = 0;
};

// A stream on a file, created anew (emptied if it exists) for reading and writing.
class FileStream : public ByteStream
{
public:
    // A read-only file is made writable for the open and read-only again after it.
    // Throws EFCreateError "Cannot create file <name>" when that fails.
    explicit FileStream(const std::string &fileName);
    ~FileStream() override;
    FileStream(const FileStream &) = delete;
    FileStream &operator=(const FileStream &) = delete;

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override;

private:
    int fd_ = -1;
    std::string fileName_;
};

class EFCreateError : public StreamError
{
public:
    using StreamError::StreamError;
};

} // namespace lotfinch::http
