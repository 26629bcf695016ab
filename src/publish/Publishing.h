#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "generate/SiteFiles.h"
#include "project/Project.h"

namespace velmora {

class TVexFTP;

// One file of a Send: where it is and the name it is stored under. The
// local path is the record's bytes exactly (a name that is not UTF-8 still
// names its own file): open it with openRegularFile, show it with
// QFile::decodeName.
struct UploadItem {
    enum class Kind { Image, Page, SiteFile };
    Kind kind = Kind::Page;
    QByteArray localPath;
    QByteArray remoteName;

    friend bool operator==(const UploadItem&, const UploadItem&) = default;
};

// A plan and the images it leaves out, one line each ("Image skipped: ..."),
// for the user to read once the Send is over.
struct PlannedUploads {
    std::vector<UploadItem> items;
    QStringList skippedImages;
};

// The remote directory as it prefixes every remote name: "/", FTP's own
// separator, appended when it ends in neither "/" nor "\"; an empty
// directory stays empty, so names stay bare.
QByteArray NormalisedRemoteDirectory(const QByteArray& directory);

// The folders of a remote directory, outermost first, each as the path that
// MKD takes: "www/docs/" gives "www" and "www/docs", "/pub/" gives "/pub".
// Only "/" separates folders; empty parts, "." and ".." are no folders to
// make.
QList<QByteArray> RemoteDirectoryLevels(const QByteArray& directory);

// The uploads of a project in order: for each page, its image the first time
// its ImageSource appears (under the directory and that page's Image), then
// its page file PageFolder + Edit2 (under the directory and Edit2). Images go
// from where the user chose them, once per distinct path.
//
// Checked whole before anything connects: a remote name holding a byte
// below 32 (a line break would end the command and start another), or a
// page file name that is not a plain name, raises VelmoraError and nothing
// is sent. An image goes only when its Image is a plain name and its
// ImageSource a readable regular file that is a picture; otherwise its
// page goes without it and the image is named in skippedImages. A page
// with no Image or no ImageSource sends no image.
PlannedUploads PlanUploads(const PageList& pages, const QByteArray& remoteDirectory);

// The site files (sitemap, robots.txt, key file) go after the pages, under
// the same directory, so that nothing names a page before it is there.
void AppendSiteFiles(std::vector<UploadItem>& plan, const std::vector<SiteFile>& files,
                     const QByteArray& remoteDirectory);

// Uploads the plan over a logged-in client, in order; the first failure
// ends it and propagates. `onStart` hears of each file before it goes.
using UploadStartEvent = std::function<void(const UploadItem& item, int index, int count)>;
void UploadPlan(TVexFTP& ftp, const std::vector<UploadItem>& plan, const UploadStartEvent& onStart);

// Progress through a plan by files and bytes, for a progress display.
// Several files may be on their way at once.
class UploadProgress {
public:
    // Sizes come from the files as they are now; a missing file counts 0.
    explicit UploadProgress(const std::vector<UploadItem>& plan);

    void startFile(int index);
    void setFileBytes(int index, qint64 sent);  // bytes of that file sent so far
    void finishFile(int index);

    int fileCount() const { return static_cast<int>(sizes_.size()); }
    int filesDone() const { return filesDone_; }
    qint64 bytesTotal() const { return bytesTotal_; }
    qint64 bytesDone() const;
    // 0 to 1000 of the bytes, or of the files when every file is empty.
    int permille() const;
    // "2 of 4 files, 1234 of 5678 bytes"
    QString text() const;

private:
    std::vector<qint64> sizes_;
    qint64 bytesTotal_ = 0;
    qint64 bytesFinished_ = 0;
    std::map<int, qint64> current_;  // files on their way: bytes sent so far
    int filesDone_ = 0;
};

}  // namespace velmora
