#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <cstring>
#include <map>

#include "base/Errors.h"
#include "generate/HeadlessGeneration.h"
#include "generate/StreamedGeneration.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using Snapshot = std::map<QString, QByteArray>;

// Fills a text field to its last byte, with no terminating zero.
void fillWithoutZero(PageRecord& page, TextField f, char c)
{
    const FieldSlot& slot = slotOf(f);
    std::memset(page.bytes().data() + slot.offset, c, slot.width);
}

// A project with what a file from elsewhere may hold: texts without their
// zero, bytes after it, lines ending in LF, names without ".htm" or with an
// upper-case one, stale links, an image to copy.
QByteArray awkwardProject(int type, const QString& imagePath)
{
    ProjectData project = test::ProjectBuilder(5)
                              .type(type)
                              .startupDir("/gone")
                              .text(TextField::KeywordPhrase, test::numbered("phrase "))
                              .text(TextField::Heading, test::numbered("Heading "))
                              .text(TextField::LinkName, test::numbered("link "))
                              .build();
    fillWithoutZero(project.pages.edit(0), TextField::Heading, 'H');
    fillWithoutZero(project.pages.edit(3), TextField::Word7, 'w');
    project.pages.edit(0).setText(TextField::Description, "one\ntwo");
    project.pages.edit(1).setText(TextField::Edit2, "named");
    project.pages.edit(1).setText(TextField::PreviousLinkName, "stale");
    project.pages.edit(2).setText(TextField::Edit2, "Upper.HTM");
    project.pages.edit(2).setText(TextField::SubHeading, "sub\nline\r\n");
    project.pages.edit(2).setText(TextField::Description, "\xFF not utf-8");
    project.pages.edit(3).setFlag(FlagField::CompanyBox, false);
    project.pages.edit(4).setText(TextField::Image, "pic.gif");
    project.pages.edit(4).setText(TextField::ImageSource, QFile::encodeName(imagePath));
    // Bytes after a text's zero mean nothing but travel in the record.
    const FieldSlot& link = slotOf(TextField::LinkName);
    std::memcpy(project.pages.edit(4).bytes().data() + link.offset + 100, "junk", 4);

    test::TempDir scratch;
    const QString path = scratch.file(QStringLiteral("p.kpj"));
    EXPECT_EQ(WriteProjectFile(path, project), kFileOk);
    return test::readFile(path);
}

struct Case {
    const char* name;
    int type;
    bool save;
    bool relative;  // the project named relative to the working folder, as on a command line
    bool site = false;  // with a site address, so with site files
};

// Streams a project file's generation as velmora-cli does; the paths
// written, pages first, then site files.
QStringList generateStreamed(const QString& projectPath, const QString& startupDir, bool save)
{
    QStringList written;
    StreamedGeneration generation(projectPath, startupDir);
    generation.run(save, [&](const QString& path) { written.append(path); });
    for (const SiteFile& file : generation.siteFiles()) written.append(file.localPath);
    return written;
}

class StreamedAgainstWhole : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        dir.write(QStringLiteral("velmora.ini"), "[VENDOR]\nLINK_IN_HTML=http://credit.example/\n");
        dir.write(QStringLiteral("pic.gif"), "GIF89a picture");
        QDir::setCurrent(dir.path());
        projectPath = GetParam().relative ? QStringLiteral("site.kpj") : dir.file(QStringLiteral("site.kpj"));
    }
    void TearDown() override { QDir::setCurrent(originalDir); }

    // Every file under the folder, by its relative path; the sitemap
    // without its file times.
    Snapshot snapshot() const
    {
        static const QRegularExpression lastmod(QStringLiteral("<lastmod>[^<]*</lastmod>"));
        Snapshot files;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QByteArray bytes = test::readFile(path);
            if (path.endsWith(QStringLiteral(".xml")))
                bytes = QString::fromUtf8(bytes).remove(lastmod).toUtf8();
            files[QDir(dir.path()).relativeFilePath(path)] = bytes;
        }
        return files;
    }

    void reset(const QByteArray& project)
    {
        QDir(dir.file(QStringLiteral("site"))).removeRecursively();
        dir.write(QStringLiteral("site.kpj"), project);
    }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    QString projectPath;
};

