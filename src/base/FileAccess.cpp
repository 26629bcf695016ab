#include "FileAccess.h"

#include <QFileInfo>

namespace velmora {

bool isReadOnlyFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return false;
    constexpr auto kAnyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup |
                               QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & kAnyWrite);
}

}  // namespace velmora
