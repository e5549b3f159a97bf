#include "text/AnsiText.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace lotfinch::text {

namespace {

// One converter per direction and thread; iconv_open is too slow to call per string.
class Converter
{
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("No text converter from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts as much as possible; returns false at an unconvertible input
    // unit, leaving in/inLeft pointing at it.
    bool convert(char *&in, size_t &inLeft, std::string &out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[4096];
        while (inLeft > 0) {
            char *outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

Converter &decoder()
{
    thread_local Converter c("UTF-16LE", "WINDOWS-1252");
    return c;
}

Converter &encoder()
{
    thread_local Converter c("WINDOWS-1252", "UTF-16LE");
    return c;
}

const std::array<unsigned char, 256> &lowerTable()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int i = 0; i < 256; ++i) {
            char byte = static_cast<char>(i);
            std::string lower = toAnsi(fromAnsi(std::string_view(&byte, 1)).toLower());
            t[i] = lower.size() == 1 && lower != "?" ? static_cast<unsigned char>(lower[0])
                                                     : static_cast<unsigned char>(i);
        }
        return t;
    }();
    return table;
}

// The upper half's characters, as fromAnsi reads them.
const std::array<char16_t, 128> &upperHalf()
{
    static const std::array<char16_t, 128> table = [] {
        std::array<char16_t, 128> t{};
        for (int i = 0; i < 128; ++i) {
            const char byte = static_cast<char>(0x80 + i);
            t[static_cast<size_t>(i)] = fromAnsi(std::string_view(&byte, 1)).at(0).unicode();
        }
        return t;
    }();
    return table;
}

} // namespace

std::string ansiToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // Runs of ASCII, most of a title, go over as they are.
        const size_t run = i;
        while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
            ++i;
        out.append(text.substr(run, i - run));
        if (i == text.size())
            break;
        const char16_t unit = upperHalf()[static_cast<unsigned char>(text[i]) - 0x80];
        if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
    return out;
}

QString fromAnsi(std::string_view text)
{
    std::string utf16;
    utf16.reserve(text.size() * 2);
    std::string input(text);
    char *in = input.data();
    size_t left = input.size();
    while (!decoder().convert(in, left, utf16)) {
        // An undefined byte: keep it as the C1 control of the same value.
        utf16.push_back(*in);
        utf16.push_back('\0');
        ++in;
        --left;
    }
    return QString(reinterpret_cast<const QChar *>(utf16.data()), static_cast<qsizetype>(utf16.size() / 2));
}

std::string toAnsi(const QString &text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    char *in = const_cast<char *>(reinterpret_cast<const char *>(text.utf16()));
    size_t left = static_cast<size_t>(text.size()) * 2;
    while (!encoder().convert(in, left, out)) {
        char16_t unit =
            static_cast<char16_t>(static_cast<unsigned char>(in[0]) | (static_cast<unsigned char>(in[1]) << 8));
        // C1 controls are the undefined bytes that fromAnsi passed through.
        out.push_back(unit >= 0x80 && unit <= 0x9F ? static_cast<char>(unit) : '?');
        // A surrogate pair stands for one character and one '?'.
        size_t skip = (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) ? 4 : 2;
        in += skip;
        left -= skip;
    }
    return out;
}

QStringList charactersOutsideAnsi(const QString &text)
{
    QStringList outside;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (character != "?" && toAnsi(character) == "?" && !outside.contains(character))
            outside << character;
        i += length;
    }
    return outside;
}

unsigned char lowerAnsi(unsigned char c)
{
    return lowerTable()[c];
}

std::string lowerAnsi(std::string_view text)
{
    const auto &table = lowerTable();
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

bool sameTextAnsi(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto &table = lowerTable();
    for (size_t i = 0; i < a.size(); ++i)
        if (table[static_cast<unsigned char>(a[i])] != table[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

} // namespace lotfinch::text
