#include "SubmissionFile.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include "base/FileAccess.h"

namespace velmora {

namespace {

constexpr qint64 kCountSize = 4;
constexpr qint64 kEntrySize = qint64(kSubmissionEntrySize);

}  // namespace

QString submissionFilePath(const QString& startupDir)
{
    return startupDir + QStringLiteral("/addurl.ini");
}

int ReadSubmissionFile(const QString& path, SubmissionList& out)
{
    // The file is opened for writing too, so a read-only file counts as one
    // that cannot be opened.
    if (isReadOnlyFile(path)) return kFileCannotOpen;
    // Only a regular file: a FIFO or device would hold the program forever.
    QFile file;
    if (!openRegularFile(file, path, QIODevice::ReadWrite)) return kFileCannotOpen;

    char countBytes[kCountSize];
    if (file.read(countBytes, kCountSize) != kCountSize) return kFileShort;
    const qint32 count = qFromLittleEndian<qint32>(countBytes);
    if (count <= 0) return kFileShort;

    // Memory follows the entries actually read, whatever the count promises
    // or the file system claims.
    SubmissionList read;
    for (qint32 i = 0; i < count; ++i) {
        const auto bytes = read.append().bytes();
        if (file.read(bytes.data(), kEntrySize) != kEntrySize) return kFileShort;
    }
    out = std::move(read);
    return kFileOk;
}

int WriteSubmissionFile(const QString& path, const SubmissionList& list)
{
    // A read-only list is refused as an in-place write would refuse it; the
    // atomic replace below could otherwise swap it out.
    if (isReadOnlyFile(path) || isNonRegularFile(path)) return kFileCannotOpen;

    QSaveFile file(path);
    // A folder that cannot hold the temporary file still lets a writable
    // list be saved, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return kFileCannotOpen;

    char countBytes[kCountSize];
    qToLittleEndian<qint32>(list.size(), countBytes);
    if (file.write(countBytes, kCountSize) != kCountSize) return kFileShort;
    for (int i = 0; i < list.size(); ++i) {
        const auto bytes = list[i].bytes();
        if (file.write(bytes.data(), kEntrySize) != kEntrySize) return kFileShort;
    }
    return file.commit() ? kFileOk : kFileShort;
}

}  // namespace velmora
