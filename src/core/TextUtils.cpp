#include "core/TextUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace lotfinch::core {

std::string TakeTextBetween(std::string &s, std::string_view start, std::string_view stop)
{
    std::string result = TextBetween(s, start, stop);
    size_t found = s.find(start);
    size_t drop = found != std::string::npos ? found + start.size() : (start.empty() ? 0 : start.size() - 1);
    drop += stop.size();
    s.erase(0, std::min(drop, s.size()));
    return result;
}

std::string ReplaceAllText(std::string_view text, std::string_view token, std::string_view replacement)
{
    if (token.empty())
        return std::string(text);
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = text.find(token, pos)) != std::string_view::npos; pos = hit + token.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(replacement);
    }
    out.append(text.substr(pos));
    return out;
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args)
{
    // Room for all of it at once: a description or a balloon is made per item found.
    size_t size = format.size();
    for (std::string_view a : args)
        size += a.size();
    std::string out;
    out.reserve(size);
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (arg != args.end())
                    out.append(*arg++);
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
        }
        out.push_back(format[i]);
    }
    return out;
}

std::string HintMarkupText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&&"; break;
        default: out += c;
        }
    }
    return out;
}

std::string ButtonHint(std::string_view keyword, std::string_view phrase, HintForm form)
{
    if (form == HintForm::Plain)
        return FormatText("%s for \"%s\"...", {keyword, phrase});
    return FormatText("%s for \"<b>%s</b>\"...", {keyword, HintMarkupText(phrase)});
}

QString ProgramFolderFile(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QFileInfo(name).fileName());
}

QString ShippedDocumentFile(const QString &name)
{
#ifdef LOTFINCH_DOCDIR_FROM_BINDIR
    const QDir docs(QDir(QCoreApplication::applicationDirPath()).filePath(LOTFINCH_DOCDIR_FROM_BINDIR));
    return docs.filePath(QFileInfo(name).fileName());
#else
    return ProgramFolderFile(name);
#endif
}

} // namespace lotfinch::core
