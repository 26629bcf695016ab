#include "ProjectFile.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include "base/FileAccess.h"

namespace velmora {

namespace {

constexpr qint64 kHeaderSize = 8;

}  // namespace

int WriteProjectFile(const QString& path, const ProjectData& project)
{
    // A read-only project file is refused as it would be by an in-place write;
    // the atomic replace below could otherwise swap it out.
    if (isReadOnlyFile(path) || isNonRegularFile(path)) return kFileCannotOpen;

    QSaveFile file(path);
    // A folder that cannot hold the temporary file (read-only, say) still
    // lets a writable project file be saved, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return kFileCannotOpen;

    char header[kHeaderSize];
    qToLittleEndian<qint32>(project.projectType, header);
    qToLittleEndian<qint32>(project.pages.size(), header + 4);
    if (file.write(header, kHeaderSize) != kHeaderSize) return kFileShort;
    for (int i = 0; i < project.pages.size(); ++i) {
        const auto bytes = project.pages[i].bytes();
        if (file.write(bytes.data(), kPageRecordSize) != qint64(kPageRecordSize))
            return kFileShort;
    }
    return file.commit() ? kFileOk : kFileShort;
}

int ReadProjectFile(const QString& path, ProjectData& out)
{
    // The file is opened for writing too, so a read-only file counts as one
    // that cannot be opened.
    if (isReadOnlyFile(path)) return kFileCannotOpen;
    // Only a regular file: a FIFO or device would hold the program forever.
    QFile file;
    if (!openRegularFile(file, path, QIODevice::ReadWrite)) return kFileCannotOpen;

    char header[kHeaderSize];
    if (file.read(header, kHeaderSize) != kHeaderSize) return kFileShort;
    const qint32 type = qFromLittleEndian<qint32>(header);
    const qint32 count = qFromLittleEndian<qint32>(header + 4);
    if (count <= 0) return kFileShort;

    // Memory follows the records actually read, whatever the count promises
    // or the file system claims: a count larger than the file fails at its
    // end, having cost one record more than the file holds.
    ProjectData read;
    read.projectType = type;
    read.pages.reserve(std::min<qint32>(count, 1024));
    for (qint32 i = 0; i < count; ++i) {
        const auto bytes = read.pages.append().bytes();
        if (file.read(bytes.data(), kPageRecordSize) != qint64(kPageRecordSize)) return kFileShort;
    }
    out = std::move(read);
    return kFileOk;
}

}  // namespace velmora
