#include "ProjectBuilder.h"

#include <gtest/gtest.h>

#include <QFile>

#include "project/ProjectFile.h"
#include "support/TempDir.h"

namespace velmora::test {

ProjectBuilder& ProjectBuilder::type(int projectType)
{
    projectType_ = projectType;
    return *this;
}

ProjectBuilder& ProjectBuilder::startupDir(const QByteArray& folder)
{
    startupDir_ = folder;
    return *this;
}

ProjectBuilder& ProjectBuilder::text(TextField field, const QByteArray& value)
{
    return with([field, value](PageRecord& page, int) { page.setText(field, value); });
}

ProjectBuilder& ProjectBuilder::text(TextField field, std::function<QByteArray(int)> valueOfPage)
{
    return with([field, valueOfPage](PageRecord& page, int i) { page.setText(field, valueOfPage(i)); });
}

ProjectBuilder& ProjectBuilder::image(const QString& sourceFile, const QByteArray& name)
{
    return text(TextField::ImageSource, QFile::encodeName(sourceFile)).text(TextField::Image, name);
}

ProjectBuilder& ProjectBuilder::with(Change change)
{
    changes_.push_back(std::move(change));
    return *this;
}

ProjectData ProjectBuilder::build() const
{
    ProjectData project;
    project.projectType = projectType_;
    project.pages.reserve(pageCount_);
    for (int i = 0; i < pageCount_; ++i) {
        const PageRecord before = i > 0 ? project.pages.at(i - 1) : PageRecord();
        const PageRecord* previous = i > 0 ? &before : nullptr;
        PageRecord& page = project.pages.append();
        InitPage(page, {.projectType = projectType_, .index = i, .previous = previous, .startupDir = startupDir_});
        for (const Change& change : changes_) change(page, i);
    }
    return project;
}

QString ProjectBuilder::writeTo(const TempDir& dir, const QString& name) const
{
    const QString path = dir.file(name);
    write(path);
    return path;
}

void ProjectBuilder::write(const QString& path) const
{
    EXPECT_EQ(WriteProjectFile(path, build()), kFileOk) << "cannot write " << path.toStdString();
}

std::function<QByteArray(int)> numbered(const QByteArray& prefix)
{
    return [prefix](int i) { return prefix + QByteArray::number(i); };
}

}  // namespace velmora::test
