#pragma once

#include <QString>

#include "SubmissionList.h"
#include "base/FileResult.h"

namespace velmora {

// Where the submission list lives: "addurl.ini" in the start-up directory
// (given without a trailing separator).
QString submissionFilePath(const QString& startupDir);

// Reads the count and that many entries into `out`, but only when the whole
// list reads: a failure leaves `out` as it was. kFileCannotOpen when the
// file is missing, read-only or not a regular file; kFileShort when it is
// shorter than 4 bytes or than its count says, or when the count is 0 or
// less (a list with nothing to show). Bytes after the last counted entry are
// ignored.
FileResult ReadSubmissionFile(const QString& path, SubmissionList& out);

// Writes the count and every entry, exactly 4 + 520 x N bytes. The file is
// replaced atomically, a link at its name replaced rather than written
// through: when the write fails, the old file stays whole. kFileCannotOpen
// when the file is read-only, a FIFO, device or folder is in its place, or
// it cannot be written.
FileResult WriteSubmissionFile(const QString& path, const SubmissionList& list);

}  // namespace velmora
