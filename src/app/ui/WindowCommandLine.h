#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace velmora {

// What `velmora [PROJECT.kpj]` or `velmora --help | --version` asks for.
struct WindowCommandLine {
    enum class Request { Window, Version, Help, Misuse };
    Request request = Request::Window;
    QString projectPath;  // the project the window opens; empty for a new one

    // The arguments after the program's name. --help and --version win
    // wherever they stand, so they are answered even beside Qt's own options.
    static WindowCommandLine parse(const QStringList& arguments);
    static WindowCommandLine parse(int argc, char* argv[]);
};

// Prints what --version and --help ask for, or the usage after a misuse, and
// returns the exit code; nothing when the window is to start.
std::optional<int> answerWithoutWindow(const WindowCommandLine& call, std::FILE* out = stdout,
                                       std::FILE* err = stderr);

}  // namespace velmora
