// Writes velmora-cli(1) from the same text that `velmora-cli --help` prints.

#include <QFile>
#include <cstdio>

#include "CliManual.h"

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: velmora-make-manpage OUTPUT\n", stderr);
        return 2;
    }
    QFile file(QFile::decodeName(argv[1]));
    const QByteArray page = velmora::cli::manPage();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page) != page.size() ||
        !file.flush()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
