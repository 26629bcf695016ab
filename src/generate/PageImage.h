#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QHash>
#include <QString>
#include <optional>

namespace velmora {

// True when the bytes begin as a GIF, JPEG, PNG or WebP file does. Only
// such files travel as a page's image: a project names its ImageSource
// freely, and it must not carry a settings file or a key to the web.
bool looksLikePicture(QByteArrayView head);

// The image a page shows: copied beside the page and published with it,
// left out without a word, or skipped with a warning for the user.
struct PageImage {
    enum class Verdict { None, Use, Skip };
    Verdict verdict = Verdict::None;
    QString warning;  // when skipped: one line naming the image and why
};

// Judges a page's image by its record texts: None when the page has no
// image (Image or ImageSource empty); Skip when Image is not a plain file
// name, starts with ".", or does not end in an extension of the picture
// kind ImageSource holds (".gif", ".jpg" or ".jpeg", ".png", ".webp", any
// letter case), or ImageSource is not a readable regular file that is a
// picture; otherwise Use. When Use, `source` (if given) is left open on the image.
PageImage CheckPageImage(const QByteArray& image, const QByteArray& imageSource,
                         QFile* source = nullptr);

// Copies the page's image to `image` inside `folder`, through a new file
// renamed over the target, and not at all when the target already holds the
// same bytes. Returns the warning when the image was skipped or could not
// be written (the old copy then stays whole); nothing otherwise.
std::optional<QString> CopyPageImage(const QByteArray& imageSource, const QByteArray& folder,
                                     const QByteArray& image);

// CopyPageImage for the pages of one generation run. Most pages of a
// project show the same picture in the same folder: once a source has been
// copied to a target in this run, the later pages that ask for that very
// copy cost nothing. A target asked for from another source is copied again.
class PageImageCopies {
public:
    std::optional<QString> copy(const QByteArray& imageSource, const QByteArray& folder,
                                const QByteArray& image);
    // A new run: the files may have changed since.
    void clear() { sources_.clear(); }

private:
    QHash<QByteArray, QByteArray> sources_;  // target path -> the source copied there
};

// The name of the picture a new page shows.
inline constexpr char kDefaultImageName[] = "splash1.jpg";

// Puts the picture shipped with Velmora into the start-up directory as
// splash1.jpg when nothing of that name is there, so that a new project
// generates and publishes as it is. Returns true when it wrote the file.
bool EnsureDefaultImage(const QString& startupDirectory);

}  // namespace velmora
