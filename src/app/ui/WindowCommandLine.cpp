#include "WindowCommandLine.h"

#include <QFile>

#include "base/Version.h"

namespace velmora {

namespace {

const char* const kUsage =
    "usage: velmora [PROJECT.kpj]\n"
    "       velmora --help | --version\n";

}  // namespace

WindowCommandLine WindowCommandLine::parse(const QStringList& arguments)
{
    WindowCommandLine call;
    if (arguments.contains(QLatin1String("--version"))) {
        call.request = Request::Version;
        return call;
    }
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        call.request = Request::Help;
        return call;
    }
    // "--" lets a project whose name starts with "-" be opened.
    QStringList rest = arguments;
    const bool namesOnly = !rest.isEmpty() && rest.first() == QLatin1String("--");
    if (namesOnly) rest.removeFirst();
    if (rest.size() > 1 || (!namesOnly && !rest.isEmpty() && rest.first().startsWith(u'-'))) {
        call.request = Request::Misuse;
        return call;
    }
    if (!rest.isEmpty()) call.projectPath = rest.first();
    return call;
}

WindowCommandLine WindowCommandLine::parse(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QFile::decodeName(argv[i]);
    return parse(arguments);
}

std::optional<int> answerWithoutWindow(const WindowCommandLine& call, std::FILE* out,
                                       std::FILE* err)
{
    switch (call.request) {
    case WindowCommandLine::Request::Window:
        return std::nullopt;
    case WindowCommandLine::Request::Version:
        std::fprintf(out, "velmora %s\n", kVelmoraVersion);
        return 0;
    case WindowCommandLine::Request::Help:
        std::fputs(kUsage, out);
        return 0;
    case WindowCommandLine::Request::Misuse:
        std::fputs(kUsage, err);
        return 2;
    }
    return 2;
}

}  // namespace velmora
