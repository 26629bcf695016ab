// The shared helpers themselves: what they leave behind decides whether the
// tests after them run in the setting they expect.

#include <gtest/gtest.h>

#include <QDir>

#include "support/InProcessCli.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

constexpr const char* kVariable = "VELMORA_SUPPORT_TEST";

std::optional<QByteArray> variable()
{
    if (!qEnvironmentVariableIsSet(kVariable)) return std::nullopt;
    return qgetenv(kVariable);
}

TEST(ScopedCliSetting, LeavesTheEnvironmentAndFolderAsItFoundThem)
{
    struct Case {
        std::optional<QByteArray> before;
        test::CliSetting setting;
        std::optional<QByteArray> inside;
    };
    test::TempDir dir;
    const QString folder = QDir::currentPath();
    const QString name = QString::fromLatin1(kVariable);
    const Case cases[] = {
        {std::nullopt, {.environment = {{name, "inside"}}}, "inside"},
        {"outside", {.environment = {{name, "inside"}}}, "inside"},
        {"outside", {.unset = {name}}, std::nullopt},
        {"outside", {.workingDirectory = dir.path()}, "outside"},
    };
    for (const Case& c : cases) {
        c.before ? qputenv(kVariable, *c.before) : qunsetenv(kVariable);
        {
            const test::ScopedCliSetting scope(c.setting);
            EXPECT_EQ(variable(), c.inside);
            if (!c.setting.workingDirectory.isEmpty()) {
                EXPECT_EQ(QDir::currentPath(), dir.path());
            }
        }
        EXPECT_EQ(variable(), c.before);
        EXPECT_EQ(QDir::currentPath(), folder);
    }
    qunsetenv(kVariable);
}

class SleepServer : public test::ServerProcess {
public:
    SleepServer(const char* seconds, bool ready)
    {
        launch(QStringLiteral("/bin/sleep"), {QString::fromLatin1(seconds)}, [ready] { return ready; }, 500);
    }
    using ServerProcess::process;
    using ServerProcess::stop;
};

TEST(ServerProcess, NeitherAProgramThatNeverGetsReadyNorOneThatEndsFirstIsLeftRunning)
{
    struct Case {
        const char* seconds;
        bool ready;
    };
    for (const Case& c : {Case{"60", false}, Case{"0", false}, Case{"60", true}}) {
        SleepServer server(c.seconds, c.ready);
        EXPECT_EQ(server.isRunning(), c.ready) << c.seconds;
        EXPECT_EQ(server.process().state() != QProcess::NotRunning, c.ready) << c.seconds;
        server.stop();
        EXPECT_EQ(server.process().state(), QProcess::NotRunning) << c.seconds;
        EXPECT_FALSE(server.isRunning());
    }
}

}  // namespace
}  // namespace velmora
