#pragma once

#include <QString>
#include <functional>
#include <string>

#include "text/StringList.h"

class QByteArray;
class QSaveFile;

namespace lotfinch::core {

// Built to be installed into a system prefix (set by the LOTFINCH_INSTALLED
// build option), where users cannot write next to the program.
#ifdef LOTFINCH_INSTALLED
constexpr bool InstalledBuild = true;
#else
constexpr bool InstalledBuild = false;
#endif

// Only the first lines of the history file are ever shown.
constexpr int HistoryLinesShown = 10;
// A longer line of a damaged file is cut here.
constexpr qsizetype MaxHistoryLineBytes = 4096;
// A damaged file is read no further than this.
constexpr qint64 MaxHistoryFileBytes = 1 << 20;

// The history file: next to the program, or, for an installed program, in
// the user's data folder so that each user keeps a history of their own.
QString SearchHistoryFile(bool installed = InstalledBuild);

// The phrases searched before, newest first: the phrase box's drop-down list.
// The file holds them in Windows-1252, one a line, every line ended by CR LF.
class SearchHistory
{
public:
    explicit SearchHistory(QString fileName = SearchHistoryFile());

    const QString &FileName() const { return fileName_; }
    const text::StringList &Phrases() const { return phrases_; }

    // The drop-down is about to open: an empty list takes the phrases of the
    // file's first ten lines (blank lines count but are skipped).
    void DropDown();
    // The phrase box was left with phrase: unless it is blank or the list holds
    // it already (letter case aside), it goes first and the file is rewritten.
    // An empty list is loaded first, so that the stored phrases stay. Throws
    // std::runtime_error naming the file when it cannot be written; the phrase
    // stays in the list and the file as it was.
    void Enter(const std::string &phrase);

    // Writes the file's bytes; returns why it failed, or nothing. Tests put a
    // failing disk in its place.
    std::function<QString(QSaveFile &file, const QByteArray &bytes)> Write;

private:
    void load();
    void save() const;

    QString fileName_;
    text::StringList phrases_;
    // The file's lines after the first ten, as read: a save keeps them.
    text::StringList later_;
};

} // namespace lotfinch::core
