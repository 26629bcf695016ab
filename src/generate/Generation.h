#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "project/ProjectSession.h"

namespace velmora {

struct GenerationOptions {
    bool autoName = true;   // AUTO_NAME
    bool msgFolder = true;  // MSG_FOLDER
    bool msgFile = true;    // MSG_FILE
    QByteArray creditLink;  // LINK_IN_HTML
    // The window saves the project before generating; velmora-cli writes
    // the project file only when asked to.
    bool saveFirst = true;
};

// Writes one HTML file per page of the session's project. It owns the page
// save dialog's memory of the file chosen last, so keep one generator for
// the life of the window.
class PageGenerator {
public:
    // True when every page was written; false when the user cancelled a save
    // dialog. A page file that cannot be written raises FileError, leaving
    // that page shown. Every written page file's path goes to `written`.
    bool GeneratePages(ProjectSession& session, const GenerationOptions& options,
                       QStringList* written = nullptr);

private:
    void generateAutoNamed(ProjectSession& session, const GenerationOptions& options,
                           QStringList* written);
    bool generateWithSaveDialogs(ProjectSession& session, const GenerationOptions& options,
                                 QStringList* written);
    QString writePage(ProjectSession& session, const GenerationOptions& options);

    QString lastChosenFile_;
};

// Writes lines, each followed by CR LF, replacing the file; FileError
// "Cannot create file %s" when that fails.
void WritePageFile(const QString& path, const QByteArrayList& lines);

// Copies the page's image beside it, replacing a file of that name. Any
// failure is ignored; a copy onto itself is skipped so the image survives.
void CopyPageImage(const QByteArray& imageSource, const QString& target);

}  // namespace velmora
