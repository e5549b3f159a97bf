#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/VersionBlock.h"
#include "platform/VersionResource.h"
#include "support/ElfFile.h"

using namespace lotfinch;
using namespace lotfinch::platform;
using test::MakeElfFile;
using test::MakeVersionBlock;

namespace {

// Looks a section up in bytes held in memory, failing the test on any read
// outside them.
SectionResult find(const std::string &file, std::string_view name, std::string &data)
{
    const ReadBytes read = [&](uint64_t offset, size_t size, char *out) {
        EXPECT_LE(offset + size, file.size()) << "read past the end of the file";
        if (offset > file.size() || size > file.size() - offset)
            return false;
        file.copy(out, size, offset);
        return true;
    };
    return FindElfSection(file.size(), read, name, data);
}

} // namespace

TEST(VersionResource, FindsTheSectionByNameInEveryElfClassAndByteOrder)
{
    const std::string block = MakeVersionBlock({{"ProductVersion", "2.0.1"}});
    for (bool is64 : {false, true})
        for (bool bigEndian : {false, true}) {
            const std::string file =
                MakeElfFile({{".text", "code"}, {".version_info", block}, {".data", "x"}}, {is64, bigEndian});
            std::string data;
            ASSERT_EQ(find(file, ".version_info", data), SectionResult::Found) << is64 << bigEndian;
            EXPECT_EQ(data, block);
            EXPECT_EQ(find(file, ".version", data), SectionResult::Missing) << "names compare whole";
        }
}

TEST(VersionResource, DamagedOrForeignFilesAreToldApartAndNeverReadPastTheirEnd)
{
    const std::string good = MakeElfFile({{".version_info", MakeVersionBlock({})}});
    auto with = [&](size_t at, std::string bytes) {
        std::string file = good;
        return file.replace(at, bytes.size(), bytes);
    };
    const struct
    {
        const char *what;
        std::string file;
        SectionResult expected;
    } cases[] = {
        {"empty file", "", SectionResult::Missing},
        {"a text file", "#!/bin/sh\necho hello\n", SectionResult::Missing},
        {"no section table", with(0x28, std::string(8, '\0')), SectionResult::Missing},
        {"unknown class", with(4, "\x07"), SectionResult::Damaged},
        {"cut inside the header", good.substr(0, 30), SectionResult::Damaged},
        {"cut inside the section table", good.substr(0, good.size() - 10), SectionResult::Damaged},
        {"table far beyond the end", with(0x28, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 8)),
         SectionResult::Damaged},
        {"names index out of range", with(0x3E, std::string("\x40\x00", 2)), SectionResult::Damaged},
        {"header entries too small", with(0x3A, std::string("\x10\x00", 2)), SectionResult::Damaged},
    };
    for (const auto &c : cases) {
        std::string data;
        EXPECT_EQ(find(c.file, ".version_info", data), c.expected) << c.what;
    }
}

TEST(VersionResource, ASectionWhoseDataLiesOutsideTheFileIsDamaged)
{
    std::string file = MakeElfFile({{".version_info", "abcd"}});
    // The first real section's size field, in the section header table.
    const size_t tableAt = file.size() - 3 * 64;
    file.replace(tableAt + 64 + 0x20, 8, std::string("\x00\x10\x00\x00\x00\x00\x00\x00", 8));
    std::string data;
    EXPECT_EQ(find(file, ".version_info", data), SectionResult::Damaged);
}

TEST(VersionResource, ReadsTheProgramsOwnFileAndRefusesSpecialFiles)
{
    VersionResource own = ReadVersionResource(QCoreApplication::applicationFilePath());
    ASSERT_EQ(own.status, VersionResource::Found);
    EXPECT_EQ(VersionText(QueryVersionValue(own.block, "StringFileInfo\\040904e4\\FileVersion").value_or("")),
              "2.0.1.28");
    EXPECT_EQ(VersionText(QueryVersionValue(own.block, "\\StringFileInfo\\040904e4\\CompanyName").value_or("")),
              "Pellory");

    EXPECT_EQ(ReadVersionResource("/bin/true").status, VersionResource::NoVersionInfo);
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A named pipe with no writer would hold a plain open up for ever.
    EXPECT_EQ(ReadVersionResource(fifo).status, VersionResource::Unreadable);
    EXPECT_EQ(ReadVersionResource(dir.path()).status, VersionResource::Unreadable);
    EXPECT_EQ(ReadVersionResource(dir.filePath("missing")).status, VersionResource::Unreadable);
}

TEST(VersionBlock, QueriesFollowThePathAndStopAtDamage)
{
    const std::string block = MakeVersionBlock({{"ProductVersion", "2.0.1"}, {"Comments", ""}});
    EXPECT_TRUE(FixedVersionInfo::decode(QueryVersionValue(block, "\\").value_or("")));
    EXPECT_EQ(FixedVersionInfo::decode(*QueryVersionValue(block, "\\"))->fileVersion,
              (std::array<uint16_t, 4>{2, 0, 1, 28}));
    EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\040904e4\\ProductVersion"), std::string_view("2.0.1\0", 6));
    EXPECT_EQ(VersionText(*QueryVersionValue(block, "StringFileInfo\\040904e4\\Comments")), "");
    EXPECT_FALSE(QueryVersionValue(block, "StringFileInfo\\040904E4\\ProductVersion")) << "keys compare exactly";
    EXPECT_FALSE(QueryVersionValue(block, "StringFileInfo\\040904e4\\ProductVersion\\More"));
    ASSERT_EQ(DecodeTranslations(*QueryVersionValue(block, "VarFileInfo\\Translation")).size(), 1u);

    // Every cut and every changed length byte is refused or read inside the block.
    for (size_t cut = 0; cut < block.size(); ++cut)
        EXPECT_FALSE(QueryVersionValue(block.substr(0, cut), "StringFileInfo\\040904e4\\ProductVersion")) << cut;
    for (size_t at = 0; at < block.size(); ++at) {
        std::string damaged = block;
        damaged[at] = '\xFF';
        if (auto value = QueryVersionValue(damaged, "StringFileInfo\\040904e4\\ProductVersion")) {
            EXPECT_GE(value->data(), damaged.data());
            EXPECT_LE(value->data() + value->size(), damaged.data() + damaged.size());
        }
    }
}

TEST(VersionBlock, VersionNumbersParseOnlyWhenWellFormed)
{
    EXPECT_EQ(ParseVersionNumber("2.0.1.28"), (std::array<uint16_t, 4>{2, 0, 1, 28}));
    EXPECT_EQ(ParseVersionNumber("2.0.1"), (std::array<uint16_t, 4>{2, 0, 1, 0}));
    for (const char *bad : {"", "2..1", "2.0.1.", "1.2.3.4.5", "65536", "v2", "2.0 "})
        EXPECT_FALSE(ParseVersionNumber(bad)) << bad;
}
