// The shared helpers themselves: what they leave behind decides whether the
// tests after them run in the setting they expect.

#include <gtest/gtest.h>

#include <QDir>

#include "support/InProcessCli.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

TEST(ScopedCliSetting, LeavesTheEnvironmentAndFolderAsItFoundThem)
{
    struct Case {
        const char* name;
        std::optional<QByteArray> before;
        test::CliSetting setting;
    };
    test::TempDir dir;
    const QString folder = QDir::currentPath();
    const QString variable = QStringLiteral("VELMORA_SUPPORT_TEST");
    const Case cases[] = {
        {"set over unset", std::nullopt, {.environment = {{variable, "inside"}}}},
        {"set over set", "outside", {.environment = {{variable, "inside"}}}},
        {"unset", "outside", {.unset = {variable}}},
        {"folder", "outside", {.workingDirectory = dir.path()}},
    };
    for (const Case& c : cases) {
        if (c.before)
            qputenv("VELMORA_SUPPORT_TEST", *c.before);
        else
            qunsetenv("VELMORA_SUPPORT_TEST");
        {
            const test::ScopedCliSetting scope(c.setting);
            if (c.setting.environment.contains(variable)) EXPECT_EQ(qgetenv("VELMORA_SUPPORT_TEST"), "inside") << c.name;
            if (!c.setting.unset.isEmpty()) EXPECT_FALSE(qEnvironmentVariableIsSet("VELMORA_SUPPORT_TEST")) << c.name;
            if (!c.setting.workingDirectory.isEmpty()) EXPECT_EQ(QDir::currentPath(), dir.path()) << c.name;
        }
        EXPECT_EQ(qEnvironmentVariableIsSet("VELMORA_SUPPORT_TEST"), c.before.has_value()) << c.name;
        EXPECT_EQ(qgetenv("VELMORA_SUPPORT_TEST"), c.before.value_or(QByteArray())) << c.name;
        EXPECT_EQ(QDir::currentPath(), folder) << c.name;
    }
    qunsetenv("VELMORA_SUPPORT_TEST");
}

class SleepServer : public test::ServerProcess {
public:
    SleepServer(const QString& seconds, bool readyAtOnce)
    {
        launch(QStringLiteral("/bin/sleep"), {seconds}, [readyAtOnce] { return readyAtOnce; }, 500);
    }
    using ServerProcess::process;
    using ServerProcess::stop;
};

TEST(ServerProcess, NeitherAProgramThatNeverGetsReadyNorOneThatEndsEarlyIsLeftRunning)
{
    struct Case {
        const char* name;
        const char* seconds;
        bool ready;
        bool running;
    };
    for (const Case& c : {Case{"never ready", "60", false, false}, Case{"ends first", "0", false, false},
                          Case{"ready", "60", true, true}}) {
        SleepServer server(QString::fromLatin1(c.seconds), c.ready);
        EXPECT_EQ(server.isRunning(), c.running) << c.name;
        EXPECT_EQ(server.process().state() != QProcess::NotRunning, c.running) << c.name;
        server.stop();
        EXPECT_EQ(server.process().state(), QProcess::NotRunning) << c.name;
        EXPECT_FALSE(server.isRunning()) << c.name;
    }
}

}  // namespace
}  // namespace velmora
