#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <deque>
#include <memory>
#include <optional>

#include "base/Errors.h"
#include "project/KeywordList.h"
#include "project/PageRecord.h"

struct csv_parser;

namespace velmora {

// The fields a table may name as its columns: the texts a user types into
// a page. The file's folder, the previous-page link and the robots tag
// (made from the robots choice by the window) are the program's.
std::optional<TextField> TableColumnField(QByteArrayView name);

// One row of a page table: a cell for each column, in column order; a row
// may hold fewer cells than there are columns.
struct TableRow {
    int number = 0;  // the row's place in the file, the heading row being 1
    QList<QByteArray> cells;
};

// A table of pages: CSV as RFC 4180 has it (fields in double quotes may hold
// commas, line breaks and doubled quotes), UTF-8, its first row naming the
// columns by their record names. Read row by row, so a table of any length
// takes the memory of one stretch of the file. Every failure, whatever its
// kind, is a VelmoraError naming the file, the row and the column.
class PageTableReader {
public:
    // A cell, or the start of one, longer than any field can hold.
    static constexpr qsizetype kMaxCellSize = 64 * 1024;

    // FileError "Cannot open file %s" unless `path` is a readable regular
    // file; VelmoraError for a heading row that is not a set of page fields
    // with KeywordPhrase among them.
    explicit PageTableReader(const QString& path);
    ~PageTableReader();
    PageTableReader(const PageTableReader&) = delete;
    PageTableReader& operator=(const PageTableReader&) = delete;

    const QList<TextField>& columns() const { return columns_; }
    int keywordColumn() const { return keywordColumn_; }

    // The next row that holds anything, checked: no more cells than
    // columns, each cell UTF-8 that fits its field, one-line fields on one
    // line, and a keyword phrase. Nothing at the end of the table.
    std::optional<TableRow> next();

    // "FILE, row 3, column 2 (Heading): TEXT"; column 0 names no column.
    VelmoraError error(int row, int column, const QString& text) const;
    // The error of a table without a row below its heading.
    VelmoraError noRowError() const;

    // Called by the parser as it finds a cell's end and a row's end.
    void cellEnded(const char* bytes, std::size_t size);
    void rowEnded();

private:
    std::optional<TableRow> nextRaw();
    void feed();
    void readHeading();
    void checkRow(const TableRow& row) const;

    QString path_;
    QFile file_;
    // Frees the parser's buffer too, also when the constructor throws.
    struct ParserRelease {
        void operator()(csv_parser* parser) const;
    };
    std::unique_ptr<csv_parser, ParserRelease> parser_;
    bool atEnd_ = false;
    int rowsSeen_ = 0;
    TableRow building_;
    std::deque<TableRow> ready_;
    QList<TextField> columns_;
    int keywordColumn_ = -1;
    std::optional<VelmoraError> failure_;  // found inside the parser, raised outside it
};

// Sets the row's cells on a page made from its keyword phrase, through the
// window's fields, so that a cell lands as if the user had typed it; an
// empty cell keeps what the page has.
void ApplyTableRow(const TableRow& row, const QList<TextField>& columns, PageFields& fields);

// Writes a new project with one page per row of the table `request.rowsPath`,
// each made as MakeKeywordProject makes a page from the row's phrase and
// then given the row's other cells. The project file is replaced only once
// every row has been read and written; a table that fails leaves it as it
// was. Returns the number of pages.
int MakeTableProject(const KeywordProjectRequest& request);

}  // namespace velmora
