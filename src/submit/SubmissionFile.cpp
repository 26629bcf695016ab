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
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) return kFileCannotOpen;

    char countBytes[kCountSize];
    if (file.read(countBytes, kCountSize) != kCountSize) return kFileShort;
    const qint32 count = qFromLittleEndian<qint32>(countBytes);
    if (count <= 0) return kFileShort;
    // A count that promises more than the file holds fails before any memory
    // is spent on it.
    if ((file.size() - kCountSize) / kEntrySize < count) return kFileShort;

    SubmissionList read;
    read.reserve(count);
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
    if (isReadOnlyFile(path)) return kFileCannotOpen;

    QSaveFile file(path);
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
