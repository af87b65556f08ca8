// SPDX-License-Identifier: MIT
#include "gui/win32/html_text.h"

#include "text/utf.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace orvik {

namespace {

// The part of the clipboard's HTML that was copied, by the header's byte offsets.
std::string_view CopiedPart(std::string_view html)
{
    const auto offset = [html](std::string_view name) -> std::size_t {
        const std::size_t header = html.find('<');
        const std::size_t at = html.substr(0, header).find(name);
        if (at == std::string_view::npos)
            return std::string_view::npos;
        std::size_t value = 0;
        const char* start = html.data() + at + name.size();
        const auto [end, error] = std::from_chars(start, html.data() + html.size(), value);
        return error == std::errc() && end != start && value <= html.size()
            ? value
            : std::string_view::npos;
    };
    for (const auto& [start, end] : { std::pair { "StartFragment:", "EndFragment:" },
             std::pair { "StartHTML:", "EndHTML:" } }) {
        const std::size_t from = offset(start), to = offset(end);
        if (from != std::string_view::npos && to != std::string_view::npos && from <= to)
            return html.substr(from, to - from);
    }
    return html;
}

// The character a named reference stands for; 0 for a name not in the table. The names a French
// text uses, and the markup's own.
char32_t NamedCharacter(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, char32_t>, 46> kNames { {
        { "amp", U'&' },
        { "lt", U'<' },
        { "gt", U'>' },
        { "quot", U'"' },
        { "apos", U'\'' },
        { "nbsp", U'\u00A0' },
        { "agrave", U'\u00E0' },
        { "acirc", U'\u00E2' },
        { "ccedil", U'\u00E7' },
        { "eacute", U'\u00E9' },
        { "egrave", U'\u00E8' },
        { "ecirc", U'\u00EA' },
        { "euml", U'\u00EB' },
        { "icirc", U'\u00EE' },
        { "iuml", U'\u00EF' },
        { "ocirc", U'\u00F4' },
        { "ugrave", U'\u00F9' },
        { "ucirc", U'\u00FB' },
        { "uuml", U'\u00FC' },
        { "yuml", U'\u00FF' },
        { "Agrave", U'\u00C0' },
        { "Acirc", U'\u00C2' },
        { "Ccedil", U'\u00C7' },
        { "Eacute", U'\u00C9' },
        { "Egrave", U'\u00C8' },
        { "Ecirc", U'\u00CA' },
        { "Icirc", U'\u00CE' },
        { "Ocirc", U'\u00D4' },
        { "Ugrave", U'\u00D9' },
        { "Ucirc", U'\u00DB' },
        { "oelig", U'\u0153' },
        { "OElig", U'\u0152' },
        { "aelig", U'\u00E6' },
        { "laquo", U'\u00AB' },
        { "raquo", U'\u00BB' },
        { "lsquo", U'\u2018' },
        { "rsquo", U'\u2019' },
        { "ldquo", U'\u201C' },
        { "rdquo", U'\u201D' },
        { "ndash", U'\u2013' },
        { "mdash", U'\u2014' },
        { "hellip", U'\u2026' },
        { "euro", U'\u20AC' },
        { "copy", U'\u00A9' },
        { "deg", U'\u00B0' },
        { "shy", U'\u00AD' },
    } };
    for (const auto& [known, code] : kNames)
        if (known == name)
            return code;
    return 0;
}

// The character the reference at the start of `text` ("&...;") stands for, and its length; a
// length of 0 when it is no reference, and the '&' is a character of the text.
std::pair<char32_t, std::size_t> Reference(std::string_view text)
{
    const std::size_t end = text.find(';');
    if (end == std::string_view::npos || end < 2 || end > 32)
        return { 0, 0 };
    const std::string_view name = text.substr(1, end - 1);
    char32_t code = 0;
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string_view digits = name.substr(hex ? 2 : 1);
        unsigned value = 0;
        const auto [last, error]
            = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
        if (error != std::errc() || last != digits.data() + digits.size())
            return { 0, 0 };
        // What no text may hold becomes U+FFFD, as a browser shows it.
        code = value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)
            ? U'\uFFFD'
            : char32_t(value);
    } else {
        code = NamedCharacter(name);
    }
    return code ? std::pair { code, end + 1 } : std::pair { char32_t(0), std::size_t(0) };
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Elements that stand on lines of their own.
bool IsBlock(std::string_view name)
{
    static constexpr std::array<std::string_view, 31> kBlocks { "address", "article", "aside",
        "blockquote", "br", "center", "dd", "div", "dl", "dt", "figure", "footer", "form", "h1",
        "h2", "h3", "h4", "h5", "h6", "header", "hr", "li", "ol", "p", "pre", "section", "table",
        "td", "th", "tr", "ul" };
    return std::ranges::find(kBlocks, name) != kBlocks.end();
}

