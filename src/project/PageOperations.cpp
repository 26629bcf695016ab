#include "PageOperations.h"

namespace velmora {

namespace {

constexpr std::uint32_t kDefaultColours[kColourFieldCount] = {
    0x00D28282,  // heading
    0x006464FF,  // sub-heading
    0x00969632,  // description
    0x00FFFFFF,  // link
    0x00FFFFFF,  // visited link
    0x00C8C8C8,  // background
};

// Fields ShowPage and StorePage copy as plain texts, in the order shown.
constexpr TextField kCopiedTexts[] = {
    TextField::KeywordPhrase,   TextField::Heading,          TextField::SubHeading,
    TextField::Description,     TextField::HeadingAlign,     TextField::SubheadingAlign,
    TextField::DescriptionAlign, TextField::ComboBox1,       TextField::ImageAlign,
    TextField::Image,           TextField::ImageSource,      TextField::Word,
    TextField::Word1,           TextField::Word2,            TextField::Word3,
    TextField::Word4,           TextField::Word5,            TextField::Word6,
    TextField::Word7,           TextField::Word8,            TextField::Word9,
    TextField::Word10,          TextField::Word11,           TextField::Word12,
    TextField::Word13,          TextField::Word14,           TextField::RobotsTag,
    TextField::HiddenText,      TextField::HomePage,         TextField::LinkName,
    TextField::FooterText,
};

constexpr ColourField kColours[] = {
    ColourField::HeadingColor, ColourField::SubheadingColor,  ColourField::DescriptionColor,
    ColourField::LinkColor,    ColourField::VisitedLinkColor, ColourField::BackgroundColor,
};

constexpr FlagField kFlags[] = {FlagField::RobotsBox, FlagField::CommentsBox,
                                FlagField::CompanyBox};

bool isSeparator(char c) { return c == '/' || c == '\\' || c == ':'; }

QByteArray extensionOf(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0) return {};
    for (qsizetype i = dot + 1; i < name.size(); ++i)
        if (isSeparator(name[i])) return {};
    return name.mid(dot);
}

}  // namespace

void InitPage(PageRecord& page, const NewPageContext& context)
{
    page = PageRecord{};
    for (TextField f : {TextField::HeadingAlign, TextField::SubheadingAlign,
                        TextField::DescriptionAlign, TextField::ImageAlign})
        page.setText(f, "center");
    page.setText(TextField::ComboBox1, context.firstRobotsChoice);
    page.setText(TextField::Image, "splash1.jpg");
    // A start-up directory too deep for the field leaves no image path
    // rather than a cut one that would name some other file.
    const QByteArray imageSource = context.startupDir + "/splash1.jpg";
    if (fitsField(TextField::ImageSource, imageSource))
        page.setText(TextField::ImageSource, imageSource);
    page.setText(TextField::RobotsTag, "<meta name=\"robots\" content=\"all\">");
    page.setText(TextField::HomePage, "http://");
    for (int i = 0; i < kColourFieldCount; ++i) page.setColour(kColours[i], kDefaultColours[i]);
    for (FlagField f : kFlags) page.setFlag(f, true);
    InitPreviousLink(page, context);
}

void InitPreviousLink(PageRecord& page, const NewPageContext& context)
{
    const bool linked =
        isInterlinked(context.projectType) && context.index > 0 && context.previous;
    page.setText(TextField::PreviousLinkName,
                 linked ? context.previous->text(TextField::Heading) : QByteArray());
    page.setText(TextField::PreviousLinkAddress,
                 linked ? context.previous->text(TextField::Edit2) : QByteArray());
}

void ShowPage(const PageRecord& page, PageFields& fields, int projectType, int index, int pageCount)
{
    for (TextField f : kCopiedTexts) fields.setText(f, page.text(f));
    for (ColourField f : kColours) fields.setColour(f, page.colour(f));
    for (FlagField f : kFlags) fields.setFlag(f, page.flag(f));
    const bool linked = isInterlinked(projectType);
    fields.setText(TextField::PreviousLinkName,
                   linked ? page.text(TextField::PreviousLinkName) : QByteArray());
    fields.setText(TextField::PreviousLinkAddress,
                   linked ? page.text(TextField::PreviousLinkAddress) : QByteArray());
    fields.setPageNo(pageCounter(index, pageCount));
    fields.setText(TextField::Edit2, page.text(TextField::Edit2));
}

void StorePage(PageRecord& page, PageFields& fields, int projectType)
{
    for (TextField f : kCopiedTexts) page.setText(f, fields.text(f));
    for (ColourField f : kColours) page.setColour(f, fields.colour(f));
    for (FlagField f : kFlags) page.setFlag(f, fields.flag(f));

    const QByteArray fileName = fields.text(TextField::Edit2);
    const QByteArray stored = withPageExtension(fileName);
    if (stored != fileName) fields.setText(TextField::Edit2, stored);
    page.setText(TextField::Edit2, stored);

    const bool linked = isInterlinked(projectType);
    page.setText(TextField::PreviousLinkName,
                 linked ? fields.text(TextField::PreviousLinkName) : QByteArray());
    page.setText(TextField::PreviousLinkAddress,
                 linked ? fields.text(TextField::PreviousLinkAddress) : QByteArray());
}

QByteArray withPageExtension(const QByteArray& fileName)
{
    if (fileName.isEmpty()) return fileName;
    const QByteArray extension = extensionOf(fileName);
    const bool kept = extension == ".htm" || extension == ".html";
    const QByteArray added = kept ? extension : QByteArray(".htm");
    const QByteArray stem = kept ? fileName.chopped(extension.size()) : fileName;
    // A name too long for the field loses the end of its stem, never its
    // extension: the file written must still be a page.
    const qsizetype room =
        static_cast<qsizetype>(slotOf(TextField::Edit2).width) - 1 - added.size();
    return stem.left(fittingLength(stem, room)) + added;
}

QByteArray pageCounter(int index, int pageCount)
{
    return "Page: " + QByteArray::number(index + 1) + " of " + QByteArray::number(pageCount);
}

}  // namespace velmora
