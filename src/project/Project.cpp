#include "Project.h"

namespace velmora {

QString fileNamePart(const QString& path)
{
    qsizetype cut = -1;
    for (QChar separator : {QChar(u'/'), QChar(u'\\'), QChar(u':')})
        cut = std::max(cut, path.lastIndexOf(separator));
    return path.mid(cut + 1);
}

}  // namespace velmora
