#include "publish/Publishing.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "publish/ftp/VexFTP.h"
#include "base/Errors.h"
#include "base/FileAccess.h"
#include "base/FolderFile.h"
#include "generate/PageImage.h"

namespace velmora {

QByteArray NormalisedRemoteDirectory(const QByteArray& directory)
{
    if (directory.isEmpty() || directory.endsWith('/') || directory.endsWith('\\'))
        return directory;
    return directory + '/';
}

namespace {

bool holdsControlByte(const QByteArray& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// Every name that will go into a command is refused before anything is
// sent, so that a planted line break never reaches the server.
void requireCommandSafe(const QByteArray& remoteName)
{
    if (holdsControlByte(remoteName)) {
        throw VelmoraError(QStringLiteral("Cannot upload \"%1\": a name sent to the server may "
                                          "not hold control characters")
                               .arg(visibleName(remoteName)));
    }
}

}  // namespace

PlannedUploads PlanUploads(const PageList& pages, const QByteArray& remoteDirectory)
{
    PlannedUploads plan;
    QSet<QByteArray> imagesDone;  // sent, or skipped for what the file is
    for (int i = 0; i < pages.size(); ++i) {
        const PageRecord& page = pages[i];
        const QByteArray image = page.text(TextField::Image);
        const QByteArray imageSource = page.text(TextField::ImageSource);
        if (!image.isEmpty() && !imageSource.isEmpty() && !imagesDone.contains(imageSource)) {
            requireCommandSafe(remoteDirectory + image);
            const PageImage verdict = CheckPageImage(image, imageSource);
            if (verdict.verdict == PageImage::Verdict::Use) {
                imagesDone.insert(imageSource);
                plan.items.push_back(
                    {UploadItem::Kind::Image, imageSource, remoteDirectory + image});
            } else if (verdict.verdict == PageImage::Verdict::Skip) {
                // A bad name is this page's; a later page may name the same
                // picture properly.
                if (isPlainFileName(image)) imagesDone.insert(imageSource);
                if (!plan.skippedImages.contains(verdict.warning))
                    plan.skippedImages.append(verdict.warning);
            }
        }
        const QByteArray fileName = page.text(TextField::Edit2);
        const QByteArray localPath = page.text(TextField::PageFolder) + fileName;
        if (!isPlainFileName(fileName)) {
            throw VelmoraError(QStringLiteral("Cannot upload %1: \"%2\" is not a plain file name")
                                   .arg(visibleName(localPath), visibleName(fileName)));
        }
        requireCommandSafe(remoteDirectory + fileName);
        plan.items.push_back({UploadItem::Kind::Page, localPath, remoteDirectory + fileName});
    }
    return plan;
}

void AppendSiteFiles(std::vector<UploadItem>& plan, const std::vector<SiteFile>& files,
                     const QByteArray& remoteDirectory)
{
    for (const SiteFile& file : files) {
        requireCommandSafe(remoteDirectory + file.name);
        plan.push_back({UploadItem::Kind::SiteFile, QFile::encodeName(file.localPath),
                        remoteDirectory + file.name});
    }
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

QList<QByteArray> RemoteDirectoryLevels(const QByteArray& directory)
{
    QList<QByteArray> levels;
    for (qsizetype slash = directory.indexOf('/'); slash >= 0;
         slash = directory.indexOf('/', slash + 1)) {
        const QByteArray path = directory.left(slash);
        const QByteArray last = path.mid(path.lastIndexOf('/') + 1);
        if (last.isEmpty() || last == "." || last == "..") continue;
        levels << path;
    }
    return levels;
}

UploadProgress::UploadProgress(const std::vector<UploadItem>& plan)
{
    sizes_.reserve(plan.size());
    for (const UploadItem& item : plan) {
        const qint64 size = std::max<qint64>(regularFileSize(item.localPath), 0);
        sizes_.push_back(size);
        bytesTotal_ += size;
    }
}

void UploadProgress::startFile(int index)
{
    if (index < 0 || index >= fileCount()) return;
    current_[index] = 0;
}

void UploadProgress::setFileBytes(int index, qint64 sent)
{
    const auto found = current_.find(index);
    if (found == current_.end()) return;
    found->second = std::clamp<qint64>(sent, 0, sizes_[static_cast<std::size_t>(index)]);
}

void UploadProgress::finishFile(int index)
{
    // Only a file that was started counts, and only once.
    if (current_.erase(index) == 0) return;
    bytesFinished_ += sizes_[static_cast<std::size_t>(index)];
    ++filesDone_;
}

qint64 UploadProgress::bytesDone() const
{
    qint64 done = bytesFinished_;
    for (const auto& [index, bytes] : current_) done += bytes;
    return done;
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
