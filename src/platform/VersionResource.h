#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/VersionBlock.h"

// The version block of a program file: an ELF section of its own, found by
// name in any file.
namespace lotfinch::platform {

// A section or a block larger than this is taken for damage.
inline constexpr uint64_t MaxVersionBlockSize = 1 << 20;

enum class SectionResult {
    Found,
    Missing, // the file has no such section, or is no ELF file at all
    Damaged, // the file says it is ELF, but its headers or the section do not fit in it
};

// Reads size bytes at offset into out; false when they are not all there.
using ReadBytes = std::function<bool(uint64_t offset, size_t size, char *out)>;

// Looks up the first section called name in an ELF file of fileSize bytes,
// 32 or 64 bits, either byte order, reading through read only inside the file.
// On Found, data holds the section's bytes (at most maxSize of them; a larger
// section is Damaged).
SectionResult FindElfSection(uint64_t fileSize, const ReadBytes &read, std::string_view name, std::string &data,
                             uint64_t maxSize = MaxVersionBlockSize);

struct VersionResource
{
    enum Status {
        Found,
        NoVersionInfo, // no version section: not a program with a version block
        Unreadable,    // cannot be opened or read, not a regular file, or damaged
    } status = Unreadable;
    std::string block;
};

// Reads the version block of the file at path. Never blocks on special files.
VersionResource ReadVersionResource(const QString &path);

} // namespace lotfinch::platform
