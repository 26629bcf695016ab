#include "HeadlessGeneration.h"

#include <QFile>

#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "generate/Naming.h"
#include "generate/PageBuilder.h"
#include "project/PageOperations.h"
#include "project/ProjectFile.h"

namespace velmora {

void QuietPrompter::message(const QString&, const QString& text, MessageIcon, const QString&)
{
    messages_.append(text);
}

HeadlessProject::HeadlessProject(const QString& projectPath, const QString& startupDir)
    : session_(fields_, prompter_, startupDir),
      creditLink_(VendorValues::read(SettingsFile::inDirectory(startupDir)).linkInHtml)
{
    if (session_.openProject(projectPath) != kFileOk) {
        throw VelmoraError(QStringLiteral("Error opening file"),
                           fileFailureDetail(projectPath, session_.openFailure()));
    }
}

QStringList HeadlessProject::generate()
{
    QStringList written;
    generate([&written](const QString& path) { written.append(path); });
    return written;
}

GenerationOptions HeadlessProject::options(bool keepRecords)
{
    return {.autoName = true,
            .msgFolder = false,
            .msgFile = false,
            .creditLink = creditLink_,
            .saveFirst = false,
            .keepRecords = keepRecords,
            .pageHead = PageHeadChoiceOf(session_.companion())};
}

void HeadlessProject::generate(const PageGenerator::PageWritten& pageWritten, bool keepRecords)
{
    generator_.GeneratePages(session_, options(keepRecords), pageWritten);
    skippedImages_ = generator_.skippedImages();
    siteFiles_ = GenerateSiteFiles(session_, {}, &skippedImages_);
}

void HeadlessProject::build(const std::function<void(const BuiltPage&)>& pageBuilt)
{
    const GenerationOptions options = this->options(false);
    // The run's folder is only named, never made.
    const AutoNamedRun run{
        .projectType = session_.projectType(),
        .projectName = session_.projectName(),
        .folder = QFile::encodeName(OutputFolder(session_.projectPath(), session_.projectName()))};
    // As generation does: the page shown is stored first.
    session_.storeCurrentPage();
    const PageList& pages = session_.project().pages;
    const int count = pages.size();
    MemoryPageFields fields;
    QByteArray previousName;
    for (int i = 0; i < count; ++i) {
        PageRecord page = pages.at(i);
        ShowPage(page, fields, run.projectType, i, count);
        PrepareAutoNamedPage(page, fields, run, i, previousName);
        previousName = page.text(TextField::Edit2);
        pageBuilt({.index = i,
                   .fileName = previousName,
                   .lines = BuildPage(fields, run.projectType, options.creditLink,
                                      options.pageHead.headFor(previousName))});
    }
}

void HeadlessProject::save()
{
    if (!session_.save()) throw VelmoraError(QStringLiteral("Error saving file"));
}

}  // namespace velmora
