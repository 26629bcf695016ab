#include "HostileFiles.h"

#include <QFile>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

bool plant(Planted kind, const QByteArray& path)
{
    switch (kind) {
    case Planted::Fifo: return ::mkfifo(path.constData(), 0644) == 0;
    case Planted::Folder: return ::mkdir(path.constData(), 0755) == 0;
    case Planted::DeviceLink: return ::symlink("/dev/null", path.constData()) == 0;
    case Planted::EndlessDeviceLink: return ::symlink("/dev/zero", path.constData()) == 0;
    }
    return false;
}

const char* nameOf(Planted kind)
{
    switch (kind) {
    case Planted::Fifo: return "FIFO";
    case Planted::Folder: return "folder";
    case Planted::DeviceLink: return "link to /dev/null";
    case Planted::EndlessDeviceLink: return "link to /dev/zero";
    }
    return "?";
}

bool asUnprivilegedUser(const std::function<void()>& work)
{
    if (::geteuid() != 0) {
        work();
        return true;
    }
    constexpr uid_t kNobody = 65534;
    if (::setegid(kNobody) != 0) return false;
    if (::seteuid(kNobody) != 0) {
        (void)::setegid(0);
        return false;
    }
    work();
    const bool back = ::seteuid(0) == 0 && ::setegid(0) == 0;
    return back;
}

void openToEveryone(const QString& path)
{
    QByteArray part = QFile::encodeName(path);
    while (part.size() > 1) {
        struct stat info {};
        if (::stat(part.constData(), &info) == 0)
            ::chmod(part.constData(), (info.st_mode & 07777) | (S_ISDIR(info.st_mode) ? 0555 : 0444));
        if (part == "/tmp") break;
        part.truncate(std::max<qsizetype>(part.lastIndexOf('/'), 1));
    }
}

namespace {

void walk(const QByteArray& root, const QByteArray& relative, QByteArrayList& out)
{
    DIR* dir = ::opendir((root + '/' + relative).constData());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") continue;
        const QByteArray path = relative.isEmpty() ? name : relative + '/' + name;
        struct stat info {};
        ::lstat((root + '/' + path).constData(), &info);
        out << path;
        if (S_ISDIR(info.st_mode)) walk(root, path, out);
    }
    ::closedir(dir);
}

}  // namespace

QByteArrayList treeOf(const QByteArray& folder)
{
    QByteArrayList out;
    walk(folder, {}, out);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace velmora::test
