#include "Publishing.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "VexFTP.h"

namespace velmora {

QByteArray NormalisedRemoteDirectory(const QByteArray& directory)
{
    if (directory.isEmpty() || directory.endsWith('/') || directory.endsWith('\\'))
        return directory;
    return directory + '/';
}

std::vector<UploadItem> PlanUploads(const PageList& pages, const QByteArray& remoteDirectory)
{
    std::vector<UploadItem> plan;
    QSet<QByteArray> imagesSent;
    for (int i = 0; i < pages.size(); ++i) {
        const PageRecord& page = pages[i];
        const QByteArray imageSource = page.text(TextField::ImageSource);
        if (!imageSource.isEmpty() && !imagesSent.contains(imageSource)) {
            imagesSent.insert(imageSource);
            plan.push_back({UploadItem::Kind::Image, QFile::decodeName(imageSource),
                            remoteDirectory + page.text(TextField::Image)});
        }
        const QByteArray fileName = page.text(TextField::Edit2);
        plan.push_back({UploadItem::Kind::Page,
                        QFile::decodeName(page.text(TextField::PageFolder) + fileName),
                        remoteDirectory + fileName});
    }
    return plan;
}

void AppendSiteFiles(std::vector<UploadItem>& plan, const std::vector<SiteFile>& files,
                     const QByteArray& remoteDirectory)
{
    for (const SiteFile& file : files)
        plan.push_back({UploadItem::Kind::SiteFile, file.localPath, remoteDirectory + file.name});
}

void UploadPlan(TVexFTP& ftp, const std::vector<UploadItem>& plan, const UploadStartEvent& onStart)
{
    const int count = static_cast<int>(plan.size());
    for (int i = 0; i < count; ++i) {
        const UploadItem& item = plan[static_cast<std::size_t>(i)];
        if (onStart) onStart(item, i, count);
        ftp.Upload(item.localPath, item.remoteName);
    }
}

UploadProgress::UploadProgress(const std::vector<UploadItem>& plan)
{
    sizes_.reserve(plan.size());
    for (const UploadItem& item : plan) {
        const QFileInfo info(item.localPath);
        const qint64 size = info.isFile() ? info.size() : 0;
        sizes_.push_back(size);
        bytesTotal_ += size;
    }
}

void UploadProgress::startFile(int index)
{
    if (index < 0 || index >= fileCount()) return;
    current_ = index;
    currentBytes_ = 0;
}

void UploadProgress::setFileBytes(qint64 sent)
{
    if (current_ < 0) return;
    currentBytes_ = std::clamp<qint64>(sent, 0, sizes_[static_cast<std::size_t>(current_)]);
}

void UploadProgress::finishFile()
{
    if (current_ < 0) return;
    bytesBefore_ += sizes_[static_cast<std::size_t>(current_)];
    currentBytes_ = 0;
    current_ = -1;
    ++filesDone_;
}

int UploadProgress::permille() const
{
    if (bytesTotal_ > 0) return static_cast<int>(bytesDone() * 1000 / bytesTotal_);
    if (fileCount() > 0) return filesDone_ * 1000 / fileCount();
    return 0;
}

QString UploadProgress::text() const
{
    return QStringLiteral("%1 of %2 files, %3 of %4 bytes")
        .arg(filesDone_)
        .arg(fileCount())
        .arg(bytesDone())
        .arg(bytesTotal_);
}

}  // namespace velmora
