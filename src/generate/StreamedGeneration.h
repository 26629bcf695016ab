#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "generate/Generation.h"
#include "generate/SiteFiles.h"
#include "project/ProjectFile.h"

namespace velmora {

// Generates every page of a project file as velmora-cli does (auto-named,
// no messages, the credit link from velmora.ini in the start-up folder),
// reading and writing one record at a time, so memory stays that of a page
// whatever the project's size. The page files, site files and records come
// out exactly as from generating the whole project in a session.
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
    struct BuiltPage {
        int index = 0;  // from 0, in project order
        QByteArray fileName;
        QByteArrayList lines;
    };
    // Builds every page exactly as run() writes it, and writes nothing: no
    // page, no image, no folder. For checking pages before they go out.
    void build(const std::function<void(const BuiltPage&)>& pageBuilt);

    // The site files of the run.
    const std::vector<SiteFile>& siteFiles() const { return siteFiles_; }
    // The images the run skipped, one line each.
    const QStringList& skippedImages() const { return skippedImages_; }

private:
    using PageVisitor = std::function<void(PageRecord& page, PageFields& fields, int index,
                                           const QByteArray& previousFileName)>;
    GenerationOptions options(bool* withSiteFiles) const;
    // Reads each page and shows it as a session would before generating it.
    void walk(const AutoNamedRun& run, const PageVisitor& visit);

    QString projectPath_;
    QString startupDir_;
    ProjectFileReader reader_;
    std::vector<SiteFile> siteFiles_;
    QStringList skippedImages_;
};

}  // namespace velmora
