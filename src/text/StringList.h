#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace lotfinch::text {

// An ordered list of 8-bit texts with line-based import and export.
// Indexes are 0-based. Lookups compare without regard to letter case.
// A deque, so that inserting at the top of a long list stays cheap.
class StringList
{
public:
    StringList() = default;
    StringList(std::initializer_list<std::string> lines) : lines_(lines) {}

    int count() const { return static_cast<int>(lines_.size()); }
    bool empty() const { return lines_.empty(); }
    const std::string &operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
    std::string &operator[](int index) { return lines_.at(static_cast<size_t>(index)); }
    const std::deque<std::string> &lines() const { return lines_; }

    void add(std::string line) { lines_.push_back(std::move(line)); }
    // Inserts before position index (0 puts it first, count() appends).
    void insert(int index, std::string line);
    void remove(int index);
    void clear() { lines_.clear(); }

    // First entry equal to text without regard to case, or -1.
    int indexOf(std::string_view text) const;

    // Every line followed by CR LF.
    std::string text() const;
    // Replaces the content: a line ends at CR, LF or CR LF; the ends are not
    // kept, and a final line end adds no empty line.
    void setText(std::string_view text);

    bool operator==(const StringList &) const = default;

private:
    std::deque<std::string> lines_;
};

} // namespace lotfinch::text
