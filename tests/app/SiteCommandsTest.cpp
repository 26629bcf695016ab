// The window's site address dialog and "Notify search engines", offscreen,
// with a stand-in endpoint on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "HttpStandIn.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/SiteAddressDialog.h"
#include "project/ProjectCompanion.h"
#include "publish/PublishJob.h"
#include "support/InProcessCli.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui_MainWindow.h"
#include "ui_SiteAddressDialog.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;
using test::ScriptedPrompter;

class SiteCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write(u"velmora.ini"_s, "[OPTIONS]\nMSG_FOLDER=No\nMSG_FILE=No\n");
        QDir::setCurrent(dir.path());
        form = std::make_unique<TForm1>(prompter, launcher);
        options = std::make_unique<TOptDlg>(form->settings(), prompter, form.get());
        form->setOptionsSource(options.get());
        form->setIndexNowEndpoint(QUrl(QString::fromLatin1(server.url())));
        form->show();
        project = dir.file(u"Project1.kpj"_s);
    }
    void TearDown() override
    {
        EXPECT_TRUE(prompter.allAnswersUsed());
        options.reset();
        form.reset();
        QDir::setCurrent(originalDir);
    }

    Ui::TForm1& ui() { return form->form(); }

    // Opens File > Site Address... and lets `whileShown` work on the dialog.
    void siteDialog(const std::function<void(TSiteDlg&)>& whileShown)
    {
        QTimer::singleShot(0, form.get(), [&] {
            auto* dialog = form->findChild<TSiteDlg*>();
            ASSERT_NE(dialog, nullptr);
            whileShown(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        ui().SiteAddress1->trigger();
    }

    void storeSite(const QString& address)
    {
        form->session().companion().setValue(kSiteAddressKey, address);
    }

    QString originalDir = QDir::currentPath();
    test::TempDir dir;
    ScriptedPrompter prompter;
    test::RecordingLauncher launcher;
    test::HttpStandIn server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TOptDlg> options;
    QString project;
};

TEST_F(SiteCommandsTest, TheDialogStoresOnlyAValidAddressAndKey)
{
    siteDialog([&](TSiteDlg& dialog) {
        dialog.form().SiteAddress->setText(u"shop.example.com"_s);
        dialog.form().OKBtn->click();
        EXPECT_TRUE(dialog.isVisible()) << "a broken address keeps the dialog open";
        EXPECT_EQ(prompter.messages().value(0), kSiteAddressRule);
        dialog.form().SiteAddress->setText(u"HTTPS://Shop.Example.com/offers/"_s);
        dialog.form().IndexNowKey->setText(u"bad key!"_s);
        dialog.form().OKBtn->click();
        EXPECT_EQ(prompter.messages().value(1), kIndexNowKeyRule);
        dialog.form().IndexNowKey->setText(u"my-own-key-2024"_s);
        dialog.form().OKBtn->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(ProjectCompanion(project).value(kSiteAddressKey), u"https://shop.example.com/offers/"_s);
    EXPECT_EQ(ProjectCompanion(project).value(kIndexNowKeyKey), u"my-own-key-2024"_s);

    // It opens on the stored values, and Cancel changes nothing.
    siteDialog([&](TSiteDlg& dialog) {
        EXPECT_EQ(dialog.form().IndexNowKey->text(), u"my-own-key-2024"_s);
        dialog.form().SiteAddress->setText(u"https://elsewhere.example/"_s);
        dialog.form().CancelBtn->click();
    });
    EXPECT_EQ(ProjectCompanion(project).value(kSiteAddressKey), u"https://shop.example.com/offers/"_s);
    EXPECT_EQ(prompter.messages().size(), 2);
}

TEST_F(SiteCommandsTest, GenerationWritesTheSiteFilesAndNotifyPostsThePages)
{
    // What the FTP command is given after a generation.
    std::optional<PublishSource> published;
    form->setFtpCommand(
        [&](ProjectSession& session) { published = PublishSource::ofSession(session); });
    ui().Button6->click();
    ASSERT_TRUE(published);
    EXPECT_TRUE(published->siteFiles.empty());
    EXPECT_FALSE(QFile::exists(dir.file(u"Project1/sitemap.xml"_s)));

    storeSite(u"https://shop.example.com/"_s);
    ui().Button2->click();
    ui().Button10->click();
    const QString key = ProjectCompanion(project).value(kIndexNowKeyKey);
    EXPECT_TRUE(QFile::exists(dir.file(u"Project1/sitemap.xml"_s))) << "Generate HTML writes them";
    ui().Button6->click();
    QByteArrayList names;
    for (const SiteFile& file : published->siteFiles) names << file.name;
    EXPECT_EQ(names, (QByteArrayList{key.toLatin1() + ".txt", "sitemap.xml", "robots.txt"}));

    ui().NotifySearchEngines1->trigger();
    ASSERT_EQ(server.requests().size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(server.requests()[0].body).object();
    EXPECT_EQ(body[u"key"].toString(), key);
    EXPECT_EQ(body[u"urlList"].toArray()[1].toString(), u"https://shop.example.com/Project1v.htm"_s);
    // Generation wrote the key file already: nothing more to publish first.
    EXPECT_EQ(prompter.messages(), QStringList{u"200 accepted: 2 addresses"_s});
    EXPECT_EQ(prompter.calls()[0].caption, u"Message"_s);
    EXPECT_TRUE(form->isEnabled());

    // A refusal is shown as a warning.
    server.answer(422);
    ui().Button2->click();  // a third page, new
    ui().Button10->click();
    ui().NotifySearchEngines1->trigger();
    EXPECT_EQ(prompter.calls().last().icon, MessageIcon::Warning);
    EXPECT_EQ(prompter.messages().last(), u"422 addresses not under the site address: 1 address"_s);
}

TEST_F(SiteCommandsTest, NotifyIsOfferedAfterSendOnlyWithASiteAddressAndOnlyYesSends)
{
    ui().Button10->click();
    form->OfferNotification();
    EXPECT_TRUE(prompter.calls().isEmpty());
    ui().NotifySearchEngines1->trigger();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].startsWith(u"The project has no site address"_s));
    EXPECT_TRUE(form->isEnabled());

    storeSite(u"https://shop.example.com/"_s);
    prompter.clear();
    prompter.answerQuestion(Answer::No).answerQuestion(Answer::Yes);
    form->OfferNotification();
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(prompter.calls().value(0).text, u"Notify search engines of the changed pages?"_s);
    form->OfferNotification();
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(SiteCommandsTest, TheWindowAndTheCommandLinePublishTheSamePlan)
{
    storeSite(u"https://shop.example.com/"_s);
    ui().Button2->click();
    std::optional<PublishSource> source;
    form->setFtpCommand([&](ProjectSession& session) { source = PublishSource::ofSession(session); });
    ui().Button6->click();
    ASSERT_TRUE(source);
    ASSERT_TRUE(form->session().save());

    PublishDestination destination;
    destination.host = u"ftp.example.com"_s;
    destination.user = "alice";
    destination.directory = "pub";
    const PublishJob job(*source, destination, {.changedOnly = false, .dryRun = true});
    const test::CliRun cli = test::runCliInProcess(
        {u"upload"_s, project, u"--host"_s, u"ftp.example.com"_s, u"--user"_s, u"alice"_s,
         u"--dir"_s, u"pub"_s, u"--dry-run"_s});
    ASSERT_EQ(cli.exitCode, 0) << cli.err.constData();
    QByteArrayList expected = job.namesToSend();
    EXPECT_EQ(expected.size(), 6) << "the picture, two pages, the key file, sitemap and robots.txt";
    EXPECT_EQ(cli.out, expected.join('\n') + '\n');
}

}  // namespace
}  // namespace velmora
