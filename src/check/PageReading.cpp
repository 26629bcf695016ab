#include "PageReading.h"

#include <cctype>
#include <optional>

namespace velmora {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

bool isAsciiLetterOrDigit(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Letters of other scripts are UTF-8 sequences: every byte of them counts
// as part of a word, so no text needs decoding.
bool isWordByte(unsigned char c) { return c >= 0x80 || isAsciiLetterOrDigit(c); }

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::optional<std::uint32_t> parseColour(QByteArrayView value)
{
    value = value.trimmed();
    if (value.startsWith('#')) value = value.sliced(1);
    if (value.size() != 6) return std::nullopt;
    bool ok = false;
    const std::uint32_t rgb = value.toByteArray().toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return rgb;
}

bool nearColours(std::uint32_t a, std::uint32_t b)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d > kHiddenColourDistance || d < -kHiddenColourDistance) return false;
    }
    return true;
}

// One tag: its name in lower case, whether it closes, and its attributes.
struct Tag {
    QByteArray name;
    bool closing = false;
    QByteArrayView body;  // everything after the name, up to ">"

    std::optional<QByteArray> attribute(QByteArrayView wanted) const;
};

std::optional<QByteArray> Tag::attribute(QByteArrayView wanted) const
{
    qsizetype i = 0;
    const qsizetype n = body.size();
    while (i < n) {
        while (i < n && !isAsciiLetterOrDigit(uchar(body[i])) && body[i] != '-') ++i;
        const qsizetype nameStart = i;
        while (i < n && (isAsciiLetterOrDigit(uchar(body[i])) || body[i] == '-')) ++i;
        const QByteArray name = body.sliced(nameStart, i - nameStart).toByteArray().toLower();
        while (i < n && body[i] == ' ') ++i;
        QByteArray value;
        if (i < n && body[i] == '=') {
            ++i;
            while (i < n && body[i] == ' ') ++i;
            if (i < n && (body[i] == '"' || body[i] == '\'')) {
                const char quote = body[i++];
                const qsizetype end = body.indexOf(quote, i);
                const qsizetype stop = end < 0 ? n : end;
                value = body.sliced(i, stop - i).toByteArray();
                i = stop + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !QByteArrayView(" \t\r\n").contains(body[i])) ++i;
                value = body.sliced(start, i - start).toByteArray();
            }
        }
        if (!name.isEmpty() && name == wanted) return value;
        if (name.isEmpty()) ++i;
    }
    return std::nullopt;
}

// Reads a page front to back as a browser would lay it out.
class PageScanner {
public:
    explicit PageScanner(const QByteArray& html) : html_(html) {}

