#include "Naming.h"

namespace velmora {

QByteArray PageLetters(int index)
{
    static constexpr char kLetters[] = "bvolcriway";
    QByteArray letters = QByteArray::number(index);
    for (char& c : letters)
        if (c >= '0' && c <= '9') c = kLetters[c - '0'];
    return letters;
}

QString BaseName(const QString& projectName)
{
    const qsizetype dot = projectName.lastIndexOf(u'.');
    return dot < 0 ? projectName : projectName.left(dot);
}

QString OutputFolder(const QString& projectPath, const QString& projectName)
{
    const qsizetype separator = projectPath.lastIndexOf(u'/');
    return projectPath.left(separator + 1) + BaseName(projectName) + u'/';
}

QString AutoPageName(const QString& projectName, int index)
{
    return BaseName(projectName) + QString::fromLatin1(PageLetters(index)) + QStringLiteral(".htm");
}

}  // namespace velmora
