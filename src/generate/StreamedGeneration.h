#pragma once

#include <QString>
#include <functional>

namespace velmora {

// Generates every page of a project file as velmora-cli does (auto-named,
// no messages, the credit link from velmora.ini in `startupDir`), reading
// and writing one record at a time, so memory stays that of a page whatever
// the project's size. The page files and records come out exactly as from
// generating the whole project in a session.
//
// With `save`, the updated records go to a temporary file beside the
// project that replaces it once every page is written; a failure leaves the
// project file as it was. `pageWritten` hears each page file's path as soon
// as the file is written.
//
// Raises VelmoraError "Error opening file" when the project cannot be read,
// "Error saving file" when it cannot be written back, and FileError for a
// page file that cannot be written.
void GenerateProjectFile(const QString& projectPath, const QString& startupDir, bool save,
                         const std::function<void(const QString&)>& pageWritten);

}  // namespace velmora