    PageReading read()
    {
        const qsizetype n = html_.size();
        qsizetype i = 0;
        while (i < n) {
            if (html_[i] == '<') {
                if (html_.sliced(i).startsWith("<!--")) {
                    const qsizetype end = html_.indexOf("-->", i + 4);
                    i = end < 0 ? n : end + 3;
                    continue;
                }
                const std::optional<qsizetype> end = tagEnd(i);
                if (end) {
                    takeTag(i, *end);
                    i = *end + 1;
                    continue;
                }
            }
            i = takeText(i);
        }
        reading_.title = reading_.title.simplified();
        return std::move(reading_);
    }

private:
    // The ">" that ends a tag starting at `start`, quotes respected; none
    // when "<" starts no tag.
    std::optional<qsizetype> tagEnd(qsizetype start) const
    {
        const qsizetype n = html_.size();
        if (start + 1 >= n) return std::nullopt;
        const auto next = uchar(html_[start + 1]);
        if (!(next == '/' || next == '!' || next == '?' || (next < 0x80 && std::isalpha(next))))
            return std::nullopt;
        char quote = 0;
        for (qsizetype i = start + 1; i < n; ++i) {
            const char c = html_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                // Only a quote that opens an attribute value quotes.
                if (html_[i - 1] == '=') quote = c;
            } else if (c == '>') {
                return i;
            }
        }
        return std::nullopt;
    }

    void takeTag(qsizetype start, qsizetype end)
    {
        Tag tag;
        qsizetype i = start + 1;
        if (html_[i] == '/') {
            tag.closing = true;
            ++i;
        }
        const qsizetype nameStart = i;
        while (i < end && isAsciiLetterOrDigit(uchar(html_[i]))) ++i;
        tag.name = html_.sliced(nameStart, i - nameStart).toLower();
        tag.body = QByteArrayView(html_).sliced(i, end - i);

        if (tag.name == "title") inTitle_ = !tag.closing;
        else if (tag.name == "script" || tag.name == "style") inSkipped_ = !tag.closing;
        else if (tag.name == "head") inHead_ = !tag.closing;
        else if (tag.name == "body" && !tag.closing) takeBody(tag);
        else if (tag.name == "meta" && !tag.closing) takeMeta(tag);
        else if (tag.name == "font") takeFont(tag);
    }

    void takeBody(const Tag& tag)
    {
        inHead_ = false;
        if (const auto colour = tag.attribute("bgcolor")) background_ = parseColour(*colour);
    }

    void takeMeta(const Tag& tag)
    {
        const std::optional<QByteArray> name = tag.attribute("name");
        if (!name || name->toLower() != "description") return;
        if (const auto content = tag.attribute("content"); content && !content->trimmed().isEmpty())
            reading_.hasDescription = true;
    }

    // The colour of text is that of the innermost font that sets one.
    void takeFont(const Tag& tag)
    {
        if (tag.closing) {
            if (!fonts_.empty()) fonts_.pop_back();
            return;
        }
        std::optional<std::uint32_t> colour;
        if (const auto value = tag.attribute("color")) colour = parseColour(*value);
        if (!colour && !fonts_.empty()) colour = fonts_.back();
        fonts_.push_back(colour);
    }

    bool textIsHidden() const
    {
        return background_ && !fonts_.empty() && fonts_.back() &&
               nearColours(*fonts_.back(), *background_);
    }

    // Text up to the next "<" that opens markup; returns where it stops.
    qsizetype takeText(qsizetype start)
    {
        const qsizetype n = html_.size();
        qsizetype end = html_.indexOf('<', start + 1);
        if (end < 0) end = n;
        const QByteArrayView text = QByteArrayView(html_).sliced(start, end - start);
        if (inTitle_) {
            reading_.title += text;
        } else if (!inHead_ && !inSkipped_) {
            const bool hidden = textIsHidden();
            forEachWord(text, [&](std::uint64_t word) {
                if (hidden) reading_.hasHiddenText = true;
                else reading_.words.push_back(word);
            });
        }
        return end;
    }

    template <typename F>
    static void forEachWord(QByteArrayView text, F&& take)
    {
        const qsizetype n = text.size();
        qsizetype i = 0;
        while (i < n) {
            // "&amp;", "&#233;": a character reference separates, it is no word.
            if (text[i] == '&') {
                qsizetype j = i + 1;
                while (j < n && j - i < 12 &&
                       (isAsciiLetterOrDigit(uchar(text[j])) || text[j] == '#'))
                    ++j;
                if (j < n && text[j] == ';') {
                    i = j + 1;
                    continue;
                }
            }
            if (!isWordByte(uchar(text[i]))) {
                ++i;
                continue;
            }
            std::uint64_t hash = kFnvOffset;
            while (i < n && isWordByte(uchar(text[i]))) {
                hash = (hash ^ lower(uchar(text[i]))) * kFnvPrime;
                ++i;
            }
            take(hash);
        }
    }

    const QByteArray& html_;
    PageReading reading_;
    bool inHead_ = false;
    bool inTitle_ = false;
    bool inSkipped_ = false;
    std::optional<std::uint32_t> background_;
    std::vector<std::optional<std::uint32_t>> fonts_;
};

}  // namespace

PageReading ReadPage(const QByteArrayList& lines)
{
    const QByteArray html = lines.join('\n');
    return PageScanner(html).read();
}

}  // namespace velmora
