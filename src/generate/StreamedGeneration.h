#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "generate/HeadlessGeneration.h"
#include "generate/SiteFiles.h"

namespace velmora {

// Generates every page of a project file as velmora-cli does (auto-named,
// no messages, the credit link from velmora.ini in the start-up folder),
// through the same generator as the window, which reads and writes one
// record at a time, so memory stays flat whatever the project's size.
class StreamedGeneration {
public:
    // Opens the project file; VelmoraError "Error opening file" when it
    // does not read.
    StreamedGeneration(const QString& projectPath, const QString& startupDir);

    // Writes every page file, telling `pageWritten` each path as soon as the
    // file is written, then the site files when the project has a site
    // address. With `save`, the updated records go to a temporary file
    // beside the project that replaces it once everything is written; a
    // failure leaves the project file as it was. Raises VelmoraError "Error
    // saving file" when the project cannot be written back, and FileError
    // for a file that cannot be written.
    void run(bool save, const std::function<void(const QString&)>& pageWritten);

    // A page as run() would write it.
    using BuiltPage = velmora::BuiltPage;
    // Builds every page exactly as run() writes it, and writes nothing: no
    // page, no image, no folder. For checking pages before they go out.
    void build(const std::function<void(const BuiltPage&)>& pageBuilt) { project_.build(pageBuilt); }

    // The site files of the run.
    const std::vector<SiteFile>& siteFiles() const { return project_.siteFiles(); }
    // The images the run skipped, one line each.
    const QStringList& skippedImages() const { return project_.skippedImages(); }
    // The project's companion, open for the whole run.
    ProjectCompanion& companion() { return project_.session().companion(); }

private:
    HeadlessProject project_;
};

}  // namespace velmora
