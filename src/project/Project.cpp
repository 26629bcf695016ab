#include "Project.h"

namespace velmora {

QString fileNamePart(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }

}  // namespace velmora
