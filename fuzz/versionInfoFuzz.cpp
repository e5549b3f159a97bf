// Any bytes as a program file: looking up the version section must end
// without fault and never ask for bytes outside the file; any bytes as a
// version block (the input itself, and a section found in it): every query
// must end without fault and answer with bytes inside the block.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/VersionBlock.h"
#include "platform/VersionResource.h"

using namespace lotfinch::platform;

namespace {

void queryAll(std::string_view block)
{
    for (const char *path : {"\\", "\\VarFileInfo\\Translation", "StringFileInfo\\040904e4\\ProductVersion",
                             "\\StringFileInfo\\040904e4\\FileVersion", "StringFileInfo", "\\\\x\\\\"}) {
        std::optional<std::string_view> value = QueryVersionValue(block, path);
        if (!value)
            continue;
        if (value->data() < block.data() || value->data() + value->size() > block.data() + block.size())
            std::abort();
        VersionText(*value);
        FixedVersionInfo::decode(*value);
        DecodeTranslations(*value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    const ReadBytes read = [&](uint64_t offset, size_t count, char *out) {
        if (offset > file.size() || count > file.size() - offset)
            std::abort(); // asked for bytes past the end of the file
        std::memcpy(out, file.data() + offset, count);
        return true;
    };
    std::string section;
    if (FindElfSection(file.size(), read, VersionSectionName, section) == SectionResult::Found) {
        if (section.empty() || section.size() > MaxVersionBlockSize)
            std::abort();
        queryAll(section);
    }
    queryAll(file);
    return 0;
}
