#include "core/SearchHistory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <stdexcept>

#include "core/TextUtils.h"
#include "text/AnsiText.h"

namespace lotfinch::core {

namespace {

const QString HistoryFileName = QStringLiteral("searches.txt");

// The file's lines: the text ends at a NUL, a line at CR, LF or CR LF, and a
// line too long is cut. Nothing when there is no regular file to read (a
// pipe or a device in its place would never end).
text::StringList readLines(const QString &fileName)
{
    text::StringList lines;
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return lines;
    QByteArray bytes = file.read(MaxHistoryFileBytes);
    if (qsizetype zero = bytes.indexOf('\0'); zero >= 0)
        bytes.truncate(zero);
    lines.setText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    for (int i = 0; i < lines.count(); ++i)
        if (lines[i].size() > static_cast<size_t>(MaxHistoryLineBytes))
            lines[i].resize(static_cast<size_t>(MaxHistoryLineBytes));
    return lines;
}

QString writeBytes(QSaveFile &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size() ? QString() : file.errorString();
}

} // namespace

QString SearchHistoryFile(bool installed)
{
    if (installed)
        return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(HistoryFileName);
    return ProgramFolderFile(HistoryFileName);
}

SearchHistory::SearchHistory(QString fileName) : Write(writeBytes), fileName_(std::move(fileName))
{}

void SearchHistory::DropDown()
{
    if (phrases_.empty())
        load();
}

void SearchHistory::Enter(const std::string &phrase)
{
    if (TrimText(phrase).empty())
        return;
    if (phrases_.empty())
        load();
    if (phrases_.indexOf(phrase) >= 0)
        return;
    phrases_.insert(0, phrase);
    save();
}

void SearchHistory::load()
{
    text::StringList lines = readLines(fileName_);
    later_.clear();
    for (int i = 0; i < lines.count(); ++i) {
        if (i >= HistoryLinesShown)
            later_.add(std::move(lines[i]));
        else if (!TrimText(lines[i]).empty())
            phrases_.add(std::move(lines[i]));
    }
}

void SearchHistory::save() const
{
    const std::string text = phrases_.text() + later_.text();
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    // An installed program's data folder does not exist before its first save.
    QDir().mkpath(QFileInfo(fileName_).absolutePath());
    // The new text goes to a file of its own that replaces the old one only
    // once it is whole: a crash or a full disk leaves the old file as it was.
    QSaveFile file(fileName_);
    QString failure;
    if (!file.open(QIODevice::WriteOnly))
        failure = file.errorString();
    else if (failure = Write(file, bytes); failure.isEmpty() && !file.commit())
        failure = file.errorString();
    if (failure.isEmpty())
        return;
    file.cancelWriting();
    throw std::runtime_error(
        text::toAnsi(QString("The search history could not be saved to %1: %2").arg(fileName_, failure)));
}

} // namespace lotfinch::core
