#include "HeadlessGeneration.h"

#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
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

void HeadlessProject::generate(const PageGenerator::PageWritten& pageWritten, bool keepRecords)
{
    generator_.GeneratePages(session_,
                             {.autoName = true,
                              .msgFolder = false,
                              .msgFile = false,
                              .creditLink = creditLink_,
                              .saveFirst = false,
                              .keepRecords = keepRecords},
                             pageWritten);
    skippedImages_ = generator_.skippedImages();
    siteFiles_ = GenerateSiteFiles(session_, {}, &skippedImages_);
}

void HeadlessProject::save()
{
    if (!session_.save()) throw VelmoraError(QStringLiteral("Error saving file"));
}

}  // namespace velmora
