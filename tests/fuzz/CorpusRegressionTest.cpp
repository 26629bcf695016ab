// Replays every input kept in the fuzz corpus, crash inputs included,
// through the same checks as the fuzz targets.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzChecks.h"

namespace velmora {
namespace {

class FuzzCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(FuzzCorpus, EveryKeptInputPassesItsCheck)
{
    const QString target = QString::fromLatin1(GetParam());
    const fuzz::Check check = fuzz::checkFor(target);
    ASSERT_NE(check, nullptr);
    const QDir folder(QStringLiteral(VELMORA_CORPUS_DIR "/") + target);
    const QStringList inputs = folder.entryList(QDir::Files);
    EXPECT_FALSE(inputs.isEmpty()) << "no seed for " << target.toStdString();
    for (const QString& name : inputs) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(check(file.readAll()), QString()) << target.toStdString() << "/" << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus,
                         ::testing::Values("project_file", "submission_file", "settings", "fill",
                                           "ftp_reply", "companion", "robots", "sftp_reply",
                                           "keyword_list", "page_names", "page_table"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace velmora
