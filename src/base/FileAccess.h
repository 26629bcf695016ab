#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace velmora {

// True when the file exists and must not be written: no write permission
// for us, or no write bit at all (which also holds a file back from root,
// as a read-only file is on the systems these files come from).
bool isReadOnlyFile(const QString& path);

// True when something other than a regular file (a FIFO, device, folder)
// is at the path, following links. A write there could wait forever.
bool isNonRegularFile(const QString& path);

// Opens an existing regular file, the path taken byte for byte (a name that
// is not UTF-8 still names its own file). A FIFO, device, socket or folder
// is refused at once, without waiting on it. `mode` is ReadOnly or
// ReadWrite, with Unbuffered allowed; the file is never created.
bool openRegularFile(QFile& file, const QByteArray& path, QIODevice::OpenMode mode);
// The same for a path the system gave as text (file dialogs, arguments).
bool openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode);

// The size of the regular file at the path's exact bytes; -1 when there is
// none.
qint64 regularFileSize(const QByteArray& path);

// How reading a whole small file ended.
enum class ReadOutcome { Read, Missing, Failed };

// Reads at most `limit` bytes of a regular file into `out`; a longer file,
// one that is not regular or one that cannot be read counts as Failed. The
// limit holds for the bytes actually read, whatever size the file claims.
ReadOutcome readWholeFile(const QString& path, qint64 limit, QByteArray& out);

}  // namespace velmora
