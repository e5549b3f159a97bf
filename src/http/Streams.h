#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Byte streams that carry a response body: in memory or in a file.
namespace lotfinch::http {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream
{
public:
    virtual ~TStream() = default;
    // Up to count bytes from the position; returns how many were read.
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    // Writes count bytes at the position; throws when they cannot all be written.
    virtual void Write(const void *buffer, int64_t count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    // The whole content, whatever the position; the position is left unchanged.
    std::string ReadAll();
};

class EStreamError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A growable block of memory. Capacity is reserved separately from the size,
// so reserving never adds bytes that were not written.
class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream &) = delete;
    TMemoryStream &operator=(const TMemoryStream &) = delete;

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }

    // Makes room for at least capacity bytes; throws EStreamError when memory runs out.
    void Reserve(int64_t capacity);
    int64_t Capacity() const { return capacity_; }

private:
    char *data_ = nullptr;
    int64_t size_ = 0, capacity_ = 0, position_ = 0;
};

// A stream on a file, created anew (emptied if it exists) for reading and writing.
class TauFileStream : public TStream
{
public:
    // A read-only file is made writable for the open and read-only again after it.
    // Throws EFCreateError "Cannot create file <name>" when that fails.
    explicit TauFileStream(const std::string &fileName);
    ~TauFileStream() override;
    TauFileStream(const TauFileStream &) = delete;
    TauFileStream &operator=(const TauFileStream &) = delete;

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;

private:
    int fd_ = -1;
    std::string fileName_;
};

class EFCreateError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

} // namespace lotfinch::http
