// Writes the addurl.ini shipped with Velmora through the program's own
// submission file writer, so its bytes are exactly what the dialog reads.

#include <QCoreApplication>
#include <cstdio>

#include "submit/DefaultSubmissions.h"
#include "submit/SubmissionFile.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: velmora-make-addurl OUTPUT\n", stderr);
        return 2;
    }
    const velmora::FileResult result = velmora::WriteSubmissionFile(args[1], velmora::DefaultSubmissionList());
    if (result != velmora::kFileOk) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
