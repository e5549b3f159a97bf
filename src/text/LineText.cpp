#include "text/LineText.h"

#include <cstring>

namespace lotfinch::text {

void LineText::clear()
{
    std::string().swap(text_);
}

void LineText::setText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    // Lines that end in CR LF are copied as they stand, many in one go; a
    // line that ends otherwise ends the run and gets its CR LF.
    const char *data = text.data();
    const size_t size = text.size();
    auto next = [&](char c, size_t from) {
        const void *at = from < size ? std::memchr(data + from, c, size - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char *>(at) - data) : size;
    };
    size_t run = 0, pos = 0;
    size_t cr = next('\r', 0), lf = next('\n', 0);
    while (pos < size) {
        if (cr < pos)
            cr = next('\r', pos);
        if (lf < pos)
            lf = next('\n', pos);
        const size_t end = std::min(cr, lf);
        if (end == size) {
            out.append(data + run, size - run).append("\r\n");
            run = pos = size;
        } else if (end == cr && lf == cr + 1 && lf < size) {
            pos = lf + 1;
        } else {
            out.append(data + run, end - run).append("\r\n");
            run = pos = end + 1;
        }
    }
    out.append(data + run, pos - run);
    text_ = std::move(out);
}

} // namespace lotfinch::text
