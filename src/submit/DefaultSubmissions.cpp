#include "DefaultSubmissions.h"

#include <QFile>
#include <QFileInfo>

#include "SubmissionFile.h"

namespace velmora {

SubmissionList DefaultSubmissionList()
{
    static constexpr const char* kEntries[][2] = {
        {"IndexNow: Bing, Yandex, Seznam, Naver and others ($PAR1: your IndexNow key)",
         "https://api.indexnow.org/indexnow?url=$URL&key=$PAR1"},
        {"Bing Webmaster Tools: submit URLs ($PAR2: your site as added there)",
         "https://www.bing.com/webmasters/submiturl?siteUrl=$PAR2"},
        {"Google Search Console: URL inspection ($PAR2: your property)",
         "https://search.google.com/search-console/inspect?resource_id=$PAR2&id=$URL"},
        {"Yandex Webmaster: your sites (Indexing, Reindex pages)",
         "https://webmaster.yandex.com/sites/"},
    };
    SubmissionList list;
    for (const auto& [name, submission] : kEntries) {
        SubmissionEntry& entry = list.append();
        entry.setText(SubmissionField::Name, name);
        entry.setText(SubmissionField::SubmissionString, submission);
    }
    return list;
}

QString ShippedSubmissionFile(const QString& programDir)
{
    for (const QString& candidate : {programDir + QStringLiteral("/addurl.ini"),
                                     programDir + QStringLiteral("/../share/velmora/addurl.ini")}) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

bool InstallSubmissionFile(const QString& startupDir, const QString& shippedFile)
{
    const QString target = submissionFilePath(startupDir);
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink()) return false;
    if (shippedFile.isEmpty() || !QFileInfo(shippedFile).isFile()) return false;
    if (!QFile::copy(shippedFile, target)) return false;
    // An installed file is often read-only; the user's copy must not be,
    // or the dialog could neither read nor write it.
    QFile::setPermissions(
        target, QFile::permissions(target) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    return true;
}

}  // namespace velmora
