#include "core/VersionInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "platform/VersionBlock.h"
#include "platform/VersionResource.h"

namespace lotfinch::core {

namespace {

constexpr std::array<const char *, VerInfoKeyCount> KeyNames = {
    "Comments",       "CompanyName",     "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion",
};

} // namespace

std::string StErrorMessage(int code)
{
    switch (code) {
    case stscFileOpen: return "Error opening file";
    case stscNoVerInfo: return "File does not contain version info";
    case stscVerInfoFail: return "Unable to read version info";
    case stscBadVerInfoKey: return "The specified key cannnot be found in version info";
    }
    return "Error " + std::to_string(code);
}

const char *VerInfoKeyName(VersionInfoKey key)
{
    return KeyNames[static_cast<size_t>(key)];
}

CustomVersionInfo::CustomVersionInfo(QObject *owner) : InfoComponent(owner)
{}

void CustomVersionInfo::SetFileName(const QString &name)
{
    if (!name.isEmpty() && !QFileInfo::exists(name))
        throw VersionInfoError(stscFileOpen);
    if (name != fileName_)
        loaded_ = false;
    fileName_ = name;
    // The whole path, however long: a cut one would name another file.
    if (fileName_.isEmpty() && QCoreApplication::instance())
        fileName_ = QCoreApplication::applicationFilePath();
}

void CustomVersionInfo::Loaded()
{
    if (fileName_.isEmpty())
        SetFileName(QString());
}

std::string CustomVersionInfo::Value(VersionInfoKey key)
{
    if (!loaded_)
        LoadVersionInfo();
    return values_[static_cast<size_t>(key)];
}

std::string CustomVersionInfo::GetKeyValue(const std::string &key)
{
    if (!loaded_)
        LoadVersionInfo();
    std::optional<std::string_view> value = platform::QueryVersionValue(block_, prefix_ + key);
    if (!value)
        throw VersionInfoError(stscBadVerInfoKey);
    return platform::VersionText(*value);
}

void CustomVersionInfo::LoadVersionInfo()
{
    // Texts of a file read before are not this file's: a failed load leaves
    // them empty.
    values_ = {};
    prefix_.clear();
    platform::VersionResource resource = platform::ReadVersionResource(fileName_);
    block_ = std::move(resource.block);
    if (resource.status == platform::VersionResource::NoVersionInfo)
        throw VersionInfoError(stscNoVerInfo);
    if (resource.status != platform::VersionResource::Found)
        throw VersionInfoError(stscVerInfoFail);

    std::optional<std::string_view> table = platform::QueryVersionValue(block_, "\\VarFileInfo\\Translation");
    std::vector<platform::VersionTranslation> translations;
    if (table)
        translations = platform::DecodeTranslations(*table);
    if (translations.empty())
        throw VersionInfoError(stscVerInfoFail);
    loaded_ = true;

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "StringFileInfo\\%.4x%.4x\\", translations.front().language,
                  translations.front().codePage);
    prefix_ = prefix;

    std::optional<std::string_view> fixed = platform::QueryVersionValue(block_, "\\");
    if (!fixed || !platform::FixedVersionInfo::decode(*fixed))
        throw VersionInfoError(stscVerInfoFail);

    for (size_t i = 0; i < KeyNames.size(); ++i)
        if (std::optional<std::string_view> value = platform::QueryVersionValue(block_, prefix_ + KeyNames[i]))
            values_[i] = platform::VersionText(*value);
}

} // namespace lotfinch::core
