#include "ProjectBuilder.h"

#include <gtest/gtest.h>

#include "project/ProjectFile.h"
#include "support/TempDir.h"

namespace velmora::test {

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
    write(dir.file(name));
    return dir.file(name);
}

void ProjectBuilder::write(const QString& path) const
{
    EXPECT_EQ(WriteProjectFile(path, build()), kFileOk) << "cannot write " << path.toStdString();
}

}  // namespace velmora::test
