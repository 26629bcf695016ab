#include "PageBuilder.h"

#include "project/PageOperations.h"

namespace velmora {

namespace {

QByteArray hexComponents(std::uint32_t colour, int step)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(6);
    for (int shift = 0; shift <= 16; shift += 8) {
        int v = static_cast<int>((colour >> shift) & 0xFF) + step;
        if (v == 256) v = 254;
        text += kDigits[v >> 4];
        text += kDigits[v & 0xF];
    }
    return text;
}

QByteArray quoted(const QByteArray& text) { return '"' + text + '"'; }

}  // namespace

QByteArray ColourText(std::uint32_t colour) { return hexComponents(colour, 0); }

QByteArray HiddenColourText(std::uint32_t colour) { return hexComponents(colour, 1); }

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

QByteArrayList BuildPage(const PageFields& fields, int projectType, const QByteArray& creditLink)
{
    auto text = [&](TextField f) { return fields.text(f); };
    auto hex = [&](ColourField f) { return quoted('#' + ColourText(fields.colour(f))); };
    const QByteArray keywords = KeywordList(fields);
    const QByteArray heading = text(TextField::Heading);
    const QByteArray subHeading = text(TextField::SubHeading);
    const QByteArray description = text(TextField::Description);
    const QByteArray hiddenText = text(TextField::HiddenText);
    const QByteArray homePage = text(TextField::HomePage);
    const QByteArray image = text(TextField::Image);
    const bool comments = fields.flag(FlagField::CommentsBox);

    QByteArrayList lines;
    lines.reserve(29);
    lines << "<html>"
          << "<head>"
          << "<title>" + heading + "</title>"
          << "<meta name=\"description\" content=" + quoted(description) + ">"
          << "<meta name=\"keywords\" content=" + quoted(keywords) + ">";
    if (fields.flag(FlagField::RobotsBox)) lines << text(TextField::RobotsTag);
    lines << "</head>"
          << "<body bgcolor=" + hex(ColourField::BackgroundColor) +
                 " link=" + hex(ColourField::LinkColor) +
                 " vlink=" + hex(ColourField::VisitedLinkColor) + ">"
          << "<input type=\"hidden\" name=\"content\" value=" + quoted(keywords) + ">";
    if (comments) lines << "<!--" + hiddenText + "-->";
    lines << "<h2 align=" + quoted(text(TextField::HeadingAlign)) +
                 "><b><font face=\"Arial\" color=" + hex(ColourField::HeadingColor) + ">"
          << heading
          << "</font></h2>"
          << "<h4 align=" + quoted(text(TextField::SubheadingAlign)) +
                 "><font face=\"Arial\" color=" + hex(ColourField::SubheadingColor) + "><i>"
          << subHeading
          << "</i></font></b></h4>";
    if (comments) {
        lines << "<font color=" +
                     quoted('#' + HiddenColourText(fields.colour(ColourField::BackgroundColor))) + ">"
              << hiddenText
              << "</font>";
    }
    if (!image.isEmpty()) {
        lines << "<p align=" + quoted(text(TextField::ImageAlign)) + "><img src=" + quoted(image) +
                     " alt=" + quoted(subHeading) + " border=\"0\"><small>";
    }
    lines << "<p align=" + quoted(text(TextField::DescriptionAlign)) + ">"
          << "<font face=\"Arial\" color=" + hex(ColourField::DescriptionColor) + ">"
          << description
          << "</p>"
          << "<font face=\"Arial\"><b><p align=\"center\"><a href=" + quoted(homePage) + ">" +
                 text(TextField::LinkName) + "</a></p></b>";
    if (fields.flag(FlagField::CompanyBox)) {
        lines << "<p align=\"center\"><i><b>" + text(TextField::FooterText) + " <a href=" +
                     quoted(homePage) + "></a></p></b></i>";
    }
    const QByteArray previousAddress = text(TextField::PreviousLinkAddress);
    const QByteArray previousName = text(TextField::PreviousLinkName);
    if (isInterlinked(projectType) && !previousAddress.isEmpty() && !previousName.isEmpty()) {
        lines << "<b><p align=\"center\"><a href=" + quoted(previousAddress) + ">" + previousName +
                     "</a></p></b>";
    }
    lines << "<p align=\"center\"><small><a href=" + quoted(creditLink) +
                 "><small>Page generated using <i><b>Velmora</b></i></small></a></small></p>"
          << "</font></body></html>";
    return lines;
}

}  // namespace velmora
