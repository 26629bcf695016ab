#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <vector>

#include "project/Project.h"

namespace velmora::test {

class TempDir;

// Makes a project through the core's own writer: each page starts from a
// new page's defaults (linked to the page before it in an Interlinked
// project), then takes the changes given here, in their order, before the
// next page starts.
//
//     ProjectBuilder(3).type(kSingle).text(TextField::Heading, numbered("Page ")).writeTo(dir);
class ProjectBuilder {
public:
    using Change = std::function<void(PageRecord& page, int index)>;

    explicit ProjectBuilder(int pageCount = 1) : pageCount_(pageCount) {}

    ProjectBuilder& type(int projectType) { projectType_ = projectType; return *this; }
    // The folder new pages look for the default picture in.
    ProjectBuilder& startupDir(const QByteArray& folder) { startupDir_ = folder; return *this; }
    // Anything else, page by page.
    ProjectBuilder& with(Change change)
    {
        changes_.push_back(std::move(change));
        return *this;
    }
    ProjectBuilder& text(TextField field, std::function<QByteArray(int index)> valueOfPage)
    {
        return with([field, valueOfPage](PageRecord& page, int i) { page.setText(field, valueOfPage(i)); });
    }
    ProjectBuilder& text(TextField field, const QByteArray& value)
    {
        return with([field, value](PageRecord& page, int) { page.setText(field, value); });
    }
    // Every page shows the picture `sourceFile` under `name`.
    ProjectBuilder& image(const QString& sourceFile, const QByteArray& name)
    {
        return text(TextField::ImageSource, QFile::encodeName(sourceFile)).text(TextField::Image, name);
    }

    ProjectData build() const;
    // Writes the project (a failure fails the test) and gives its path.
    QString writeTo(const TempDir& dir, const QString& name = QStringLiteral("site.kpj")) const;
    void write(const QString& path) const;

private:
    int projectType_ = kInterlinked;
    int pageCount_;
    QByteArray startupDir_ = "/nowhere";
    std::vector<Change> changes_;
};

// `prefix` followed by the page's index: "Page 0", "Page 1", ...
inline std::function<QByteArray(int)> numbered(const QByteArray& prefix)
{
    return [prefix](int i) { return prefix + QByteArray::number(i); };
}

}  // namespace velmora::test