TEST_P(StreamedAgainstWhole, WritesTheSameBytesAsGeneratingTheWholeProject)
{
    const QByteArray project = awkwardProject(GetParam().type, dir.file(QStringLiteral("pic.gif")));
    if (GetParam().site) {
        ProjectCompanion companion(projectPath);
        SetSiteAddress(companion, QStringLiteral("https://shop.example.com/offers/"));
    }

    reset(project);
    QStringList wholeList;
    {
        HeadlessProject whole(projectPath, dir.path());
        wholeList = whole.generate();
        for (const SiteFile& file : whole.siteFiles()) wholeList.append(file.localPath);
        if (GetParam().save) whole.save();
    }
    const Snapshot wholeFiles = snapshot();
    EXPECT_EQ(wholeFiles.count(QStringLiteral("site/sitemap.xml")), GetParam().site ? 1u : 0u);

    reset(project);
    const QStringList streamedList = generateStreamed(projectPath, dir.path(), GetParam().save);
    const Snapshot streamedFiles = snapshot();

    EXPECT_EQ(streamedList, wholeList);
    ASSERT_EQ(streamedFiles.size(), wholeFiles.size());
    for (const auto& [name, bytes] : wholeFiles) {
        ASSERT_TRUE(streamedFiles.count(name)) << name.toStdString();
        EXPECT_TRUE(streamedFiles.at(name) == bytes) << name.toStdString();
    }
    EXPECT_EQ(streamedFiles.at(QStringLiteral("site.kpj")) == project, !GetParam().save);
    EXPECT_TRUE(streamedFiles.count(QStringLiteral("site/pic.gif")));
}

INSTANTIATE_TEST_SUITE_P(Projects, StreamedAgainstWhole,
                         ::testing::Values(Case{"interlinked", kInterlinked, false, false},
                                           Case{"interlinked_saved", kInterlinked, true, false},
                                           Case{"single_saved", kSingle, true, false},
                                           Case{"other_type_saved", 7, true, false},
                                           Case{"relative_saved", kInterlinked, true, true},
                                           Case{"site_files_saved", kInterlinked, true, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class StreamedGenerationFailure : public ::testing::Test {
protected:
    test::TempDir dir;
    QString path = dir.file(QStringLiteral("site.kpj"));
};

TEST_F(StreamedGenerationFailure, APageThatCannotBeWrittenLeavesTheProjectFileAlone)
{
    const QByteArray project = awkwardProject(kInterlinked, QString());
    dir.write(QStringLiteral("site.kpj"), project);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("site/Upper.HTM.htm")));  // the third page's name
    QStringList written;
    try {
        StreamedGeneration(path, dir.path()).run(true, [&](const QString& p) { written.append(p); });
        ADD_FAILURE() << "generation went through";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(),
                  QStringLiteral("Cannot create file ") + dir.file(QStringLiteral("site/Upper.HTM.htm")));
    }
    EXPECT_EQ(written, (QStringList{dir.file(QStringLiteral("site/siteb.htm")),
                                    dir.file(QStringLiteral("site/named.htm"))}));
    EXPECT_EQ(dir.read(QStringLiteral("site.kpj")), project);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("site.kpj")});
}

TEST_F(StreamedGenerationFailure, AProjectThatDoesNotReadWritesNothing)
{
    dir.write(QStringLiteral("site.kpj"), QByteArray("\0\0\0\0\2\0\0\0", 8) + QByteArray(37600, '\0'));
    try {
        StreamedGeneration generation(path, dir.path());
        ADD_FAILURE() << "a short project opened";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Error opening file"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("site.kpj")});
}

}  // namespace
}  // namespace velmora
