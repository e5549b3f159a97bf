#pragma once

#include <string>
#include <string_view>

namespace lotfinch::text {

// A list of 8-bit lines kept as one text, every line followed by CR LF: a
// fetched page is read into it once, then scanned and shown whole, without
// a string per line or a join of them.
class LineText
{
public:
    // Every line followed by CR LF.
    std::string_view text() const { return text_; }
    // Empties the list and gives its memory back.
    void clear();
    // Replaces the content: a line ends at CR, LF or CR LF; the ends are not
    // kept, and a final line end adds no empty line.
    void setText(std::string_view text);

private:
    std::string text_;
};

} // namespace lotfinch::text
