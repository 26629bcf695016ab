#pragma once

#include <QString>

#include "Project.h"

namespace velmora {

// Results of the project file operations.
enum FileResult : int {
    kFileOk = 0,
    kFileCannotOpen = 1,
    kFileShort = 2,
};

// Writes the project type, the page count and every record, little-endian.
// The file is replaced atomically: when the write fails, the old file stays
// whole.
int WriteProjectFile(const QString& path, const ProjectData& project);

// Reads a project into `out` only when the whole file reads: a failure
// leaves `out` as it was. A page count of 0 or less is refused as short.
// Bytes after the last record are ignored.
int ReadProjectFile(const QString& path, ProjectData& out);

}  // namespace velmora
