#pragma once

#include <QByteArray>
#include <QString>

// Each check feeds one input to one reader of outside bytes, the same code
// the program uses, and tests a property of the result. It returns an
// empty text when the property holds, else what went wrong. The libFuzzer
// targets abort on a failure; the corpus regression test reports it.
namespace velmora::fuzz {

QString checkProjectFile(const QByteArray& bytes);
QString checkSubmissionFile(const QByteArray& bytes);
QString checkSettingsFile(const QByteArray& bytes);
QString checkFill(const QByteArray& phrase);
QString checkFtpReplies(const QByteArray& stream);
// Names from a record (page file, image, image path) through generation and
// the upload plan: nothing outside the page folder changes, only pages and
// pictures lie in it, and only pictures and command-safe names are planned.
QString checkPageNames(const QByteArray& names);
QString checkKeywordList(const QByteArray& bytes);
// A page table (CSV) through MakeTableProject, and the same bytes through
// the check's page reader.
QString checkPageTable(const QByteArray& bytes);
QString checkCompanion(const QByteArray& bytes);
QString checkRobots(const QByteArray& bytes);
QString checkSftpReplies(const QByteArray& stream);

// The check of a corpus folder's name ("project_file", ...), or nullptr.
using Check = QString (*)(const QByteArray&);
Check checkFor(const QString& target);

}  // namespace velmora::fuzz
