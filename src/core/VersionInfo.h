#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <stdexcept>
#include <string>

namespace lotfinch::core {

// Error codes of the version reader's family of components.
constexpr int stscFileOpen = 73;
constexpr int stscNoVerInfo = 100;
constexpr int stscVerInfoFail = 101;
constexpr int stscBadVerInfoKey = 134;

// The message that belongs to an error code.
std::string StErrorMessage(int code);

// The base error class of the family: a code and its message.
class VersionInfoException : public std::runtime_error
{
public:
    explicit VersionInfoException(int code) : std::runtime_error(StErrorMessage(code)), code_(code) {}
    int ErrorCode() const { return code_; }

private:
    int code_;
};

class VersionInfoError : public VersionInfoException
{
public:
    using VersionInfoException::VersionInfoException;
};

class InfoComponent : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
};

// The keys of a version block's string table that the reader caches.
enum class VersionInfoKey {
    Comments,
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyright,
    LegalTrademarks,
    OriginalFilename,
    ProductName,
    ProductVersion,
};
constexpr int VerInfoKeyCount = 10;
const char *VerInfoKeyName(VersionInfoKey key);

// Reads the version block of a program file once and keeps its texts.
// Failures raise VersionInfoError.
class CustomVersionInfo : public InfoComponent
{
    Q_OBJECT
public:
    explicit CustomVersionInfo(QObject *owner = nullptr);

    // The file whose version block is read; empty means the running program's
    // own file. Throws (73) for a name of no existing file, keeping the old one.
    const QString &FileName() const { return fileName_; }
    void SetFileName(const QString &name);
    // Called once the component's settings are in place.
    void Loaded();

    bool VerInfoLoaded() const { return loaded_; }
    // The cached text of a key, loading first if needed; empty when absent.
    std::string Value(VersionInfoKey key);
    std::string FileVersion() { return Value(VersionInfoKey::FileVersion); }
    std::string ProductVersion() { return Value(VersionInfoKey::ProductVersion); }
    // Any key of the string table, loading first if needed; throws (134)
    // when the block has no such key.
    std::string GetKeyValue(const std::string &key);

    // Reads the version block of FileName and caches its texts.
    void LoadVersionInfo();

private:
    QString fileName_;
    bool loaded_ = false;
    std::string block_;
    std::string prefix_; // "StringFileInfo\llllcccc\" of the first translation
    std::array<std::string, VerInfoKeyCount> values_;
};

class VersionInfo : public CustomVersionInfo
{
    Q_OBJECT
public:
    using CustomVersionInfo::CustomVersionInfo;
};

} // namespace lotfinch::core
