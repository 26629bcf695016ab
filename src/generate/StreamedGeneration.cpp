#include "StreamedGeneration.h"

#include <QDir>
#include <optional>

#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "generate/Generation.h"
#include "generate/HeadlessGeneration.h"
#include "project/PageOperations.h"

namespace velmora {

namespace {

VelmoraError saveFailure() { return VelmoraError(QStringLiteral("Error saving file")); }
VelmoraError openFailure() { return VelmoraError(QStringLiteral("Error opening file")); }

}  // namespace

StreamedGeneration::StreamedGeneration(const QString& projectPath, const QString& startupDir)
    // PageFolder is made from this path, and must not depend on the folder
    // that is current when the project is next used.
    : projectPath_(QDir::isRelativePath(projectPath) ? QDir::currentPath() + u'/' + projectPath
                                                     : projectPath),
      startupDir_(startupDir),
      companion_(projectPath_)
{
    if (reader_.open(projectPath) != kFileOk) throw openFailure();
}

void StreamedGeneration::run(bool save, const std::function<void(const QString&)>& pageWritten)
{
    const int projectType = reader_.projectType();
    std::optional<ProjectFileWriter> writer;
    if (save) {
        writer.emplace();
        if (writer->open(projectPath_, projectType) != kFileOk) throw saveFailure();
    }

    const GenerationOptions options{
        .autoName = true,
        .msgFolder = false,
        .msgFile = false,
        .creditLink = VendorValues::read(SettingsFile::inDirectory(startupDir_)).linkInHtml,
        .saveFirst = false};
    const QString projectName = fileNamePart(projectPath_);
    QuietPrompter prompter;
    MemoryPageFields fields;
    PageGenerator generator;
    const AutoNamedRun run =
        generator.beginAutoNamed(projectPath_, projectName, projectType, prompter, options);
    // The sitemap needs every page's name; nothing is kept without one.
    const bool withSiteFiles = !SiteAddressOf(companion_).isEmpty();
    std::vector<PublishedPage> published;

    PageRecord page;
    QByteArray previousFileName;
    const int pageCount = reader_.pageCount();
    for (int i = 0; i < pageCount; ++i) {
        if (reader_.read(page) != kFileOk) throw openFailure();
        ShowPage(page, fields, projectType, i, pageCount);
        if (i == 0) {
            // As in a session: an opened project shows its first page, and
            // generation starts by storing the page shown.
            StorePage(page, fields, projectType);
            ShowPage(page, fields, projectType, i, pageCount);
        }
        const QString path =
            generator.generateAutoNamedPage(page, fields, run, i, previousFileName, prompter, options);
        if (pageWritten) pageWritten(path);
        previousFileName = page.text(TextField::Edit2);
        if (withSiteFiles) published.push_back({previousFileName, path});
        if (writer && writer->append(page) != kFileOk) throw saveFailure();
    }
    skippedImages_ = generator.skippedImages();
    if (withSiteFiles) {
        siteFiles_ = GenerateSiteFiles(companion_, projectPath_, projectName, published, {},
                                       &skippedImages_);
    }
    if (writer && writer->commit() != kFileOk) throw saveFailure();
}

}  // namespace velmora
