#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The digits of a zero-based page index, each turned into a letter:
// 0 gives "b", 10 gives "vb", 123 gives "vol".
QByteArray PageLetters(int index);

// The project file's name up to its last ".": "my.site" for "my.site.kpj".
QString BaseName(const QString& projectName);

// The folder beside the project file that receives the page files, ending
// in "/": "/work/Project1/" for "/work/Project1.kpj".
QString OutputFolder(const QString& projectPath, const QString& projectName);

// The name auto-named generation gives page `index`: "Project1b.htm".
QString AutoPageName(const QString& projectName, int index);

}  // namespace velmora
