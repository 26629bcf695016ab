#include "StreamedGeneration.h"

#include <QDir>
#include <optional>

#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "generate/Generation.h"
#include "generate/HeadlessGeneration.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
#include "project/PageOperations.h"
#include "project/ProjectCompanion.h"

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
      startupDir_(startupDir)
{
    if (reader_.open(projectPath) != kFileOk) throw openFailure();
}

GenerationOptions StreamedGeneration::options(bool* withSiteFiles) const
{
    GenerationOptions options{
        .autoName = true,
        .msgFolder = false,
        .msgFile = false,
        .creditLink = VendorValues::read(SettingsFile::inDirectory(startupDir_)).linkInHtml,
        .saveFirst = false};
    const ProjectCompanion companion(projectPath_);
    options.pageHead = PageHeadChoiceOf(companion);
    *withSiteFiles = !SiteAddressOf(companion).isEmpty();
    return options;
}

void StreamedGeneration::walk(const AutoNamedRun& run, const PageVisitor& visit)
{
    MemoryPageFields fields;
    PageRecord page;
    QByteArray previousFileName;
    const int pageCount = reader_.pageCount();
    for (int i = 0; i < pageCount; ++i) {
        if (reader_.read(page) != kFileOk) throw openFailure();
        ShowPage(page, fields, run.projectType, i, pageCount);
        if (i == 0) {
            // As in a session: an opened project shows its first page, and
            // generation starts by storing the page shown.
            StorePage(page, fields, run.projectType);
            ShowPage(page, fields, run.projectType, i, pageCount);
        }
        visit(page, fields, i, previousFileName);
        previousFileName = page.text(TextField::Edit2);
    }
}

void StreamedGeneration::run(bool save, const std::function<void(const QString&)>& pageWritten)
{
    const int projectType = reader_.projectType();
    std::optional<ProjectFileWriter> writer;
    if (save) {
        writer.emplace();
        if (writer->open(projectPath_, projectType) != kFileOk) throw saveFailure();
    }
    // The sitemap needs every page's name; nothing is kept without one.
    bool withSiteFiles = false;
    const GenerationOptions options = this->options(&withSiteFiles);
    const QString projectName = fileNamePart(projectPath_);
    QuietPrompter prompter;
    PageGenerator generator;
    const AutoNamedRun run =
        generator.beginAutoNamed(projectPath_, projectName, projectType, prompter, options);
    std::vector<PublishedPage> published;

    walk(run, [&](PageRecord& page, PageFields& fields, int i, const QByteArray& previousFileName) {
        const QString path =
            generator.generateAutoNamedPage(page, fields, run, i, previousFileName, prompter, options);
        if (pageWritten) pageWritten(path);
        if (withSiteFiles) published.push_back({page.text(TextField::Edit2), path});
        if (writer && writer->append(page) != kFileOk) throw saveFailure();
    });
    skippedImages_ = generator.skippedImages();
    if (withSiteFiles) siteFiles_ = GenerateSiteFiles(projectPath_, projectName, published);
    if (writer && writer->commit() != kFileOk) throw saveFailure();
}

void StreamedGeneration::build(const std::function<void(const BuiltPage&)>& pageBuilt)
{
    bool withSiteFiles = false;
    const GenerationOptions options = this->options(&withSiteFiles);
    const QString projectName = fileNamePart(projectPath_);
    // The run's folder is only named, never made.
    const AutoNamedRun run{.projectType = reader_.projectType(),
                           .projectName = projectName,
                           .folder = QFile::encodeName(OutputFolder(projectPath_, projectName))};
    walk(run, [&](PageRecord& page, PageFields& fields, int i, const QByteArray& previousFileName) {
        PrepareAutoNamedPage(page, fields, run, i, previousFileName);
        const QByteArray name = page.text(TextField::Edit2);
        pageBuilt({.index = i,
                   .fileName = name,
                   .lines = BuildPage(fields, run.projectType, options.creditLink,
                                      options.pageHead.headFor(name))});
    });
}

}  // namespace velmora
