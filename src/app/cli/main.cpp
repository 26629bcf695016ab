#include <QCoreApplication>

#include "CliCommands.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-cli"));
    return velmora::cli::runCli(QCoreApplication::arguments().mid(1), {});
}
