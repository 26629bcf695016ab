#pragma once

#include <QString>

namespace velmora {

// True when the file exists and must not be written: no write permission
// for us, or no write bit at all (which also holds a file back from root,
// as a read-only file is on the systems these files come from).
bool isReadOnlyFile(const QString& path);

}  // namespace velmora
