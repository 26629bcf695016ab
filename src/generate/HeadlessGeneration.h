#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "base/Prompter.h"
#include "generate/Generation.h"
#include "generate/SiteFiles.h"
#include "project/PageFields.h"
#include "project/ProjectSession.h"

namespace velmora {

// Answers no question and keeps the messages it was shown, for programs
// without a window.
class QuietPrompter final : public Prompter {
public:
    using Prompter::message;
    void message(const QString& caption, const QString& text, MessageIcon icon,
                 const QString& informative) override;
    Answer askYesNoCancel(const QString&, const QString&) override { return Answer::Cancel; }
    Answer askYesNo(const QString&, const QString&) override { return Answer::No; }
    std::optional<QString> openFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::uint32_t> chooseColour(std::uint32_t) override { return std::nullopt; }
    std::optional<int> chooseProjectType() override { return std::nullopt; }
    std::optional<int> askNumber(const QString&, const QString&, int, int, int) override
    {
        return std::nullopt;
    }

    const QStringList& messages() const { return messages_; }

private:
    QStringList messages_;
};

// A page as generation would write it.
struct BuiltPage {
    int index = 0;  // from 0, in project order
    QByteArray fileName;
    QByteArrayList lines;
};

// A project opened without a window: the same session, fields in memory and
// auto-named generation with both information messages off, as velmora-cli
// uses it. The start-up directory holds the velmora.ini the credit link
// comes from.
class HeadlessProject {
public:
    // Raises VelmoraError "Error opening file" when the file cannot be read.
    HeadlessProject(const QString& projectPath, const QString& startupDir);

    // Writes every page file and returns their paths in page order; then,
    // when the project has a site address, its site files.
    QStringList generate();
    // The same, telling `pageWritten` each page file's path as it is written;
    // without `keepRecords` the project's records stay as they were read.
    void generate(const PageGenerator::PageWritten& pageWritten, bool keepRecords = true);
    // Builds every page exactly as generate() writes it, and writes
    // nothing: no page, no image, no folder. For checking pages before they
    // go out.
    void build(const std::function<void(const BuiltPage&)>& pageBuilt);
    // The images the last generate() skipped, and a robots.txt it left
    // alone, one line each.
    const QStringList& skippedImages() const { return skippedImages_; }
    // The site files of the last generate().
    const std::vector<SiteFile>& siteFiles() const { return siteFiles_; }
    // Writes the project file; raises VelmoraError "Error saving file".
    void save();

    ProjectSession& session() { return session_; }
    const ProjectData& project() const { return session_.project(); }

private:
    GenerationOptions options(bool keepRecords);

    MemoryPageFields fields_;
    QuietPrompter prompter_;
    ProjectSession session_;
    PageGenerator generator_;
    QByteArray creditLink_;
    std::vector<SiteFile> siteFiles_;
    QStringList skippedImages_;
};

}  // namespace velmora