// The text's plain form, in UTF-8.
class PlainText
{
public:
    void Add(std::string_view text, bool preformatted)
    {
        for (const char c : text) {
            if (!preformatted && IsSpace(c)) {
                m_space = true;
                continue;
            }
            if (m_space && !m_text.empty() && m_text.back() != '\n')
                m_text += ' ';
            m_space = false;
            // Within <pre>, each of CR LF, CR and LF is one line break.
            if (!(c == '\n' && m_afterCr))
                m_text += c == '\r' ? '\n' : c;
            m_afterCr = c == '\r';
        }
    }
    void AddCharacter(char32_t code)
    {
        std::string bytes;
        AppendUtf8(bytes, code);
        Add(bytes, true);
    }
    // Ends the line, unless it is empty; a <br> ends even an empty one.
    void EndLine(bool always)
    {
        m_space = false;
        if (always || (!m_text.empty() && m_text.back() != '\n'))
            m_text += '\n';
    }
    std::string Take()
    {
        while (!m_text.empty() && m_text.back() == '\n')
            m_text.pop_back();
        return std::move(m_text);
    }

private:
    std::string m_text;
    bool m_space = false; // spaces met, written only before the next character on the line
    bool m_afterCr = false;
};

} // namespace

std::u16string PlainTextOfHtml(std::string_view clipboardHtml)
{
    std::string_view html = CopiedPart(clipboardHtml);
    PlainText plain;
    int preformatted = 0;
    while (!html.empty()) {
        if (html.starts_with("<!--")) {
            const std::size_t end = html.find("-->", 4);
            html.remove_prefix(end == std::string_view::npos ? html.size() : end + 3);
            continue;
        }
        if (html[0] == '&') {
            const auto [code, length] = Reference(html);
            if (length > 0) {
                plain.AddCharacter(code);
                html.remove_prefix(length);
                continue;
            }
        }
        if (html[0] != '<' || html.size() < 2
            || !(std::isalpha(static_cast<unsigned char>(html[1])) || html[1] == '/'
                || html[1] == '!' || html[1] == '?')) {
            const std::size_t next = html.find_first_of("<&", 1);
            plain.Add(html.substr(0, next), preformatted > 0);
            html.remove_prefix(std::min(next, html.size()));
            continue;
        }
        // A tag: its end is the first '>' outside quotes.
        std::size_t end = 1;
        for (char quote = 0; end < html.size() && (quote || html[end] != '>'); ++end)
            if (html[end] == '"' || html[end] == '\'')
                quote = quote == html[end] ? 0 : quote ? quote : html[end];
        const bool closing = html[1] == '/';
        std::string name;
        for (std::size_t i = closing ? 2 : 1;
             i < end && std::isalnum(static_cast<unsigned char>(html[i])); ++i)
            name += char(std::tolower(static_cast<unsigned char>(html[i])));
        html.remove_prefix(std::min(end + 1, html.size()));
        if (!closing
            && (name == "script" || name == "style" || name == "head" || name == "title")) {
            // Their content is not text to read: skip to the end tag.
            const std::string endTag = "</" + name;
            std::size_t at = 0;
            for (;; ++at) {
                at = html.find("</", at);
                if (at == std::string_view::npos)
                    break;
                std::string found(html.substr(at, endTag.size()));
                std::ranges::transform(found, found.begin(),
                    [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
                if (found == endTag)
                    break;
            }
            html.remove_prefix(at == std::string_view::npos ? html.size() : at);
            continue;
        }
        if (name == "pre")
            preformatted = std::max(0, preformatted + (closing ? -1 : 1));
        if (IsBlock(name))
            plain.EndLine(name == "br");
    }
    return Utf16FromUtf8(plain.Take());
}

} // namespace orvik
