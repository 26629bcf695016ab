#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "base/Errors.h"
#include "project/PageFields.h"
#include "project/PageOperations.h"
#include "project/PageRecord.h"

namespace velmora {

// A keyword list: one phrase per line, UTF-8, each line trimmed of the white
// space around it; blank lines are skipped. Lines end in LF or CR LF. Byte
// order marks are dropped wherever they stand.
class KeywordListReader {
public:
    // Lines longer than this are no keyword phrases; the file is refused.
    static constexpr qint64 kMaxLineLength = 64 * 1024;

    // FileError "Cannot open file %s" unless `path` is a readable regular
    // file.
    explicit KeywordListReader(const QString& path);

    // The next phrase in file order, nothing at the end. VelmoraError for a
    // line that is not UTF-8 text or is too long, naming the line.
    std::optional<QByteArray> next();

    // The number of the line the last phrase came from, counted from 1.
    int lineNumber() const { return line_; }

private:
    QString path_;
    QFile file_;
    int line_ = 0;
};

// File names made from keyword phrases: the phrase in lower case, letters
// (of any script) and digits kept, every run of other characters one "-",
// then ".htm"; a name given before gets "-2", "-3", ... before ".htm".
class PhraseFileNames {
public:
    QByteArray next(const QByteArray& phrase);

private:
    QSet<QByteArray> used_;           // stems given so far
    QHash<QByteArray, int> suffix_;  // the next number to try for a stem
};

// The stem of a phrase's file name, without ".htm" and without the number
// that makes it unique; "page" when the phrase holds no letter or digit.
QByteArray PhraseStem(const QByteArray& phrase);

enum class PageNames {
    Letters,  // file names are left to generation
    Phrase,   // each page is named after its phrase
};

struct KeywordPageSetup {
    int projectType = kInterlinked;
    // The page every new page starts from instead of InitPage's defaults;
    // the fields Fill sets, the file name, the folder and the previous-page
    // link are not taken from it.
    std::optional<PageRecord> templatePage = std::nullopt;
    PageNames names = PageNames::Letters;
    QByteArray startupDir = {};  // for InitPage's image path
};

// Makes one page per keyword phrase, as a user would by hand: a new page
// (or the template), the phrase typed into KeywordPhrase, Fill, and the
// page stored, all through the same page operations as the window.
class KeywordPageMaker {
public:
    // `firstIndex` is the index the first new page gets; `previous` the
    // page before it, if any (the last page of the project the pages are
    // appended to).
    KeywordPageMaker(KeywordPageSetup setup, int firstIndex, const PageRecord* previous);

    // The page for the next phrase. It stays valid until the next call.
    // `adjust`, when given, changes the filled fields before they are
    // stored, as a user would after Fill.
    const PageRecord& make(const QByteArray& phrase,
                           const std::function<void(PageFields&)>& adjust = {});

private:
    KeywordPageSetup setup_;
    int index_;
    bool hasPrevious_;
    std::array<PageRecord, 2> pages_;  // the page being made and the one before it
    MemoryPageFields fields_;
    PhraseFileNames names_;
};

// The phrase as KeywordPhrase can hold it: cut to the field at a character
// boundary, without white space left at the cut.
QByteArray PhraseForField(const QByteArray& phrase);

struct KeywordProjectRequest {
    QString projectPath = {};
    QString phrasesPath = {};
    QString rowsPath = {};  // a page table (PageTable.h) instead of a phrase list
    QString templatePath = {};                     // empty: pages start from InitPage
    std::optional<int> projectType = std::nullopt;  // default: the template's, else Interlinked
    PageNames names = PageNames::Letters;
    QString startupDir = {};
};

// Writes a new project file with one page per phrase of the keyword list,
// reading the list and writing the records one at a time, and replacing the
// project file only when the whole project is written. Returns the number
// of pages. Raises FileError for a file that cannot be read or written and
// VelmoraError for a list without any phrase.
int MakeKeywordProject(const KeywordProjectRequest& request);

// How the pages of a request start: the template's first page and type, or
// a new page's defaults. FileError when the template does not read.
KeywordPageSetup PageSetupFor(const KeywordProjectRequest& request);

// Writes the project file of `request` record by record: each page that
// `nextPage` makes with the maker, until it gives none. Raises `noPage()`
// when it gave none at all, FileError when the file cannot be written; the
// project file is replaced only once every page is written. Returns the
// number of pages.
int WriteKeywordProject(const KeywordProjectRequest& request, KeywordPageSetup setup,
                        const std::function<const PageRecord*(KeywordPageMaker&)>& nextPage,
                        const std::function<VelmoraError()>& noPage);

}  // namespace velmora
