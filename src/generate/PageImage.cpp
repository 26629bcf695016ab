#include "PageImage.h"

#include <cerrno>
#include <sys/stat.h>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "base/FolderFile.h"

namespace velmora {

namespace {

constexpr qsizetype kLongestSignature = 12;

// The extensions a copy of a picture with these first bytes may have, so
// that what a server and a browser take it for is what it is.
QByteArrayList extensionsOf(QByteArrayView head)
{
    if (head.startsWith("GIF")) return {".gif"};
    if (head.startsWith("\xFF\xD8\xFF")) return {".jpg", ".jpeg"};
    if (head.startsWith("\x89PNG")) return {".png"};
    return {".webp"};
}

bool hasExtensionOf(const QByteArray& name, QByteArrayView head)
{
    const QByteArray lower = name.toLower();
    for (const QByteArray& extension : extensionsOf(head))
        if (lower.endsWith(extension)) return true;
    return false;
}

}  // namespace

bool looksLikePicture(QByteArrayView head)
{
    return head.startsWith("GIF87a") || head.startsWith("GIF89a") ||
           head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG\r\n\x1A\n") ||
           (head.size() >= 12 && head.startsWith("RIFF") && head.sliced(8, 4) == "WEBP");
}

PageImage CheckPageImage(const QByteArray& image, const QByteArray& imageSource, QFile* source)
{
    using Verdict = PageImage::Verdict;
    if (image.isEmpty() || imageSource.isEmpty()) return {};
    if (!isPlainFileName(image)) {
        return {Verdict::Skip, QStringLiteral("Image skipped: \"%1\" is not a plain file name")
                                   .arg(visibleName(image))};
    }
    if (image.startsWith('.')) {
        return {Verdict::Skip, QStringLiteral("Image skipped: \"%1\" starts with \".\"")
                                   .arg(visibleName(image))};
    }
    QFile local;
    QFile& file = source ? *source : local;
    if (!openRegularFile(file, imageSource, QIODevice::ReadOnly)) {
        struct stat info {};
        const bool there =
            !imageSource.contains('\0') && ::stat(imageSource.constData(), &info) == 0;
        if (there && !S_ISREG(info.st_mode)) {
            return {Verdict::Skip, QStringLiteral("Image skipped: %1 is not a regular file")
                                       .arg(visibleName(imageSource))};
        }
        return {Verdict::Skip,
                QStringLiteral("Image skipped: cannot read %1").arg(visibleName(imageSource))};
    }
    const QByteArray head = file.read(kLongestSignature);
    if (!looksLikePicture(head)) {
        file.close();
        return {Verdict::Skip,
                QStringLiteral("Image skipped: %1 is not a GIF, JPEG, PNG or WebP picture")
                    .arg(visibleName(imageSource))};
    }
    if (!hasExtensionOf(image, head)) {
        file.close();
        return {Verdict::Skip,
                QStringLiteral("Image skipped: \"%1\" does not end in the extension of the picture "
                               "%2 holds")
                    .arg(visibleName(image), visibleName(imageSource))};
    }
    if (!file.seek(0)) {
        file.close();
        return {Verdict::Skip,
                QStringLiteral("Image skipped: cannot read %1").arg(visibleName(imageSource))};
    }
    return {Verdict::Use, {}};
}

std::optional<QString> CopyPageImage(const QByteArray& imageSource, const QByteArray& folder,
                                     const QByteArray& image)
{
    QFile source;
    const PageImage verdict = CheckPageImage(image, imageSource, &source);
    if (verdict.verdict == PageImage::Verdict::None) return std::nullopt;
    if (verdict.verdict == PageImage::Verdict::Skip) return verdict.warning;
    // As for the page: the folder text followed by the name.
    const FolderAndName target = splitPath(folder + image);
    try {
        copyFileInFolder(target.folder, target.name, source);
    } catch (const FileError&) {
        return QStringLiteral("Image skipped: cannot create file %1")
            .arg(visibleName(folder + image));
    }
    return std::nullopt;
}

std::optional<QString> PageImageCopies::copy(const QByteArray& imageSource,
                                             const QByteArray& folder, const QByteArray& image)
{
    const QByteArray target = folder + image;
    const auto copied = sources_.constFind(target);
    if (copied != sources_.cend() && *copied == imageSource) return std::nullopt;
    std::optional<QString> warning = CopyPageImage(imageSource, folder, image);
    if (warning || image.isEmpty() || imageSource.isEmpty())
        sources_.remove(target);
    else
        sources_.insert(target, imageSource);
    return warning;
}

bool EnsureDefaultImage(const QString& startupDirectory)
{
    const QByteArray folder = QFile::encodeName(startupDirectory);
    struct stat info {};
    const QByteArray target = folder + '/' + kDefaultImageName;
    // Anything of that name, a link included, is the user's and stays.
    if (::lstat(target.constData(), &info) == 0 || errno != ENOENT) return false;
    QFile shipped(QStringLiteral(":/velmora/splash1.jpg"));
    if (!shipped.open(QIODevice::ReadOnly)) return false;
    try {
        return writeFileInFolder(folder, kDefaultImageName, shipped.readAll()) ==
               WriteResult::Written;
    } catch (const FileError&) {
        return false;  // a start-up directory we cannot write to keeps its state
    }
}

}  // namespace velmora
