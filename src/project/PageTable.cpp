#include "PageTable.h"

#include <QFileInfo>
#include <csv.h>

#include "base/FolderFile.h"
#include "project/PageFields.h"

namespace velmora {

namespace {

constexpr qint64 kChunkSize = 64 * 1024;
// More cells than any heading of page fields could have: a row of endless
// empty cells is refused before it fills the memory.
constexpr int kMaxCells = 4 * kTextFieldCount;

const QByteArray kByteOrderMark = "\xEF\xBB\xBF";

// Fields the program sets itself, never a table.
constexpr TextField kProgramFields[] = {TextField::PageFolder, TextField::PreviousLinkName,
                                        TextField::PreviousLinkAddress, TextField::RobotsTag,
                                        TextField::ComboBox1};

bool isMultiLine(TextField f) { return f == TextField::SubHeading || f == TextField::Description; }

QString fieldName(TextField f) { return QString::fromLatin1(slotOf(f).name); }

// RFC 4180 keeps the blanks around a cell; libcsv would drop them.
int noBlank(unsigned char) { return 0; }

extern "C" void onCell(void* bytes, std::size_t size, void* reader)
{
    static_cast<PageTableReader*>(reader)->cellEnded(static_cast<const char*>(bytes), size);
}

extern "C" void onRow(int, void* reader) { static_cast<PageTableReader*>(reader)->rowEnded(); }

}  // namespace

std::optional<TextField> TableColumnField(QByteArrayView name)
{
    for (int i = 0; i < kTextFieldCount; ++i) {
        const auto field = static_cast<TextField>(i);
        if (name != QByteArrayView(slotOf(field).name.data(), qsizetype(slotOf(field).name.size())))
            continue;
        for (TextField own : kProgramFields)
            if (own == field) return std::nullopt;
        return field;
    }
    return std::nullopt;
}

PageTableReader::PageTableReader(const QString& path)
    : path_(path), file_(path), parser_(new csv_parser{})
{
    // Only a regular file: a FIFO or a device would never end.
    if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    if (csv_init(parser_.get(), CSV_STRICT | CSV_STRICT_FINI) != 0)
        throw FileError::cannotOpen(path);
    csv_set_space_func(parser_.get(), noBlank);
    readHeading();
}

PageTableReader::~PageTableReader() = default;

void PageTableReader::ParserRelease::operator()(csv_parser* parser) const
{
    csv_free(parser);  // a zeroed parser holds no buffer, so this is safe before csv_init
    delete parser;
}

VelmoraError PageTableReader::error(int row, int column, const QString& text) const
{
    QString where = QStringLiteral("%1, row %2").arg(path_).arg(row);
    if (column > 0) {
        where += QStringLiteral(", column %1").arg(column);
        if (column <= columns_.size())
            where += QStringLiteral(" (%1)").arg(fieldName(columns_[column - 1]));
    }
    return VelmoraError(where + QStringLiteral(": ") + text);
}

void PageTableReader::cellEnded(const char* bytes, std::size_t size)
{
    if (failure_) return;
    const qsizetype cells = building_.cells.size();
    if (cells >= kMaxCells || (!columns_.isEmpty() && cells >= columns_.size())) {
        failure_ = error(rowsSeen_ + 1, int(building_.cells.size()) + 1,
                         QStringLiteral("more cells than the table has columns"));
        return;
    }
    building_.cells.append(QByteArray(bytes, qsizetype(size)));
}

void PageTableReader::rowEnded()
{
    if (failure_) return;
    building_.number = ++rowsSeen_;
    ready_.push_back(std::move(building_));
    building_ = {};
}

void PageTableReader::feed()
{
    const QByteArray chunk = file_.read(kChunkSize);
    if (file_.error() != QFileDevice::NoError) throw FileError::cannotOpen(path_);
    QByteArrayView bytes = chunk;
    // A byte-order mark, as spreadsheets write it, is no part of the heading.
    if (file_.pos() == chunk.size() && bytes.startsWith(kByteOrderMark)) bytes = bytes.sliced(3);
    const bool parsed = csv_parse(parser_.get(), bytes.data(), std::size_t(bytes.size()), onCell,
                                  onRow, this) == std::size_t(bytes.size());
    if (failure_) throw *failure_;
    if (!parsed) {
        throw error(rowsSeen_ + 1, int(building_.cells.size()) + 1,
                    QStringLiteral("not CSV: a double quote inside a cell that is not quoted, or "
                                   "after the closing quote"));
    }
    if (csv_get_buffer_size(parser_.get()) > std::size_t(kMaxCellSize)) {
        throw error(rowsSeen_ + 1, int(building_.cells.size()) + 1,
                    QStringLiteral("a cell longer than %1 bytes").arg(kMaxCellSize));
    }
    if (chunk.isEmpty()) {
        atEnd_ = true;
        if (csv_fini(parser_.get(), onCell, onRow, this) != 0) {
            throw error(rowsSeen_ + 1, int(building_.cells.size()) + 1,
                        QStringLiteral("not CSV: a quoted cell that is never closed"));
        }
        if (failure_) throw *failure_;
    }
}

std::optional<TableRow> PageTableReader::nextRaw()
{
    for (;;) {
        while (!ready_.empty()) {
            TableRow row = std::move(ready_.front());
            ready_.pop_front();
            // A row of empty cells, as spreadsheets leave at the end, is a
            // blank line.
            for (const QByteArray& cell : row.cells)
                if (!cell.isEmpty()) return row;
        }
        if (atEnd_) return std::nullopt;
        feed();
    }
}

void PageTableReader::readHeading()
{
    const std::optional<TableRow> heading = nextRaw();
    if (!heading) throw error(1, 0, QStringLiteral("no heading row naming the page fields"));
    for (qsizetype i = 0; i < heading->cells.size(); ++i) {
        const QByteArray name = heading->cells[i].trimmed();
        const int column = int(i) + 1;
        const std::optional<TextField> field = TableColumnField(name);
        if (!field) {
            throw error(heading->number, column,
                        QStringLiteral("\"%1\" is not a page field a table can set")
                            .arg(QString::fromUtf8(name.left(64))));
        }
        if (columns_.contains(*field))
            throw error(heading->number, column,
                        QStringLiteral("%1 is named twice").arg(fieldName(*field)));
        columns_.append(*field);
    }
    keywordColumn_ = int(columns_.indexOf(TextField::KeywordPhrase));
    if (keywordColumn_ < 0)
        throw error(heading->number, 0, QStringLiteral("no KeywordPhrase column"));
}

void PageTableReader::checkRow(const TableRow& row) const
{
    // Rows read with the heading were cut before the columns were known.
    if (row.cells.size() > columns_.size()) {
        throw error(row.number, int(columns_.size()) + 1,
                    QStringLiteral("more cells than the table has columns"));
    }
    for (qsizetype i = 0; i < row.cells.size(); ++i) {
        const QByteArray& cell = row.cells[i];
        const TextField field = columns_[i];
        const int column = int(i) + 1;
        if (!cell.isValidUtf8() || cell.contains('\0'))
            throw error(row.number, column, QStringLiteral("not UTF-8 text"));
        const bool lineBreak = cell.contains('\n') || cell.contains('\r');
        if (lineBreak && !isMultiLine(field))
            throw error(row.number, column, QStringLiteral("a line break in a one-line field"));
        const QByteArray stored = isMultiLine(field) ? normaliseMultiLine(field, cell) : cell;
        if (!fitsField(field, stored)) {
            throw error(row.number, column,
                        QStringLiteral("%1 bytes do not fit the field (%2 at most)")
                            .arg(stored.size())
                            .arg(slotOf(field).width - 1));
        }
        if (field == TextField::Edit2 && !cell.isEmpty() && !isPlainFileName(cell))
            throw error(row.number, column, QStringLiteral("a file name is a name, not a path"));
    }
    const QByteArray phrase =
        keywordColumn_ < row.cells.size() ? row.cells[keywordColumn_].trimmed() : QByteArray();
    if (phrase.isEmpty())
        throw error(row.number, keywordColumn_ + 1, QStringLiteral("no keyword phrase"));
}

VelmoraError PageTableReader::noRowError() const
{
    return error(2, 0, QStringLiteral("no page: the table has a heading row only"));
}

std::optional<TableRow> PageTableReader::next()
{
    std::optional<TableRow> row = nextRaw();
    if (row) checkRow(*row);
    return row;
}

void ApplyTableRow(const TableRow& row, const QList<TextField>& columns, PageFields& fields)
{
    for (qsizetype i = 0; i < row.cells.size(); ++i) {
        const QByteArray& cell = row.cells[i];
        const TextField field = columns[i];
        // The phrase made the page already.
        if (cell.isEmpty() || field == TextField::KeywordPhrase) continue;
        fields.setText(field, isMultiLine(field) ? normaliseMultiLine(field, cell) : cell);
    }
}

int MakeTableProject(const KeywordProjectRequest& request)
{
    KeywordPageSetup setup = PageSetupFor(request);
    PageTableReader table(request.rowsPath);
    return WriteKeywordProject(
        request, std::move(setup),
        [&](KeywordPageMaker& maker) -> const PageRecord* {
            const std::optional<TableRow> row = table.next();
            if (!row) return nullptr;
            const QByteArray phrase = row->cells[table.keywordColumn()].trimmed();
            return &maker.make(
                phrase, [&](PageFields& fields) { ApplyTableRow(*row, table.columns(), fields); });
        },
        [&] { return table.noRowError(); });
}

}  // namespace velmora
