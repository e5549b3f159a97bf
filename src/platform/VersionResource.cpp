#include "platform/VersionResource.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lotfinch::platform {

namespace {

// The numbers of an ELF file, in its own byte order.
class ElfNumbers
{
public:
    explicit ElfNumbers(bool bigEndian) : bigEndian_(bigEndian) {}

    uint64_t get(std::string_view bytes, size_t at, size_t width) const
    {
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            size_t index = bigEndian_ ? at + i : at + width - 1 - i;
            value = (value << 8) | static_cast<unsigned char>(bytes[index]);
        }
        return value;
    }

private:
    bool bigEndian_;
};

// Where the fields lie in the file and section headers of each class.
struct ElfLayout
{
    size_t fileHeader, shoff, shoffWidth, shentsize, shnum, shstrndx;
    size_t sectionHeader, name, offset, size, link, wordWidth;
};
constexpr ElfLayout Elf32{0x34, 0x20, 4, 0x2E, 0x30, 0x32, 40, 0x00, 0x10, 0x14, 0x18, 4};
constexpr ElfLayout Elf64{0x40, 0x28, 8, 0x3A, 0x3C, 0x3E, 64, 0x00, 0x18, 0x20, 0x28, 8};

constexpr uint32_t SectionNoBits = 8;
constexpr uint64_t ExtendedIndex = 0xFFFF;
// The section header table is read whole; no real file has one this large.
constexpr uint64_t MaxHeaderTable = 16 << 20;

bool fits(uint64_t offset, uint64_t size, uint64_t fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

bool readSpan(const ReadBytes &read, uint64_t fileSize, uint64_t offset, uint64_t size, std::string &out)
{
    if (!fits(offset, size, fileSize))
        return false;
    out.assign(size, '\0');
    return size == 0 || read(offset, size, out.data());
}

} // namespace

SectionResult FindElfSection(uint64_t fileSize, const ReadBytes &read, std::string_view name, std::string &data,
                             uint64_t maxSize)
{
    std::string ident;
    if (!readSpan(read, fileSize, 0, 16, ident) || ident.compare(0, 4,
                                                                 "\x7F"
                                                                 "ELF") != 0)
        return SectionResult::Missing;
    const char elfClass = ident[4], byteOrder = ident[5];
    if ((elfClass != 1 && elfClass != 2) || (byteOrder != 1 && byteOrder != 2))
        return SectionResult::Damaged;
    const ElfLayout &layout = elfClass == 1 ? Elf32 : Elf64;
    const ElfNumbers number(byteOrder == 2);

    std::string header;
    if (!readSpan(read, fileSize, 0, layout.fileHeader, header))
        return SectionResult::Damaged;
    const uint64_t shoff = number.get(header, layout.shoff, layout.shoffWidth);
    const uint64_t entrySize = number.get(header, layout.shentsize, 2);
    uint64_t count = number.get(header, layout.shnum, 2);
    uint64_t namesIndex = number.get(header, layout.shstrndx, 2);
    if (shoff == 0)
        return SectionResult::Missing;
    if (entrySize < layout.sectionHeader)
        return SectionResult::Damaged;

    // Section 0 holds the real count and names index when they do not fit
    // in the file header.
    std::string first;
    if (!readSpan(read, fileSize, shoff, layout.sectionHeader, first))
        return SectionResult::Damaged;
    if (count == 0)
        count = number.get(first, layout.size, layout.wordWidth);
    if (namesIndex == ExtendedIndex)
        namesIndex = number.get(first, layout.link, 4);
    if (count == 0)
        return SectionResult::Missing;
    if (namesIndex >= count || count > MaxHeaderTable / entrySize)
        return SectionResult::Damaged;

    std::string table;
    if (!readSpan(read, fileSize, shoff, count * entrySize, table))
        return SectionResult::Damaged;
    auto field = [&](uint64_t index, size_t at, size_t width) {
        return number.get(table, index * entrySize + at, width);
    };

    const uint64_t namesOffset = field(namesIndex, layout.offset, layout.wordWidth);
    const uint64_t namesSize = field(namesIndex, layout.size, layout.wordWidth);
    if (namesSize > MaxHeaderTable)
        return SectionResult::Damaged;
    std::string names;
    if (!readSpan(read, fileSize, namesOffset, namesSize, names))
        return SectionResult::Damaged;

    for (uint64_t index = 0; index < count; ++index) {
        const uint64_t nameAt = field(index, layout.name, 4);
        if (nameAt >= names.size())
            continue;
        std::string_view sectionName(names.data() + nameAt, names.size() - nameAt);
        sectionName = sectionName.substr(0, sectionName.find('\0'));
        if (sectionName != name)
            continue;
        const uint64_t offset = field(index, layout.offset, layout.wordWidth);
        const uint64_t size = field(index, layout.size, layout.wordWidth);
        if (field(index, 4, 4) == SectionNoBits || size == 0 || size > maxSize)
            return SectionResult::Damaged;
        return readSpan(read, fileSize, offset, size, data) ? SectionResult::Found : SectionResult::Damaged;
    }
    return SectionResult::Missing;
}

VersionResource ReadVersionResource(const QString &path)
{
    VersionResource resource;
    // Non-blocking, so that a named pipe or a device cannot hold the open up.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return resource;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const ReadBytes read = [fd](uint64_t offset, size_t size, char *out) {
            while (size > 0) {
                ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                out += got;
                size -= static_cast<size_t>(got);
                offset += static_cast<uint64_t>(got);
            }
            return true;
        };
        switch (FindElfSection(static_cast<uint64_t>(info.st_size), read, VersionSectionName, resource.block)) {
        case SectionResult::Found: resource.status = VersionResource::Found; break;
        case SectionResult::Missing: resource.status = VersionResource::NoVersionInfo; break;
        case SectionResult::Damaged: resource.status = VersionResource::Unreadable; break;
        }
    }
    ::close(fd);
    return resource;
}

} // namespace lotfinch::platform
