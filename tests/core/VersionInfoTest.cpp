#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/VersionInfo.h"
#include "support/ElfFile.h"

using namespace lotfinch;
using namespace lotfinch::core;
using test::MakeElfFile;
using test::MakeVersionBlock;

namespace {

class VersionInfoTest : public testing::Test
{
protected:
    // A program file in the test's folder holding block as its version section.
    QString program(const QString &name, const std::string &block)
    {
        return file(name, MakeElfFile({{".text", "code"}, {".version_info", block}}));
    }
    QString file(const QString &name, const std::string &bytes)
    {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return out.fileName();
    }

    // The error code a call raises, or 0.
    static int codeOf(const std::function<void()> &call)
    {
        try {
            call();
        } catch (const VersionInfoError &error) {
            EXPECT_EQ(error.what(), StErrorMessage(error.ErrorCode()));
            return error.ErrorCode();
        }
        return 0;
    }

    QTemporaryDir dir;
    VersionInfo info;
};

} // namespace

TEST_F(VersionInfoTest, TheProgramsOwnFileGivesItsVersions)
{
    info.Loaded();
    EXPECT_EQ(info.FileName(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(info.FileVersion(), "2.0.1.28");
    EXPECT_EQ(info.ProductVersion(), "2.0.1");
    EXPECT_EQ(info.Value(VersionInfoKey::CompanyName), "Pellory");
    EXPECT_EQ(info.Value(VersionInfoKey::LegalCopyright), "Copyright \xA9 2012 Pellory. All rights reserved.")
        << "texts are stored in code page 1252";
}

TEST_F(VersionInfoTest, ErrorsCarryTheirCodesAndLeaveTheLoadedFlagAsTheFailingStepSays)
{
    using platform::VersionNode;
    std::string noTranslation = MakeVersionBlock({{"FileVersion", "9"}});
    const VersionNode translation{
        "VarFileInfo", false, {}, {{"Translation", false, platform::EncodeTranslations({{0x0409, 1252}}), {}}}};
    const VersionNode fileVersion{"FileVersion", true, "7.7", {}};
    const VersionNode strings{"StringFileInfo", false, {}, {{"040904e4", false, {}, {fileVersion}}}};
    const VersionNode brokenFixed{
        std::string(platform::VersionRootKey), false, "not a fixed part", {translation, strings}};
    VersionNode withoutTranslation{
        std::string(platform::VersionRootKey), false, platform::FixedVersionInfo().encode(), {}};

    const struct
    {
        const char *what;
        QString file;
        int code;
        bool loadedAfter;
    } cases[] = {
        {"an executable without a version section", "/bin/true", stscNoVerInfo, false},
        {"a text file", file("notes.txt", "just some notes\n"), stscNoVerInfo, false},
        {"a cut ELF file", file("cut", MakeElfFile({{".version_info", noTranslation}}).substr(0, 40)), stscVerInfoFail,
         false},
        {"no translation table", program("bare", platform::BuildVersionBlock(withoutTranslation)), stscVerInfoFail,
         false},
        {"a damaged fixed part", program("fixed", platform::BuildVersionBlock(brokenFixed)), stscVerInfoFail, true},
    };
    for (const auto &c : cases) {
        VersionInfo reader;
        reader.SetFileName(c.file);
        EXPECT_EQ(codeOf([&] { reader.FileVersion(); }), c.code) << c.what;
        EXPECT_EQ(reader.VerInfoLoaded(), c.loadedAfter) << c.what;
        // A load that got past the translation is not tried again; the others are.
        EXPECT_EQ(codeOf([&] { reader.ProductVersion(); }), c.loadedAfter ? 0 : c.code) << c.what;
        if (c.loadedAfter) {
            EXPECT_EQ(reader.FileVersion(), "") << c.what << ": nothing is taken from a block that failed";
        }
    }
}

TEST_F(VersionInfoTest, AMissingFileIsRefusedAndTheOldNameKept)
{
    const QString first = program("first", MakeVersionBlock({{"FileVersion", "1.0"}}));
    info.SetFileName(first);
    EXPECT_EQ(codeOf([&] { info.SetFileName(dir.filePath("nothing-here")); }), stscFileOpen);
    EXPECT_EQ(StErrorMessage(stscFileOpen), "Error opening file");
    EXPECT_EQ(info.FileName(), first);
    EXPECT_EQ(info.FileVersion(), "1.0");
}

TEST_F(VersionInfoTest, TheSameNameKeepsTheCacheAndAnotherLoadsAgain)
{
    const QString first = program("first", MakeVersionBlock({{"FileVersion", "1.0"}}));
    const QString second = program("second", MakeVersionBlock({{"FileVersion", "2.0"}}));
    info.SetFileName(first);
    EXPECT_EQ(info.FileVersion(), "1.0");
    program("first", MakeVersionBlock({{"FileVersion", "1.5"}}));
    info.SetFileName(first);
    EXPECT_TRUE(info.VerInfoLoaded());
    EXPECT_EQ(info.FileVersion(), "1.0") << "the same name keeps what was read";
    info.SetFileName(second);
    EXPECT_FALSE(info.VerInfoLoaded());
    EXPECT_EQ(info.FileVersion(), "2.0");
    info.SetFileName(first);
    EXPECT_EQ(info.FileVersion(), "1.5");
}

TEST_F(VersionInfoTest, MissingKeysAreEmptyButAskedForByNameTheyFail)
{
    info.SetFileName(program("partial", MakeVersionBlock({{"FileVersion", "3.1"}, {"Comments", ""}})));
    EXPECT_EQ(info.ProductVersion(), "");
    EXPECT_EQ(info.Value(VersionInfoKey::Comments), "");
    EXPECT_EQ(info.GetKeyValue("FileVersion"), "3.1");
    EXPECT_EQ(codeOf([&] { info.GetKeyValue("ProductVersion"); }), stscBadVerInfoKey);
    EXPECT_EQ(StErrorMessage(stscBadVerInfoKey), "The specified key cannnot be found in version info");
}

TEST_F(VersionInfoTest, AFailedLoadDoesNotPassOffAnotherFilesTexts)
{
    using platform::VersionNode;
    info.SetFileName(program("good", MakeVersionBlock({{"ProductVersion", "2.0.1"}})));
    EXPECT_EQ(info.ProductVersion(), "2.0.1");
    const VersionNode translation{
        "VarFileInfo", false, {}, {{"Translation", false, platform::EncodeTranslations({{0x0409, 1252}}), {}}}};
    const VersionNode broken{std::string(platform::VersionRootKey), false, "garbage", {translation}};
    info.SetFileName(program("broken", platform::BuildVersionBlock(broken)));
    EXPECT_EQ(codeOf([&] { info.ProductVersion(); }), stscVerInfoFail);
    EXPECT_EQ(info.ProductVersion(), "");
}
