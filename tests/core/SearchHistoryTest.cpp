#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/SearchHistory.h"
#include "core/TextUtils.h"

using namespace lotfinch;
using core::SearchHistory;

namespace {

std::string lines(std::initializer_list<std::string> phrases)
{
    std::string text;
    for (const auto &phrase : phrases)
        text += phrase + "\r\n";
    return text;
}

std::string numbered(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "phrase " + std::to_string(i) + "\r\n";
    return text;
}

// The history file in a program folder of its own.
class SearchHistoryTest : public testing::Test
{
protected:
    QString file() const { return folder.filePath("searches.txt"); }
    // The file with these bytes, or no file at all for "<none>".
    void store(const std::string &bytes)
    {
        QFile out(file());
        if (bytes == "<none>") {
            out.remove();
            return;
        }
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string stored() const
    {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "<no file>";
    }

    QTemporaryDir folder;
};

TEST_F(SearchHistoryTest, TheDropDownShowsThePhrasesOfTheFirstTenLines)
{
    const std::string longLine(5000, 'x');
    struct Case
    {
        const char *what;
        std::string file;
        text::StringList shown;
    } cases[] = {
        {"no file", "<none>", {}},
        {"fifteen phrases",
         numbered(1, 15),
         {"phrase 1", "phrase 2", "phrase 3", "phrase 4", "phrase 5", "phrase 6", "phrase 7", "phrase 8", "phrase 9",
          "phrase 10"}},
        {"three blanks among the first ten count",
         lines({"a", "", "b", " \t", "c", "d", "", "e", "f", "g", "h", "i"}),
         {"a", "b", "c", "d", "e", "f", "g"}},
        {"stored untrimmed, duplicates kept",
         lines({" camera ", "camera", "camera"}),
         {" camera ", "camera", "camera"}},
        {"CR, LF and CR LF end lines; no end after the last", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"the text ends at a NUL", std::string("a\r\nb\0c\r\nd\r\n", 10), {"a", "b"}},
        {"bytes the code page leaves undefined stay", "\x81\x8d\xff\xe9t\xe9\r\n", {"\x81\x8d\xff\xe9t\xe9"}},
        {"a long line is cut at 4 KiB", longLine + "\r\nnext\r\n", {std::string(4096, 'x'), "next"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        store(c.file);
        SearchHistory history(file());
        history.DropDown();
        EXPECT_EQ(history.Phrases(), c.shown);
    }
}

TEST_F(SearchHistoryTest, EnteringAPhraseRewritesTheFileOnlyWhenThePhraseIsNew)
{
    struct Case
    {
        const char *what;
        std::string file;
        bool dropDownFirst;
        std::string phrase;
        std::string after; // the file afterwards
        int writes;
    } cases[] = {
        {"new phrase first, the lines after the tenth kept", numbered(1, 15), true, "new", "new\r\n" + numbered(1, 15),
         1},
        {"letter case aside, a phrase in the list is not added", lines({"Camera", "lens"}), true, "camera",
         lines({"Camera", "lens"}), 0},
        {"blanks only", lines({"a"}), true, " \t ", lines({"a"}), 0},
        {"a trailing blank makes another phrase", lines({"camera"}), true, "camera ", lines({"camera ", "camera"}), 1},
        {"bytes as typed", "", true,
         "Gr\xfc\xdf"
         "e \x80",
         lines({"Gr\xfc\xdf"
                "e \x80"}),
         1},
        {"entered before the drop-down: the stored phrases stay", lines({"a", "", "b"}), false, "new",
         lines({"new", "a", "b"}), 1},
        {"entered before the drop-down, already stored", lines({"a", "B"}), false, "b", lines({"a", "B"}), 0},
        {"no file: the first phrase makes it", "<none>", true, "first", lines({"first"}), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        store(c.file);
        SearchHistory history(file());
        int writes = 0;
        history.Write = [&, write = history.Write](QSaveFile &out, const QByteArray &bytes) {
            ++writes;
            return write(out, bytes);
        };
        if (c.dropDownFirst)
            history.DropDown();
        history.Enter(c.phrase);
        EXPECT_EQ(stored(), c.after);
        EXPECT_EQ(writes, c.writes);
    }
}

TEST_F(SearchHistoryTest, TheSecondDropDownDoesNotReadTheFileAgain)
{
    store(lines({"a"}));
    SearchHistory history(file());
    history.DropDown();
    store(lines({"b", "c"}));
    history.DropDown();
    EXPECT_EQ(history.Phrases(), text::StringList{"a"});
}

TEST_F(SearchHistoryTest, AFailedSaveLeavesTheOldFileAndKeepsThePhraseInTheList)
{
    struct Case
    {
        const char *what;
        bool directoryInPlace;
        const char *reason;
    } cases[] = {
        {"the disk fills up half way", false, "No space left on device"},
        {"a folder where the file should be", true, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(file());
        QDir(file()).removeRecursively();
        const std::string before = lines({"old 1", "old 2"});
        if (c.directoryInPlace)
            ASSERT_TRUE(QDir().mkpath(file()));
        else
            store(before);
        SearchHistory history(file());
        history.Write = [&](QSaveFile &out, const QByteArray &bytes) {
            out.write(bytes.left(bytes.size() / 2));
            return QString(c.reason);
        };
        history.DropDown();
        try {
            history.Enter("new");
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error &error) {
            EXPECT_NE(std::string(error.what()).find(file().toStdString()), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
        EXPECT_EQ(history.Phrases().indexOf("new"), 0);
        if (!c.directoryInPlace) {
            EXPECT_EQ(stored(), before);
        }
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), c.directoryInPlace ? 0 : 1)
            << "no temporary file is left";
    }
}

TEST(SearchHistoryFile, LivesNextToTheProgramUnlessInstalled)
{
    EXPECT_EQ(core::SearchHistoryFile(false), core::ProgramFolderFile("searches.txt"));

    // An installed program keeps the file in the user's data folder, made at the first save.
    QStandardPaths::setTestModeEnabled(true);
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(dataFolder).removeRecursively();
    SearchHistory history(core::SearchHistoryFile(true));
    EXPECT_EQ(history.FileName(), QDir(dataFolder).filePath("searches.txt"));
    history.Enter("phrase");
    EXPECT_TRUE(QFile::exists(history.FileName()));
    QDir(dataFolder).removeRecursively();
    QStandardPaths::setTestModeEnabled(false);
}

} // namespace
