#include "KeywordList.h"

#include <QFileInfo>
#include <QStringDecoder>

#include "base/Errors.h"
#include "base/FixedText.h"
#include "project/KeywordFill.h"
#include "project/ProjectFile.h"

namespace velmora {

namespace {

// Room for "-" and the number that makes a name unique, and ".htm", within
// the 255 bytes a file name may have.
constexpr qsizetype kMaxStemLength = 240;

constexpr QChar kByteOrderMark(0xFEFF);

// Keeps letters and digits of any script, and the marks that belong to a
// letter (the vowel signs of Devanagari, say), so words stay whole.
bool keptInName(char32_t c, bool afterKept)
{
    return QChar::isLetter(c) || QChar::isDigit(c) || (afterKept && QChar::isMark(c));
}

}  // namespace

KeywordListReader::KeywordListReader(const QString& path) : path_(path), file_(path)
{
    // Only a regular file: a FIFO or a device would never end.
    if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
}

std::optional<QByteArray> KeywordListReader::next()
{
    while (!file_.atEnd()) {
        QByteArray line = file_.readLine(kMaxLineLength + 2);
        ++line_;
        if (line.size() > kMaxLineLength && !line.endsWith('\n') && !file_.atEnd()) {
            throw VelmoraError(QStringLiteral("Line %1 of %2 is longer than %3 bytes")
                                   .arg(line_)
                                   .arg(path_)
                                   .arg(kMaxLineLength));
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        QString text = decoder.decode(line);
        if (decoder.hasError() || line.contains('\0')) {
            throw VelmoraError(
                QStringLiteral("Line %1 of %2 is not UTF-8 text").arg(line_).arg(path_));
        }
        // A byte-order mark, at the start of the file or of a file pasted in,
        // is no part of a phrase.
        text.remove(kByteOrderMark);
        const QString phrase = text.trimmed();
        if (!phrase.isEmpty()) return phrase.toUtf8();
    }
    if (file_.error() != QFileDevice::NoError) throw FileError::cannotOpen(path_);
    return std::nullopt;
}

QByteArray PhraseStem(const QByteArray& phrase)
{
    const QString lower =
        QString::fromUtf8(phrase).toLower().normalized(QString::NormalizationForm_C);
    QString stem;
    bool afterKept = false;
    bool gap = false;
    for (const char32_t c : lower.toUcs4()) {
        if (keptInName(c, afterKept)) {
            if (gap && !stem.isEmpty()) stem += u'-';
            stem += QString::fromUcs4(&c, 1);
            afterKept = true;
            gap = false;
        } else {
            afterKept = false;
            gap = true;
        }
    }
    QByteArray bytes = stem.toUtf8();
    bytes.truncate(fittingLength(bytes, kMaxStemLength));
    while (bytes.endsWith('-')) bytes.chop(1);
    return bytes.isEmpty() ? QByteArrayLiteral("page") : bytes;
}

QByteArray PhraseFileNames::next(const QByteArray& phrase)
{
    const QByteArray stem = PhraseStem(phrase);
    QByteArray name = stem;
    if (used_.contains(name)) {
        int& number = suffix_[stem];
        if (number < 2) number = 2;
        do {
            name = stem + '-' + QByteArray::number(number++);
        } while (used_.contains(name));
    }
    used_.insert(name);
    return name + ".htm";
}

QByteArray PhraseForField(const QByteArray& phrase)
{
    const qsizetype room = qsizetype(slotOf(TextField::KeywordPhrase).width) - 1;
    if (phrase.size() <= room) return phrase;
    return QString::fromUtf8(phrase.left(fittingLength(phrase, room))).trimmed().toUtf8();
}

KeywordPageMaker::KeywordPageMaker(KeywordPageSetup setup, int firstIndex,
                                   const PageRecord* previous)
    : setup_(std::move(setup)), index_(firstIndex), hasPrevious_(previous != nullptr)
{
    if (previous) pages_[(firstIndex + 1) % 2] = *previous;
}

const PageRecord& KeywordPageMaker::make(const QByteArray& phrase,
                                         const std::function<void(PageFields&)>& adjust)
{
    PageRecord& page = pages_[index_ % 2];
    const NewPageContext context{.projectType = setup_.projectType,
                                 .index = index_,
                                 .previous = hasPrevious_ ? &pages_[(index_ + 1) % 2] : nullptr,
                                 .startupDir = setup_.startupDir};
    if (setup_.templatePage) {
        page = *setup_.templatePage;
        page.setText(TextField::Edit2, QByteArray());
        page.setText(TextField::PageFolder, QByteArray());
        InitPreviousLink(page, context);
    } else {
        InitPage(page, context);
    }

    ShowPage(page, fields_, setup_.projectType, index_, index_ + 1);
    fields_.setText(TextField::KeywordPhrase, PhraseForField(phrase));
    Fill(fields_);
    if (setup_.names == PageNames::Phrase)
        fields_.setText(TextField::Edit2, names_.next(fields_.text(TextField::KeywordPhrase)));
    if (adjust) adjust(fields_);
    StorePage(page, fields_, setup_.projectType);

    ++index_;
    hasPrevious_ = true;
    return page;
}

KeywordPageSetup PageSetupFor(const KeywordProjectRequest& request)
{
    KeywordPageSetup setup{.names = request.names, .startupDir = QFile::encodeName(request.startupDir)};
    if (!request.templatePath.isEmpty()) {
        // Only the first page of the template is needed.
        ProjectFileReader reader;
        PageRecord first;
        if (reader.open(request.templatePath) != kFileOk || reader.read(first) != kFileOk)
            throw FileError::cannotOpen(request.templatePath);
        setup.templatePage = first;
        setup.projectType = isInterlinked(reader.projectType()) ? kInterlinked : kSingle;
    }
    if (request.projectType) setup.projectType = *request.projectType;
    return setup;
}

int WriteKeywordProject(const KeywordProjectRequest& request, KeywordPageSetup setup,
                        const std::function<const PageRecord*(KeywordPageMaker&)>& nextPage,
                        const std::function<VelmoraError()>& noPage)
{
    ProjectFileWriter writer;
    if (writer.open(request.projectPath, setup.projectType) != kFileOk)
        throw FileError::cannotCreate(request.projectPath);
    KeywordPageMaker maker(std::move(setup), 0, nullptr);
    while (const PageRecord* page = nextPage(maker)) {
        if (writer.append(*page) != kFileOk) throw FileError::cannotCreate(request.projectPath);
    }
    if (writer.pagesWritten() == 0) throw noPage();
    if (writer.commit() != kFileOk) throw FileError::cannotCreate(request.projectPath);
    return writer.pagesWritten();
}

int MakeKeywordProject(const KeywordProjectRequest& request)
{
    KeywordPageSetup setup = PageSetupFor(request);
    KeywordListReader phrases(request.phrasesPath);
    return WriteKeywordProject(
        request, std::move(setup),
        [&](KeywordPageMaker& maker) -> const PageRecord* {
            const std::optional<QByteArray> phrase = phrases.next();
            return phrase ? &maker.make(*phrase) : nullptr;
        },
        [&] { return VelmoraError(QStringLiteral("No keyword phrase in %1").arg(request.phrasesPath)); });
}

}  // namespace velmora
