#include "StreamedGeneration.h"

#include <optional>

#include "base/Errors.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "generate/Generation.h"
#include "generate/HeadlessGeneration.h"
#include "project/PageOperations.h"
#include "project/ProjectFile.h"

namespace velmora {

void GenerateProjectFile(const QString& projectPath, const QString& startupDir, bool save,
                         const std::function<void(const QString&)>& pageWritten)
{
    const VelmoraError openFailure(QStringLiteral("Error opening file"));
    const VelmoraError saveFailure(QStringLiteral("Error saving file"));

    ProjectFileReader reader;
    if (reader.open(projectPath) != kFileOk) throw openFailure;
    const int projectType = reader.projectType();
    std::optional<ProjectFileWriter> writer;
    if (save) {
        writer.emplace();
        if (writer->open(projectPath, projectType) != kFileOk) throw saveFailure;
    }

    const GenerationOptions options{
        .autoName = true,
        .msgFolder = false,
        .msgFile = false,
        .creditLink = VendorValues::read(SettingsFile::inDirectory(startupDir)).linkInHtml,
        .saveFirst = false};
    QuietPrompter prompter;
    MemoryPageFields fields;
    PageGenerator generator;
    const AutoNamedRun run =
        generator.beginAutoNamed(projectPath, fileNamePart(projectPath), projectType, prompter, options);

    PageRecord page;
    QByteArray previousFileName;
    const int pageCount = reader.pageCount();
    for (int i = 0; i < pageCount; ++i) {
        if (reader.read(page) != kFileOk) throw openFailure;
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
        if (writer && writer->append(page) != kFileOk) throw saveFailure;
    }
    if (writer && writer->commit() != kFileOk) throw saveFailure;
}

}  // namespace velmora
