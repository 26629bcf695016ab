#include "SubmissionFile.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "base/FolderFile.h"

namespace velmora {

namespace {

constexpr qint64 kCountSize = 4;
constexpr qint64 kEntrySize = qint64(kSubmissionEntrySize);

}  // namespace

QString submissionFilePath(const QString& startupDir)
{
    return startupDir + QStringLiteral("/addurl.ini");
}

FileResult ReadSubmissionFile(const QString& path, SubmissionList& out)
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

FileResult WriteSubmissionFile(const QString& path, const SubmissionList& list)
{
    QByteArray bytes(kCountSize + kEntrySize * list.size(), Qt::Uninitialized);
    qToLittleEndian<qint32>(list.size(), bytes.data());
    for (int i = 0; i < list.size(); ++i) {
        const auto entry = list[i].bytes();
        std::copy(entry.begin(), entry.end(), bytes.begin() + kCountSize + kEntrySize * i);
    }
    try {
        writeFileAtPath(path, bytes, FileUse::State);
    } catch (const FileError&) {
        return kFileCannotOpen;
    }
    return kFileOk;
}

}  // namespace velmora
