// lotfinch-scan [--described] FILE...: runs the program's own link scan over
// saved result pages, as consecutive passes into one found-items list, and
// prints what it found. For checking a saved page after a site has changed
// its markup; --described shows what the scan's first, described rules make
// of it.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/FoundItems.h"
#include "core/LinkScan.h"
#include "text/AnsiText.h"

using namespace lotfinch;

namespace {

void write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Links are the program's 8-bit text; a terminal reads UTF-8, as titles are.
void writeLink(std::string_view link)
{
    write(text::ansiToUtf8(link));
}

bool readFile(const char *path, std::string &body)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    core::LinkRules rules = core::LinkRules::Current;
    if (first < argc && std::strcmp(argv[first], "--described") == 0) {
        rules = core::LinkRules::Described;
        ++first;
    }
    if (first >= argc || std::strcmp(argv[first], "--help") == 0 || std::strcmp(argv[first], "-h") == 0) {
        std::fprintf(first >= argc ? stderr : stdout,
                     "Usage: lotfinch-scan [--described] FILE...\n"
                     "Scans saved result pages in the order given, as the program scans fetched pages,\n"
                     "and prints every found item newest first (link, tab, title; in UTF-8), then one line\n"
                     "per page: \"# NAME: N item links\".\n"
                     "--described: only links in double-quoted href values, titles only behind the\n"
                     "title marker, and links told apart by their text alone.\n");
        return first >= argc ? 2 : 0;
    }

    // Fixed separators: the output must not depend on the machine's locale.
    core::FoundItemList found({"/", ":"}, {}, rules);
    std::vector<std::pair<std::string, int>> pages;
    int status = 0;
    for (int i = first; i < argc; ++i) {
        std::string body;
        if (!readFile(argv[i], body)) {
            std::fprintf(stderr, "lotfinch-scan: cannot read %s: %s\n", argv[i], std::strerror(errno));
            status = 1;
            continue;
        }
        text::LineText lines;
        core::SetPageLines(lines, body);
        pages.emplace_back(std::filesystem::path(argv[i]).filename().string(), core::ExtractLinks(lines, found));
    }

    for (int i = 0; i < found.count(); ++i) {
        // A description is the time stamp, two blanks and the title.
        const std::string &description = found.FoundDescriptions()[i];
        size_t gap = description.find("  ");
        writeLink(found.FoundItems()[i]);
        write("\t");
        write(gap == std::string::npos ? std::string_view() : std::string_view(description).substr(gap + 2));
        write("\n");
    }
    for (const auto &[name, count] : pages) {
        write("# " + name + ": " + std::to_string(count) + " item links\n");
    }
    return std::fflush(stdout) == 0 ? status : 1;
}
