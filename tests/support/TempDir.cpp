#include "TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>

namespace velmora::test {

TempDir::TempDir() { EXPECT_TRUE(dir_.isValid()); }

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(dir_.path()).toStdString(), ignored);
}

void TempDir::write(const QString& name, const QByteArray& bytes) const
{
    writeFile(file(name), bytes);
}

QByteArray TempDir::read(const QString& name) const { return readFile(file(name)); }

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

}  // namespace velmora::test
