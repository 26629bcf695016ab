#pragma once

#include <QByteArray>
#include <QString>

#include "PageOperations.h"
#include "PageList.h"
#include "PageRecord.h"

namespace velmora {

// What the project file holds.
struct ProjectData {
    int projectType = kInterlinked;
    PageList pages;
};

// The file-name part of a path: the text after its last "/". On this
// system ":" and "\" are ordinary characters of a name.
QString fileNamePart(const QString& path);

}  // namespace velmora
