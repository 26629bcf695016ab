#include "PageBuilder.h"

#include <QStringBuilder>

#include "project/PageOperations.h"

namespace velmora {

namespace {

// Six hex digits on the stack, so a colour costs no allocation.
class HexText {
public:
    HexText(std::uint32_t colour, int step)
    {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        char* out = digits_;
        for (int shift = 0; shift <= 16; shift += 8) {
            int v = static_cast<int>((colour >> shift) & 0xFF) + step;
            if (v == 256) v = 254;
            *out++ = kDigits[v >> 4];
            *out++ = kDigits[v & 0xF];
        }
        *out = '\0';
    }
    QByteArrayView view() const { return QByteArrayView(digits_, 6); }

private:
    char digits_[7];
};

QByteArray quoted(const QByteArray& text) { return '"' % text % '"'; }

bool isAscii(const QByteArrayList& lines)
{
    for (const QByteArray& line : lines)
        for (const char c : line)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool isUtf8(const QByteArrayList& lines)
{
    for (const QByteArray& line : lines)
        if (!line.isValidUtf8()) return false;
    return true;
}

// An address as it may stand in a double-quoted attribute.
QByteArray attributeText(const QByteArray& text)
{
    QByteArray out = text;
    out.replace('&', "&amp;").replace('"', "&quot;").replace('<', "&lt;").replace('>', "&gt;");
    return out;
}

// The lines that go right after "<head>".
QByteArrayList headLines(const QByteArrayList& page, const PageHead& head)
{
    if (!head.modern) {
        if (isAscii(page) || !isUtf8(page)) return {};
        return {kCharsetLine};
    }
    QByteArrayList lines{kCharsetLine, kViewportLine};
    if (!head.canonicalAddress.isEmpty())
        lines << QByteArray("<link rel=\"canonical\" href=\"" % attributeText(head.canonicalAddress) %
                            "\">");
    return lines;
}

}  // namespace

QByteArray ColourText(std::uint32_t colour) { return HexText(colour, 0).view().toByteArray(); }

QByteArray HiddenColourText(std::uint32_t colour) { return HexText(colour, 1).view().toByteArray(); }

QByteArray RobotsTagFor(const QByteArray& choice)
{
    return "<meta name=\"robots\" content=" + quoted(choice) + ">";
}

QByteArray KeywordList(const PageFields& fields)
{
    QByteArray list;
    for (int i = 0; i < kKeywordFieldCount; ++i) {
        const QByteArray word = fields.text(keywordField(i));
        if (word.isEmpty()) continue;
        if (!list.isEmpty()) list += ", ";
        list += word;
    }
    return list;
}

QByteArrayList BuildPage(const PageFields& fields, int projectType, const QByteArray& creditLink,
                         const PageHead& head)
{
    // Built with QStringBuilder and stack colour texts: one allocation a line.
    auto text = [&](TextField f) { return fields.text(f); };
    auto hex = [&](ColourField f) { return HexText(fields.colour(f), 0); };
    const QByteArray keywords = KeywordList(fields);
    const QByteArray heading = text(TextField::Heading);
    const QByteArray subHeading = text(TextField::SubHeading);
    // The description's lines as the window shows them: the CR LF that
    // storing puts after the last line is no line of the page.
    const QByteArray description = shownDescription(text(TextField::Description));
    const QByteArray hiddenText = text(TextField::HiddenText);
    const QByteArray homePage = text(TextField::HomePage);
    const QByteArray image = text(TextField::Image);
    const bool comments = fields.flag(FlagField::CommentsBox);

    QByteArrayList lines;
    lines.reserve(32);
    lines << QByteArray("<html>") << QByteArray("<head>")
          << QByteArray("<title>" % heading % "</title>")
          << QByteArray("<meta name=\"description\" content=\"" % description % "\">")
          << QByteArray("<meta name=\"keywords\" content=\"" % keywords % "\">");
    if (fields.flag(FlagField::RobotsBox)) lines << text(TextField::RobotsTag);
    lines << QByteArray("</head>")
          << QByteArray("<body bgcolor=\"#" % hex(ColourField::BackgroundColor).view() %
                        "\" link=\"#" % hex(ColourField::LinkColor).view() % "\" vlink=\"#" %
                        hex(ColourField::VisitedLinkColor).view() % "\">")
          << QByteArray("<input type=\"hidden\" name=\"content\" value=\"" % keywords % "\">");
    if (comments) lines << QByteArray("<!--" % hiddenText % "-->");
    lines << QByteArray("<h2 align=\"" % text(TextField::HeadingAlign) %
                        "\"><b><font face=\"Arial\" color=\"#" %
                        hex(ColourField::HeadingColor).view() % "\">")
          << heading << QByteArray("</font></h2>")
          << QByteArray("<h4 align=\"" % text(TextField::SubheadingAlign) %
                        "\"><font face=\"Arial\" color=\"#" %
                        hex(ColourField::SubheadingColor).view() % "\"><i>")
          << subHeading << QByteArray("</i></font></b></h4>");
    if (comments) {
        lines << QByteArray("<font color=\"#" %
                            HexText(fields.colour(ColourField::BackgroundColor), 1).view() % "\">")
              << hiddenText << QByteArray("</font>");
    }
    if (!image.isEmpty()) {
        lines << QByteArray("<p align=\"" % text(TextField::ImageAlign) % "\"><img src=\"" % image %
                            "\" alt=\"" % subHeading % "\" border=\"0\"><small>");
    }
    lines << QByteArray("<p align=\"" % text(TextField::DescriptionAlign) % "\">")
          << QByteArray("<font face=\"Arial\" color=\"#" %
                        hex(ColourField::DescriptionColor).view() % "\">")
          << description << QByteArray("</p>")
          << QByteArray("<font face=\"Arial\"><b><p align=\"center\"><a href=\"" % homePage %
                        "\">" % text(TextField::LinkName) % "</a></p></b>");
    if (fields.flag(FlagField::CompanyBox)) {
        lines << QByteArray("<p align=\"center\"><i><b>" % text(TextField::FooterText) %
                            " <a href=\"" % homePage % "\"></a></p></b></i>");
    }
    const QByteArray previousAddress = text(TextField::PreviousLinkAddress);
    const QByteArray previousName = text(TextField::PreviousLinkName);
    if (isInterlinked(projectType) && !previousAddress.isEmpty() && !previousName.isEmpty()) {
        lines << QByteArray("<b><p align=\"center\"><a href=\"" % previousAddress % "\">" %
                            previousName % "</a></p></b>");
    }
    lines << QByteArray("<p align=\"center\"><small><a href=\"" % creditLink %
                        "\"><small>Page generated using <i><b>Velmora</b></i></small></a></small></p>")
          << QByteArray("</font></body></html>");
    const QByteArrayList extra = headLines(lines, head);
    for (qsizetype i = 0; i < extra.size(); ++i) lines.insert(2 + i, extra[i]);
    return lines;
}

}  // namespace velmora
