#pragma once

#include <QString>

#include "SubmissionList.h"
#include "project/ProjectFile.h"  // the file results kFileOk, kFileCannotOpen, kFileShort

namespace velmora {

// Where the submission list lives: "addurl.ini" in the start-up directory
// (given without a trailing separator).
QString submissionFilePath(const QString& startupDir);

// Reads the count and that many entries into `out`, but only when the whole
// list reads: a failure leaves `out` as it was. Returns 0 on success, 1 when
// the file is missing or read-only, 2 when it is shorter than 4 bytes or than
// its count says, or when the count is 0 or less (a list with nothing to
// show). Bytes after the last counted entry are ignored.
int ReadSubmissionFile(const QString& path, SubmissionList& out);

// Writes the count and every entry, exactly 4 + 520 x N bytes. The file is
// replaced atomically: when the write fails, the old file stays whole.
// Returns 0 on success, 1 when the file cannot be opened or created, 2 when
// a write comes up short.
int WriteSubmissionFile(const QString& path, const SubmissionList& list);

}  // namespace velmora
