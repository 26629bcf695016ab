// The FTP publishing dialog, offscreen, with every message answered by a
// scripted prompter and the server scripted on 127.0.0.1.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QSslCertificate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>
#include <QTcpServer>
#include <QTimer>
#include <functional>

#include "support/QtPrint.h"
#include "support/ScriptedFtpServer.h"
#include "support/SshServer.h"
#include "support/VsftpdServer.h"
#include "project/ProjectCompanion.h"
#include "publish/ServerTrust.h"
#include "publish/ftp/TlsSettings.h"
#include "publish/ui/FTPDialog.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::ScriptedFtpServer;
using test::ScriptedPrompter;

class FtpDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = std::make_unique<TFTPDlg>(settings, prompter);
        QObject::connect(edit("Inf"), &QLineEdit::textChanged,
                         [this](const QString& text) { statuses << text; });
    }

    QLineEdit* edit(const char* name) { return dialog->findChild<QLineEdit*>(QLatin1String(name)); }
    QPushButton* button(const char* name)
    {
        return dialog->findChild<QPushButton*>(QLatin1String(name));
    }
    QCheckBox* saveBox() { return dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1")); }
    QCheckBox* passiveBox() { return dialog->findChild<QCheckBox*>(QStringLiteral("PassiveMode")); }
    QCheckBox* onlyChangedBox()
    {
        return dialog->findChild<QCheckBox*>(QStringLiteral("OnlyChanged"));
    }
    QComboBox* security() { return dialog->findChild<QComboBox*>(QStringLiteral("Security")); }
    QProgressBar* progressBar()
    {
        return dialog->findChild<QProgressBar*>(QStringLiteral("SendProgress"));
    }
    QString status() { return edit("Inf")->text(); }

    void store(const QByteArray& host, const QByteArray& user, const QByteArray& password,
               const QByteArray& directory, const QByteArray& saveCfg = "Yes")
    {
        settings.write("FTP", "HOST_NAME", host);
        settings.write("FTP", "USER_ID", user);
        settings.write("FTP", "PASSWORD", password);
        settings.write("FTP", "DIRECTORY", directory);
        settings.write("FTP", "SAVE_CFG", saveCfg);
    }
    QByteArray stored(const char* key) { return settings.read("FTP", key, "<missing>"); }

    // Shows the dialog modally for `pages` and runs `whileShown` inside the
    // showing; a dialog still open afterwards is cancelled.
    int showing(const PageList& pages, const std::function<void()>& whileShown)
    {
        QTimer::singleShot(0, dialog.get(), [&] {
            whileShown();
            if (dialog->isVisible()) dialog->reject();
        });
        std::optional<ProjectCompanion> companion;
        if (!projectPath.isEmpty()) companion.emplace(projectPath);
        return dialog->publish(
            {.pages = &pages, .siteFiles = {}, .companion = companion ? &*companion : nullptr});
    }

    // Pages whose files lie in the test folder, all showing one image.
    PageList pagesSharingAnImage(int count)
    {
        dir.write(QStringLiteral("logo.gif"), QByteArray("GIF89a\r\n\0\0\x01\x02", 12));
        PageList pages;
        for (int i = 1; i <= count; ++i) {
            PageRecord& page = pages.append();
            const QByteArray name = "page" + QByteArray::number(i) + ".htm";
            page.setText(TextField::PageFolder, QFile::encodeName(dir.path()) + '/');
            page.setText(TextField::Edit2, name);
            page.setText(TextField::ImageSource,
                         QFile::encodeName(dir.file(QStringLiteral("logo.gif"))));
            page.setText(TextField::Image, i == 1 ? QByteArray("logo.gif") : QByteArray("p.gif"));
            dir.write(QString::fromLatin1(name), "<html>" + name + "</html>");
        }
        return pages;
    }

    // The next showing's port; the fields load from the settings file. The
    // scripted server takes one session at a time: one connection keeps
    // the status texts in their order.
    void useServer(const ScriptedFtpServer& server)
    {
        usePort(server.port());
        settings.write("FTP", "CONNECTIONS", "1");
    }
    void usePort(int port) { settings.write("FTP", "PORT", QByteArray::number(port)); }
    QStringList stores(const ScriptedFtpServer& server) const
    {
        QStringList found;
        for (const QByteArray& line : server.transcript())
            if (line.startsWith("STOR ")) found << QString::fromUtf8(line);
        return found;
    }

    test::TempDir dir;
    QString projectPath;  // none unless a test sets it: no record is kept
    SettingsFile settings{dir.file(QStringLiteral("velmora.ini"))};
    ScriptedPrompter prompter;
    std::unique_ptr<TFTPDlg> dialog;
    QStringList statuses;
};

// ------------------------------------------------------------------ form

TEST_F(FtpDialogTest, TheFormAsDesigned)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("FTP Dialog"));
    EXPECT_EQ(dialog->minimumSize(), QSize(379, 448));
    EXPECT_EQ(dialog->maximumSize(), QSize(379, 448));

    QStringList tabOrder;
    QWidget* w = edit("HostName");
    do {
        if (w->focusPolicy() & Qt::TabFocus) tabOrder << w->objectName();
        w = w->nextInFocusChain();
    } while (w != edit("HostName"));
    EXPECT_EQ(tabOrder.join(u' '),
              QStringLiteral("HostName UserID Password RDirectory PortNumber Security PassiveMode "
                             "OnlyChanged RemoveOld Connections qt_spinbox_lineedit PreviewBtn B2 "
                             "StopBtn OKBtn CancelBtn CheckBox1"));

    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
        EXPECT_TRUE(dialog->findChild<QLabel*>(QLatin1String(name))->font().bold()) << name;
    for (const char* name : {"B2", "StopBtn", "OKBtn", "CancelBtn", "PreviewBtn"})
        EXPECT_TRUE(button(name)->font().bold()) << name;
    EXPECT_EQ(button("PreviewBtn")->text(), QStringLiteral("Preview changes"));
    EXPECT_GE(button("PreviewBtn")->width(), button("PreviewBtn")->sizeHint().width())
        << "the longest caption, shown whole";
    EXPECT_FALSE(button("PreviewBtn")->autoDefault());
    EXPECT_EQ(onlyChangedBox()->text(), QStringLiteral("Only changed files"));
    EXPECT_TRUE(onlyChangedBox()->font().bold());
    EXPECT_TRUE(saveBox()->font().bold());
    EXPECT_TRUE(passiveBox()->font().bold());
    EXPECT_EQ(button("B2")->text(), QStringLiteral("Send"));
    EXPECT_EQ(button("StopBtn")->text(), QStringLiteral("Stop"));
    EXPECT_FALSE(button("StopBtn")->isEnabled()) << "only while Send runs";
    EXPECT_EQ(passiveBox()->text(), QStringLiteral("Passive mode"));
    ASSERT_EQ(security()->count(), 4);
    EXPECT_EQ(security()->itemText(0), QStringLiteral("None"));
    EXPECT_EQ(security()->itemText(1), QStringLiteral("Explicit TLS"));
    EXPECT_EQ(security()->itemText(2), QStringLiteral("Implicit TLS"));
    EXPECT_EQ(security()->itemText(3), QStringLiteral("SFTP"));
    EXPECT_TRUE(button("OKBtn")->isDefault());
    EXPECT_EQ(saveBox()->text(), QStringLiteral("Save FTP Configuration"));

    EXPECT_EQ(edit("Password")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(edit("Password")->styleSheet().contains(QStringLiteral("password-character: 42")));
    EXPECT_TRUE(edit("Inf")->isReadOnly());
    EXPECT_EQ(edit("Inf")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(edit("Inf")->palette().color(QPalette::Base),
              edit("Inf")->palette().color(QPalette::Button));

}

// Without the new keys the dialog is the one it always was: port 21, no
// TLS, active mode.
TEST_F(FtpDialogTest, WithoutTheNewKeysItIsPlainFtpInActiveModeOnPort21)
{
    store("ftp.example.com", "bob", "pw", "www");
    PageList pages;
    showing(pages, [&] {
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("21"));
        EXPECT_EQ(security()->currentText(), QStringLiteral("None"));
        EXPECT_FALSE(passiveBox()->isChecked());
        const PublishDestination d = dialog->destination();
        EXPECT_EQ(d.protocol, PublishProtocol::Ftp);
        EXPECT_EQ(d.port, 21);
        EXPECT_FALSE(d.passive);
        EXPECT_EQ(d.timeOutMs, 30000);
        EXPECT_EQ(d.host, QStringLiteral("ftp.example.com"));
    });
}

// ---------------------------------------------------------------- checks

TEST_F(FtpDialogTest, AMissingHostOrUserIsReportedInTheStatusLineOnly)
{
    ScriptedFtpServer server;
    useServer(server);
    PageList pages;
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("You must specify Host Name"));
        edit("HostName")->setText(QStringLiteral("127.0.0.1"));
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("You must specify UserID"));
    });
    EXPECT_EQ(server.controlConnections(), 0);
    EXPECT_TRUE(prompter.calls().isEmpty());
}

// ---------------------------------------------------------------- Send

TEST_F(FtpDialogTest, ANormalSendRunsThroughItsStatusTexts)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    const PageList pages = pagesSharingAnImage(3);
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(edit("RDirectory")->text(), QStringLiteral("pub/"));
        EXPECT_TRUE(button("B2")->isEnabled());
        EXPECT_FALSE(button("StopBtn")->isEnabled());
        const QProgressBar* bar = dialog->findChild<QProgressBar*>(QStringLiteral("SendProgress"));
        EXPECT_EQ(bar->value(), 1000);
        const qint64 bytes = 12 + 3 * QByteArray("<html>page1.htm</html>").size();
        EXPECT_EQ(bar->format(), QStringLiteral("4 of 4 files, %1 of %1 bytes").arg(bytes));
    });

    QStringList expected = {QStringLiteral("Connecting..."), QStringLiteral("Connected...")};
    for (const char* name : {"pub/logo.gif", "pub/page1.htm", "pub/page2.htm", "pub/page3.htm"})
        expected << QLatin1String(name) << QStringLiteral("Transaction start...")
                 << QStringLiteral("Transaction stop...") << QStringLiteral("Success!");
    expected << QStringLiteral("Disconnecting...") << QStringLiteral("Disconnected...")
             << QStringLiteral("4 files sent, 0 already up to date");
    EXPECT_EQ(statuses, expected);
    EXPECT_TRUE(prompter.calls().isEmpty());

    const QList<QByteArray> sent = server.transcript();
    EXPECT_EQ(stores(server), (QStringList{QStringLiteral("STOR pub/logo.gif"),
                                           QStringLiteral("STOR pub/page1.htm"),
                                           QStringLiteral("STOR pub/page2.htm"),
                                           QStringLiteral("STOR pub/page3.htm")}));
    EXPECT_TRUE(sent.contains("MKD pub")) << "the folder is made before the first upload";
    EXPECT_EQ(
        std::count_if(sent.begin(), sent.end(),
                      [](const QByteArray& line) { return line.startsWith("PORT 127,0,0,1,"); }),
        4)
        << "active mode";
    ASSERT_EQ(server.dataReceived().size(), 4);
    EXPECT_EQ(server.dataReceived()[0], QByteArray("GIF89a\r\n\0\0\x01\x02", 12));
    EXPECT_EQ(sent.last(), QByteArray("QUIT"));
}

TEST_F(FtpDialogTest, ImagesLeftBehindAreToldInOneMessageAfterTheSend)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    PageList pages = pagesSharingAnImage(3);
    dir.write(QStringLiteral("velmora.ini.copy"), "[FTP]\nPASSWORD=secret\n");
    pages.edit(1).setText(TextField::ImageSource, QFile::encodeName(dir.file(QStringLiteral("velmora.ini.copy"))));
    pages.edit(2).setText(TextField::ImageSource, QFile::encodeName(dir.file(QStringLiteral("gone.gif"))));
    showing(pages, [&] { button("B2")->click(); });

    QList<QByteArray> stores;
    for (const QByteArray& line : server.transcript())
        if (line.startsWith("STOR ")) stores << line;
    EXPECT_EQ(stores, (QList<QByteArray>{"STOR pub/logo.gif", "STOR pub/page1.htm",
                                         "STOR pub/page2.htm", "STOR pub/page3.htm"}));
    ASSERT_EQ(prompter.calls().size(), 1);
    const ScriptedPrompter::Call& told = prompter.calls()[0];
    EXPECT_EQ(told.caption, QStringLiteral("Message"));
    EXPECT_EQ(told.icon, MessageIcon::Warning);
    EXPECT_EQ(told.text, QStringLiteral("Image skipped: %1 is not a GIF, JPEG, PNG or WebP picture\n"
                                        "Image skipped: cannot read %2")
                             .arg(dir.file(QStringLiteral("velmora.ini.copy")),
                                  dir.file(QStringLiteral("gone.gif"))));
}

TEST_F(FtpDialogTest, ANameThatWouldBreakACommandStopsTheSendBeforeItConnects)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    PageList pages = pagesSharingAnImage(2);
    pages.edit(1).setText(TextField::Edit2, "page2.htm\r\nDELE index.htm");
    showing(pages, [&] { button("B2")->click(); });
    EXPECT_EQ(server.controlConnections(), 0);
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("Cannot upload \"pub/page2.htm\\r\\nDELE index.htm\": a name "
                                         "sent to the server may not hold control characters.")});
}

TEST_F(FtpDialogTest, SiteFilesGoAfterThePagesAndAWholeSendIsFollowedByTheSentHandler)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    const PageList pages = pagesSharingAnImage(1);
    dir.write(QStringLiteral("sitemap.xml"), "<urlset/>");
    int sentHandled = 0;
    dialog->setSentHandler([&] {
        ++sentHandled;
        EXPECT_FALSE(dialog->isSending());
    });
    QTimer::singleShot(0, dialog.get(), [&] {
        button("B2")->click();
        dialog->reject();
    });
    dialog->publish(
        {.pages = &pages, .siteFiles = {{dir.file(QStringLiteral("sitemap.xml")), "sitemap.xml"}}});
    QList<QByteArray> stores;
    for (const QByteArray& line : server.transcript())
        if (line.startsWith("STOR ")) stores << line;
    EXPECT_EQ(stores, (QList<QByteArray>{"STOR pub/logo.gif", "STOR pub/page1.htm",
                                         "STOR pub/sitemap.xml"}));
    EXPECT_EQ(server.dataReceived().last(), QByteArray("<urlset/>"));
    EXPECT_EQ(sentHandled, 1);

    // A Send that fails, or ends before connecting, is no reason to notify.
    test::ServerScript script = test::defaultScript();
    script.onCommand["PASS"] = {test::send("530 Login incorrect.\r\n")};
    ScriptedFtpServer refusing(script);
    useServer(refusing);
    showing(pages, [&] { button("B2")->click(); });
    store("", "alice", "secret", "pub");
    showing(pages, [&] { button("B2")->click(); });
    EXPECT_EQ(sentHandled, 1);
}

TEST_F(FtpDialogTest, AHostGivenByNameIsResolvedFirst)
{
    ScriptedFtpServer server;
    useServer(server);
    store("localhost", "alice", "secret", "");
    const PageList pages = pagesSharingAnImage(1);
    showing(pages, [&] { button("B2")->click(); });
    ASSERT_GE(statuses.size(), 3);
    EXPECT_EQ(statuses.mid(0, 3), (QStringList{QStringLiteral("Connecting..."),
                                               QStringLiteral("Host resolved..."),
                                               QStringLiteral("Connected...")}));
    EXPECT_TRUE(statuses.contains(QStringLiteral("page1.htm"))) << "bare names";
    EXPECT_TRUE(prompter.calls().isEmpty());
}

// A failed upload ends its connection: the next Send, in the same showing,
// logs in afresh and goes through.
TEST_F(FtpDialogTest, AFailedUploadShowsTheErrorAndEndsTheConnection)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub\\");
    PageList pages = pagesSharingAnImage(2);
    QFile::remove(dir.file(QStringLiteral("page2.htm")));
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(edit("RDirectory")->text(), QStringLiteral("pub\\")) << "kept as written";
        EXPECT_EQ(status(), QStringLiteral("Disconnected..."));
        EXPECT_EQ(server.transcript().last(), QByteArray("QUIT"));
        EXPECT_EQ(server.controlConnections(), 1);
    });
    ASSERT_EQ(prompter.calls().size(), 1);
    const ScriptedPrompter::Call& shown = prompter.calls()[0];
    EXPECT_EQ(shown.caption, QStringLiteral("Velmora"));
    EXPECT_EQ(shown.icon, MessageIcon::Error);
    EXPECT_EQ(shown.buttons, QStringLiteral("OK"));
    const QString missing = dir.file(QStringLiteral("page2.htm"));
    EXPECT_EQ(shown.text, QStringLiteral("Cannot open file ") + missing + QStringLiteral("."));
    EXPECT_EQ(server.dataReceived().size(), 2) << "the image and the first page";

    dir.write(QStringLiteral("page2.htm"), "<html>back</html>");
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("3 files sent, 0 already up to date"));
    });
    EXPECT_EQ(prompter.calls().size(), 1) << "no further failure";
    EXPECT_EQ(server.controlConnections(), 2);
    ASSERT_EQ(server.dataReceived().size(), 5);
    EXPECT_EQ(server.dataReceived()[4], QByteArray("<html>back</html>"));
}

TEST_F(FtpDialogTest, ARefusedLoginShowsTheServersLine)
{
    test::ServerScript script = test::defaultScript();
    script.onCommand["PASS"] = {test::send("530 Login incorrect.\r\n")};
    ScriptedFtpServer server(script);
    useServer(server);
    store("127.0.0.1", "alice", "wrong", "");
    const PageList pages = pagesSharingAnImage(1);
    showing(pages, [&] { button("B2")->click(); });
    EXPECT_EQ(prompter.messages(),
              QStringList{QStringLiteral("127.0.0.1 port %1 refused the login: 530 Login incorrect.\r\n")
                              .arg(server.port())})
        << "a text ending in its line break gets no full stop";
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Connecting..."),
                                     QStringLiteral("Disconnected...")}));
}

TEST_F(FtpDialogTest, ConnectionFailuresReachTheErrorDisplay)
{
    struct Case {
        QString host;
        QString lastStatus;
        QString message;
    };
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closed = probe.serverPort();
    probe.close();
    const QString where = QStringLiteral(" port %1").arg(closed);
    const Case cases[] = {
        {QStringLiteral("127.0.0.1"), QStringLiteral("Connection failed..."),
         QStringLiteral("Connection Failed (127.0.0.1%1: connection refused)").arg(where)},
        {QString(127, u'h'), QStringLiteral("Invalid Host..."),
         QStringLiteral("Null Remote Address (%1%2: name not found)").arg(QString(127, u'h'), where)},
        {QString(128, u'h'), QStringLiteral("Connecting..."),
         QStringLiteral("Host Name Too Long (%1%2)").arg(QString(128, u'h'), where)},
    };
    const PageList pages = pagesSharingAnImage(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        prompter.clear();
        usePort(closed);
        showing(pages, [&] {
            edit("HostName")->setText(c.host);
            edit("UserID")->setText(QStringLiteral("alice"));
            button("B2")->click();
            EXPECT_EQ(status(), c.lastStatus);
        });
        EXPECT_EQ(prompter.messages(), QStringList{c.message});
    }
}

TEST_F(FtpDialogTest, SendDisablesItsButtonsAndACloseWaitsForIt)
{
    test::ServerScript script = test::defaultScript();
    script.greeting = {test::drip("220-A slow server\r\n220 ready at last\r\n")};
    ScriptedFtpServer server(script);
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    const PageList pages = pagesSharingAnImage(2);

    QList<bool> enabledWhileSending;
    bool stopEnabledWhileSending = true;
    bool askedToClose = false;
    QTimer watcher;
    watcher.setInterval(1);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!dialog->isSending()) return;
        for (const char* name : {"B2", "OKBtn", "CancelBtn"})
            enabledWhileSending << button(name)->isEnabled();
        stopEnabledWhileSending = stopEnabledWhileSending && button("StopBtn")->isEnabled();
        if (!askedToClose) {
            askedToClose = true;
            dialog->accept();  // as Enter or the title bar would
        }
    });
    int result = -1;
    QTimer::singleShot(0, dialog.get(), [&] {
        watcher.start();
        button("B2")->click();
        watcher.stop();
    });
    result = dialog->publish({.pages = &pages, .siteFiles = {}});

    EXPECT_TRUE(askedToClose);
    EXPECT_FALSE(enabledWhileSending.isEmpty());
    EXPECT_FALSE(enabledWhileSending.contains(true));
    EXPECT_TRUE(stopEnabledWhileSending);
    EXPECT_FALSE(button("StopBtn")->isEnabled());
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(server.dataReceived().size(), 3) << "Send finished before the dialog closed";
    EXPECT_EQ(stored("DIRECTORY"), QByteArray("pub/")) << "closed with OK: stored";
    for (const char* name : {"B2", "OKBtn", "CancelBtn"}) EXPECT_TRUE(button(name)->isEnabled());
}

// ------------------------------------------------------------- settings

TEST_F(FtpDialogTest, EveryShowingReloadsTheStoredValues)
{
    store("ftp.example.com", "bob", "pw", "www", "Yes");
    PageList pages;
    showing(pages, [&] {
        EXPECT_EQ(edit("HostName")->text(), QStringLiteral("ftp.example.com"));
        EXPECT_EQ(edit("UserID")->text(), QStringLiteral("bob"));
        EXPECT_EQ(edit("Password")->text(), QStringLiteral("pw"));
        EXPECT_EQ(edit("RDirectory")->text(), QStringLiteral("www"));
        EXPECT_TRUE(saveBox()->isChecked());
        edit("HostName")->setText(QStringLiteral("changed"));
    });
    showing(pages, [&] { EXPECT_EQ(edit("HostName")->text(), QStringLiteral("ftp.example.com")); });
}

TEST_F(FtpDialogTest, OkStoresTheFieldsWhenTheBoxIsTicked)
{
    PageList pages;
    const int result = showing(pages, [&] {
        EXPECT_TRUE(saveBox()->isChecked()) << "SAVE_CFG defaults to Yes";
        edit("HostName")->setText(QStringLiteral("ftp.example.com"));
        edit("UserID")->setText(QStringLiteral("carol"));
        edit("Password")->setText(QStringLiteral("s3cret"));
        edit("RDirectory")->setText(QStringLiteral("site/"));
        button("OKBtn")->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(stored("HOST_NAME"), QByteArray("ftp.example.com"));
    EXPECT_EQ(stored("USER_ID"), QByteArray("carol"));
    EXPECT_EQ(stored("PASSWORD"), QByteArray("s3cret"));
    EXPECT_EQ(stored("DIRECTORY"), QByteArray("site/"));
    EXPECT_EQ(stored("SAVE_CFG"), QByteArray("Yes"));
}

TEST_F(FtpDialogTest, OkOnASettingsFileThatCannotBeWrittenSaysSoAndCloses)
{
    store("ftp.example.com", "carol", "s3cret", "site/");
    ASSERT_TRUE(QFile::setPermissions(settings.path(), QFileDevice::ReadOwner));
    PageList pages;
    const int result = showing(pages, [&] {
        edit("HostName")->setText(QStringLiteral("ftp.example.org"));
        button("OKBtn")->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    ASSERT_EQ(prompter.calls().size(), 1);
    EXPECT_EQ(prompter.calls()[0].caption, QStringLiteral("Velmora"));
    EXPECT_EQ(prompter.calls()[0].icon, MessageIcon::Error);
    EXPECT_EQ(prompter.calls()[0].text, QStringLiteral("Cannot create file ") + settings.path() + u'.');
    EXPECT_EQ(stored("HOST_NAME"), QByteArray("ftp.example.com"));
}

TEST_F(FtpDialogTest, OkWithTheBoxUntickedStoresFourEmptyValuesAndNo)
{
    store("ftp.example.com", "bob", "pw", "www");
    PageList pages;
    showing(pages, [&] {
        saveBox()->setChecked(false);
        button("OKBtn")->click();
    });
    for (const char* key : {"HOST_NAME", "USER_ID", "PASSWORD", "DIRECTORY"})
        EXPECT_EQ(stored(key), QByteArray()) << key;
    EXPECT_EQ(stored("SAVE_CFG"), QByteArray("No"));
    showing(pages, [&] {
        EXPECT_TRUE(edit("HostName")->text().isEmpty());
        EXPECT_FALSE(saveBox()->isChecked());
    });
}

TEST_F(FtpDialogTest, OnlyAnExactYesTicksTheBox)
{
    PageList pages;
    for (const auto& [value, ticked] : {std::pair{"yes", false}, std::pair{"YES", false},
                                        std::pair{"No", false}, std::pair{"Yes", true}}) {
        settings.write("FTP", "SAVE_CFG", value);
        showing(pages,
                [&, ticked = ticked] { EXPECT_EQ(saveBox()->isChecked(), ticked) << value; });
    }
}

TEST_F(FtpDialogTest, CancelStoresNothing)
{
    store("ftp.example.com", "bob", "pw", "www");
    const QByteArray before = test::readFile(settings.path());
    PageList pages;
    const int result = showing(pages, [&] {
        edit("HostName")->setText(QStringLiteral("elsewhere"));
        saveBox()->setChecked(false);
        button("CancelBtn")->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(test::readFile(settings.path()), before);
    showing(pages, [&] {
        EXPECT_EQ(edit("HostName")->text(), QStringLiteral("ftp.example.com"));
        EXPECT_TRUE(saveBox()->isChecked());
    });
}


// ------------------------------------------------------------ new fields

TEST_F(FtpDialogTest, PortSecurityAndPassiveAreStoredByTheSaveRule)
{
    PageList pages;
    showing(pages, [&] {
        edit("HostName")->setText(QStringLiteral("ftp.example.com"));
        edit("PortNumber")->setText(QStringLiteral("2121"));
        security()->setCurrentIndex(1);
        passiveBox()->setChecked(true);
        button("OKBtn")->click();
    });
    EXPECT_EQ(stored("PORT"), QByteArray("2121"));
    EXPECT_EQ(stored("PROTOCOL"), QByteArray("ftps"));
    EXPECT_EQ(stored("PASSIVE"), QByteArray("Yes"));
    showing(pages, [&] {
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("2121"));
        EXPECT_EQ(security()->currentText(), QStringLiteral("Explicit TLS"));
        EXPECT_TRUE(passiveBox()->isChecked());
        EXPECT_EQ(dialog->destination().protocol, PublishProtocol::Ftps);
        // Unticked: the fields go back to their defaults, as the four
        // others go empty.
        saveBox()->setChecked(false);
        button("OKBtn")->click();
    });
    EXPECT_EQ(stored("PORT"), QByteArray("21"));
    EXPECT_EQ(stored("PROTOCOL"), QByteArray("ftp"));
    EXPECT_EQ(stored("PASSIVE"), QByteArray("No"));

    // Values the dialog cannot show fall back to the defaults.
    settings.write("FTP", "PORT", "99999");
    settings.write("FTP", "PROTOCOL", "gopher");
    settings.write("FTP", "PASSIVE", "yes");
    showing(pages, [&] {
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("21"));
        EXPECT_EQ(security()->currentText(), QStringLiteral("None"));
        EXPECT_FALSE(passiveBox()->isChecked()) << "only an exact Yes";
    });
}

TEST_F(FtpDialogTest, APortOutsideItsRangeIsReportedInTheStatusLine)
{
    ScriptedFtpServer server;
    store("127.0.0.1", "alice", "secret", "");
    PageList pages;
    showing(pages, [&] {
        for (const QString& port : {QString(), QStringLiteral("0")}) {
            edit("PortNumber")->setText(port);
            button("B2")->click();
            EXPECT_EQ(status(), QStringLiteral("You must specify Port (1 to 65535)"));
        }
    });
    EXPECT_EQ(server.controlConnections(), 0);
    EXPECT_TRUE(prompter.calls().isEmpty());
}

TEST_F(FtpDialogTest, PassiveModeFromTheCheckBox)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "www/docs");
    const PageList pages = pagesSharingAnImage(2);
    showing(pages, [&] {
        passiveBox()->setChecked(true);
        button("B2")->click();
    });
    EXPECT_TRUE(prompter.calls().isEmpty());
    const QList<QByteArray> sent = server.transcript();
    EXPECT_EQ(sent.count("EPSV"), 3);
    EXPECT_FALSE(std::any_of(sent.begin(), sent.end(),
                             [](const QByteArray& line) { return line.startsWith("PORT"); }));
    EXPECT_EQ(sent.mid(3, 2), (QList<QByteArray>{"MKD www", "MKD www/docs"}))
        << "each level, outermost first, before the first upload";
    ASSERT_EQ(server.dataReceived().size(), 3);
    EXPECT_EQ(server.dataReceived()[2], QByteArray("<html>page2.htm</html>"));
}

TEST_F(FtpDialogTest, StopEndsTheTransferWithinASecondAndLeavesTheDialogUsable)
{
    test::ServerScript script = test::defaultScript();
    // 64 KB a second: the 8 MB page would take two minutes.
    script.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::slowData(64 * 1024),
                                test::connectData(),
                                test::replyAfterData("226 Transfer complete\r\n")};
    ScriptedFtpServer slow(script);
    useServer(slow);
    store("127.0.0.1", "alice", "secret", "");
    PageList pages = pagesSharingAnImage(1);
    dir.write(QStringLiteral("page1.htm"), QByteArray(8 * 1024 * 1024, 'x'));

    QElapsedTimer clock;
    qint64 stoppedAfter = -1;
    QTimer stopper;
    stopper.setInterval(5);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        // Once the page is under way.
        if (progressBar()->value() == 0) return;
        stopper.stop();
        EXPECT_TRUE(button("StopBtn")->isEnabled());
        clock.start();
        button("StopBtn")->click();
    });
    showing(pages, [&] {
        stopper.start();
        button("B2")->click();
        stoppedAfter = clock.isValid() ? clock.elapsed() : -1;
        EXPECT_EQ(status(), QStringLiteral("Send stopped: 1 file sent, 0 already up to date"));
        EXPECT_FALSE(button("StopBtn")->isEnabled());
        EXPECT_TRUE(button("B2")->isEnabled());
        EXPECT_TRUE(button("OKBtn")->isEnabled());
    });
    ASSERT_GE(stoppedAfter, 0) << "Stop was never pressed";
    EXPECT_LT(stoppedAfter, 1000);
    EXPECT_TRUE(prompter.calls().isEmpty()) << "a stop is no failure to show";

    // Usable afterwards: the same dialog sends to a good server.
    ScriptedFtpServer good;
    useServer(good);
    dir.write(QStringLiteral("page1.htm"), "<html>again</html>");
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("2 files sent, 0 already up to date"));
    });
    ASSERT_EQ(good.dataReceived().size(), 2);
    EXPECT_EQ(good.dataReceived()[1], QByteArray("<html>again</html>"));
}

TEST_F(FtpDialogTest, StatusAndProgressStartAfreshAtEachShowing)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "");
    const PageList pages = pagesSharingAnImage(1);
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(progressBar()->value(), 1000);
        EXPECT_FALSE(status().isEmpty());
    });
    showing(pages, [&] {
        EXPECT_TRUE(status().isEmpty());
        EXPECT_EQ(progressBar()->value(), 0);
        EXPECT_TRUE(progressBar()->format().isEmpty());
    });
}

// ---------------------------------------------------- only changed files

TEST_F(FtpDialogTest, OnlyChangedFilesIsStoredByTheSaveRule)
{
    PageList pages;
    showing(pages, [&] { EXPECT_FALSE(onlyChangedBox()->isChecked()) << "off without the key"; });
    for (const auto& [value, ticked] : {std::pair{"yes", false}, std::pair{"Yes", true}}) {
        settings.write("FTP", "ONLY_CHANGED", value);
        showing(pages,
                [&, ticked = ticked] { EXPECT_EQ(onlyChangedBox()->isChecked(), ticked) << value; });
    }
    showing(pages, [&] {
        onlyChangedBox()->setChecked(false);
        button("CancelBtn")->click();
    });
    EXPECT_EQ(stored("ONLY_CHANGED"), QByteArray("Yes")) << "Cancel stores nothing";
    showing(pages, [&] {
        onlyChangedBox()->setChecked(false);
        button("OKBtn")->click();
    });
    EXPECT_EQ(stored("ONLY_CHANGED"), QByteArray("No"));
    showing(pages, [&] {
        onlyChangedBox()->setChecked(true);
        button("OKBtn")->click();
    });
    EXPECT_EQ(stored("ONLY_CHANGED"), QByteArray("Yes"));
    showing(pages, [&] {
        saveBox()->setChecked(false);
        button("OKBtn")->click();
    });
    EXPECT_EQ(stored("ONLY_CHANGED"), QByteArray("No")) << "an unticked Save keeps no choice";
    showing(pages, [&] { EXPECT_FALSE(onlyChangedBox()->isChecked()); });
}

TEST_F(FtpDialogTest, OnlyChangedFilesSendsWhatChangedAndSaysWhatWasUpToDate)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    settings.write("FTP", "ONLY_CHANGED", "Yes");
    projectPath = dir.file(QStringLiteral("site.kpj"));
    const PageList pages = pagesSharingAnImage(3);
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("4 files sent, 0 already up to date"));
    });
    EXPECT_EQ(stores(server).size(), 4) << "a destination without a record needs everything";

    dir.write(QStringLiteral("page2.htm"), "<html>PAGE2.htm</html>");
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("1 file sent, 3 already up to date"));
        EXPECT_EQ(progressBar()->format(), QStringLiteral("1 of 1 files, 22 of 22 bytes"));
    });
    EXPECT_EQ(stores(server).mid(4), QStringList{QStringLiteral("STOR pub/page2.htm")});
    EXPECT_EQ(server.dataReceived().last(), QByteArray("<html>PAGE2.htm</html>"));

    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("0 files sent, 4 already up to date"));
    });
    EXPECT_EQ(server.controlConnections(), 2) << "nothing to send needs no connection";

    // Another folder on the same server is another destination.
    showing(pages, [&] {
        edit("RDirectory")->setText(QStringLiteral("mirror"));
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("4 files sent, 0 already up to date"));
    });
    EXPECT_TRUE(prompter.calls().isEmpty());
}

TEST_F(FtpDialogTest, WithoutTheBoxEverythingIsSentAndTheRecordStillKept)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "");
    projectPath = dir.file(QStringLiteral("site.kpj"));
    const PageList pages = pagesSharingAnImage(2);
    for (int round = 0; round < 2; ++round)
        showing(pages, [&] {
            button("B2")->click();
            EXPECT_EQ(status(), QStringLiteral("3 files sent, 0 already up to date"));
        });
    EXPECT_EQ(stores(server).size(), 6);
    showing(pages, [&] {
        onlyChangedBox()->setChecked(true);
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("0 files sent, 3 already up to date"));
    });
    EXPECT_EQ(server.controlConnections(), 2);
}

TEST_F(FtpDialogTest, PreviewListsWhatSendWouldSendAndConnectsNowhere)
{
    ScriptedFtpServer server;
    useServer(server);
    store("127.0.0.1", "alice", "secret", "pub");
    projectPath = dir.file(QStringLiteral("site.kpj"));
    const PageList pages = pagesSharingAnImage(3);
    showing(pages, [&] {
        button("PreviewBtn")->click();
        onlyChangedBox()->setChecked(true);
        button("B2")->click();
        dir.write(QStringLiteral("page3.htm"), "<html>page3.htm, longer</html>");
        button("PreviewBtn")->click();
        onlyChangedBox()->setChecked(false);
        button("PreviewBtn")->click();
    });
    EXPECT_EQ(server.controlConnections(), 1) << "only Send connected";
    EXPECT_EQ(stores(server).size(), 4);
    const QList<ScriptedPrompter::Call> shown = prompter.calls();
    ASSERT_EQ(shown.size(), 3);
    for (const ScriptedPrompter::Call& call : shown) {
        EXPECT_EQ(call.caption, QStringLiteral("Preview changes"));
        EXPECT_EQ(call.icon, MessageIcon::Information);
        EXPECT_EQ(call.buttons, QStringLiteral("OK"));
    }
    const QString everything = QStringLiteral(
        "Send would send 4 files:\n\npub/logo.gif\npub/page1.htm\npub/page2.htm\npub/page3.htm");
    EXPECT_EQ(shown[0].text, everything);
    EXPECT_EQ(shown[1].text,
              QStringLiteral("Send would send 1 file (3 already up to date):\n\npub/page3.htm"));
    EXPECT_EQ(shown[2].text, everything) << "without the box Send sends everything";
}

TEST_F(FtpDialogTest, PreviewChecksTheFieldsAndKeepsItsListToTheScreen)
{
    PageList pages = pagesSharingAnImage(40);
    showing(pages, [&] {
        button("PreviewBtn")->click();
        EXPECT_EQ(status(), QStringLiteral("You must specify Host Name"));
        edit("HostName")->setText(QStringLiteral("127.0.0.1"));
        edit("UserID")->setText(QStringLiteral("alice"));
        onlyChangedBox()->setChecked(true);
        button("PreviewBtn")->click();
    });
    ASSERT_EQ(prompter.calls().size(), 1);
    const QStringList lines = prompter.calls()[0].text.split(u'\n');
    EXPECT_EQ(lines.first(), QStringLiteral("Send would send 41 files (0 already up to date):"));
    EXPECT_EQ(lines.size(), 2 + 30 + 1);
    EXPECT_EQ(lines[2], QStringLiteral("logo.gif"));
    EXPECT_EQ(lines.last(), QStringLiteral("... and 11 more"));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("site.kpj.velmora"))))
        << "no project file, no record";
}

// ------------------------------------------------------------------ TLS

class FtpDialogTlsTest : public FtpDialogTest {
protected:
    void SetUp() override
    {
        FtpDialogTest::SetUp();
        ASSERT_TRUE(certificates.isValid()) << certificates.error().toStdString();
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("pub")));
        vsftpd = std::make_unique<test::VsftpdServer>(
            root.path(), test::VsftpdOptions{.tls = true,
                                             .certificateFile = certificates.certificateFile(),
                                             .keyFile = certificates.keyFile()});
        ASSERT_TRUE(vsftpd->isRunning()) << vsftpd->error().toStdString();
        store("127.0.0.1", test::VsftpdServer::kUser, test::VsftpdServer::kPassword, "pub");
        usePort(vsftpd->port());
        settings.write("FTP", "PROTOCOL", "ftps");
        settings.write("FTP", "PASSIVE", "Yes");
        QFile file(certificates.certificateFile());
        if (file.open(QIODevice::ReadOnly))
            fingerprint = certificateFingerprint(QSslCertificate(file.readAll(), QSsl::Pem));
    }

    test::TestCertificates certificates;
    test::TempDir root;
    std::unique_ptr<test::VsftpdServer> vsftpd;
    QByteArray fingerprint;
};

TEST_F(FtpDialogTlsTest, AnUntrustedCertificateIsAskedAboutOnceAndRemembered)
{
    const PageList pages = pagesSharingAnImage(1);
    prompter.answerQuestion(Answer::Yes);
    showing(pages, [&] { button("B2")->click(); });

    ASSERT_EQ(prompter.calls().size(), 1);
    const ScriptedPrompter::Call& question = prompter.calls()[0];
    EXPECT_EQ(question.buttons, QStringLiteral("Yes No"));
    EXPECT_TRUE(question.text.contains(QStringLiteral("certificate is not trusted")));
    EXPECT_TRUE(question.text.contains(QString::fromLatin1(fingerprint)))
        << question.text.toStdString();
    EXPECT_TRUE(question.text.contains(QStringLiteral("for 127.0.0.1")));
    EXPECT_EQ(ServerTrust(settings).fingerprint(QStringLiteral("127.0.0.1"), vsftpd->port()),
              fingerprint);
    EXPECT_TRUE(test::readFile(root.file(QStringLiteral("pub/page1.htm"))) ==
                "<html>page1.htm</html>")
        << "sent once trusted";
    // The first attempt stopped at the certificate: no login in the clear
    // or otherwise before the answer.
    const QList<QByteArray> commands = vsftpd->commands();
    ASSERT_GE(commands.size(), 2);
    EXPECT_EQ(commands.mid(0, 2), (QList<QByteArray>{"AUTH TLS", "AUTH TLS"}));

    // The next showing knows it.
    showing(pages, [&] { button("B2")->click(); });
    EXPECT_EQ(prompter.calls().size(), 1) << "asked again";
    EXPECT_EQ(status(), QStringLiteral("2 files sent, 0 already up to date"));
}

TEST_F(FtpDialogTlsTest, AnsweringNoSendsNothingAndRemembersNothing)
{
    const PageList pages = pagesSharingAnImage(1);
    prompter.answerQuestion(Answer::No);
    showing(pages, [&] {
        button("B2")->click();
        EXPECT_EQ(status(), QStringLiteral("Certificate not trusted"));
    });
    EXPECT_EQ(prompter.calls().size(), 1);
    EXPECT_TRUE(settings.read("FTP", "TRUSTED_CERTS", {}).isEmpty());
    EXPECT_FALSE(root.exists(QStringLiteral("pub/page1.htm")));
    EXPECT_EQ(vsftpd->commands(), QList<QByteArray>{"AUTH TLS"});
}

TEST_F(FtpDialogTlsTest, ATrustThatCannotBeKeptIsSaidAndTheSendGoesOn)
{
    const PageList pages = pagesSharingAnImage(1);
    ASSERT_TRUE(QFile::setPermissions(settings.path(), QFileDevice::ReadOwner));
    prompter.answerQuestion(Answer::Yes);
    showing(pages, [&] { button("B2")->click(); });

    ASSERT_EQ(prompter.calls().size(), 2);
    EXPECT_EQ(prompter.calls()[1].icon, MessageIcon::Error);
    EXPECT_EQ(prompter.calls()[1].text, QStringLiteral("Cannot create file ") + settings.path() + u'.');
    EXPECT_TRUE(settings.read("FTP", "TRUSTED_CERTS", {}).isEmpty());
    EXPECT_TRUE(test::readFile(root.file(QStringLiteral("pub/page1.htm"))) ==
                "<html>page1.htm</html>")
        << "the answer holds for this Send";
    EXPECT_EQ(status(), QStringLiteral("2 files sent, 0 already up to date"));
}

// ---------------------------------------------------------------- Enter

// Gives `focused` the focus and presses Enter on it.
void pressEnterOn(QWidget* focused)
{
    QApplication::setActiveWindow(focused->window());
    focused->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(focused, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(focused, &release);
}

TEST_F(FtpDialogTest, EnterOnAFocusedButtonPressesThatButton)
{
    store("ftp.example.com", "bob", "pw", "www");
    const QByteArray before = test::readFile(settings.path());
    PageList pages;

    // Cancel: nothing stored, the typed password least of all.
    int result = showing(pages, [&] {
        edit("Password")->setText(QStringLiteral("typed"));
        pressEnterOn(button("CancelBtn"));
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(test::readFile(settings.path()), before);

    // Send: runs Send (here it stops at the missing user) and stays open.
    result = showing(pages, [&] {
        edit("UserID")->clear();
        edit("Password")->setText(QStringLiteral("typed"));
        pressEnterOn(button("B2"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(status(), QStringLiteral("You must specify UserID"));
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(test::readFile(settings.path()), before);

    // OK, and Enter anywhere else, close with OK and store.
    for (const char* focused : {"OKBtn", "CheckBox1", "RDirectory"}) {
        result = showing(pages, [&] {
            edit("Password")->setText(QString::fromLatin1(focused));
            pressEnterOn(dialog->findChild<QWidget*>(QLatin1String(focused)));
        });
        EXPECT_EQ(result, QDialog::Accepted) << focused;
        EXPECT_EQ(stored("PASSWORD"), QByteArray(focused));
    }
}

// ----------------------------------------------------------------- SFTP

class FtpDialogSftpTest : public FtpDialogTest {
protected:
    void SetUp() override
    {
        FtpDialogTest::SetUp();
        ASSERT_TRUE(sshd.isRunning());
        // The dialog records trusted host keys in the user's known_hosts.
        savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        store("127.0.0.1", test::SshServer::user(), test::SshServer::password(), "");
    }
    void TearDown() override { qputenv("HOME", savedHome); }

    QString knownHosts() const { return home.file(QStringLiteral(".ssh/known_hosts")); }

    test::SshServer sshd;
    test::TempDir home;
    QByteArray savedHome;
};

TEST_F(FtpDialogSftpTest, ChoosingSftpMovesAnUntouchedPortTo22AndLeavesATypedOneAlone)
{
    PageList pages;
    showing(pages, [&] {
        ASSERT_EQ(edit("PortNumber")->text(), QStringLiteral("21"));
        security()->setCurrentIndex(security()->findText(QStringLiteral("SFTP")));
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("22"));
        EXPECT_FALSE(passiveBox()->isEnabled()) << "SSH has no data connections";
        EXPECT_EQ(dialog->destination().protocol, PublishProtocol::Sftp);
        security()->setCurrentIndex(0);
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("21"));
        EXPECT_TRUE(passiveBox()->isEnabled());
        edit("PortNumber")->setText(QStringLiteral("2222"));
        security()->setCurrentIndex(security()->findText(QStringLiteral("SFTP")));
        EXPECT_EQ(edit("PortNumber")->text(), QStringLiteral("2222"));
    });
}

TEST_F(FtpDialogSftpTest, AnUnknownHostKeyIsAskedAboutThenRecordedAndThePagesArrive)
{
    const PageList pages = pagesSharingAnImage(2);
    prompter.answerQuestion(Answer::Yes);
    showing(pages, [&] {
        security()->setCurrentIndex(security()->findText(QStringLiteral("SFTP")));
        edit("PortNumber")->setText(QString::number(sshd.port()));
        button("B2")->click();
    });
    ASSERT_EQ(prompter.calls().size(), 1);
    EXPECT_TRUE(prompter.calls()[0].text.contains(QStringLiteral("SHA256:")))
        << prompter.calls()[0].text.toStdString();
    EXPECT_EQ(test::readFile(knownHosts()), sshd.knownHostsLine());
    for (const char* name : {"page1.htm", "page2.htm"})
        EXPECT_EQ(test::readFile(sshd.home() + u'/' + QLatin1String(name)),
                  test::readFile(dir.file(QLatin1String(name))))
            << name;
    EXPECT_EQ(test::readFile(sshd.home() + QStringLiteral("/logo.gif")),
              test::readFile(dir.file(QStringLiteral("logo.gif"))));

    // Known now: the next Send asks nothing.
    showing(pages, [&] {
        security()->setCurrentIndex(security()->findText(QStringLiteral("SFTP")));
        edit("PortNumber")->setText(QString::number(sshd.port()));
        button("B2")->click();
    });
    EXPECT_EQ(prompter.calls().size(), 1);
}

TEST_F(FtpDialogSftpTest, RefusingAnUnknownHostKeySendsNothingAndRecordsNothing)
{
    const PageList pages = pagesSharingAnImage(1);
    prompter.answerQuestion(Answer::No);
    showing(pages, [&] {
        security()->setCurrentIndex(security()->findText(QStringLiteral("SFTP")));
        edit("PortNumber")->setText(QString::number(sshd.port()));
        button("B2")->click();
    });
    EXPECT_EQ(prompter.calls().size(), 1 + 1) << "the question, then the error display";
    EXPECT_FALSE(QFile::exists(knownHosts()));
    EXPECT_FALSE(QFile::exists(sshd.home() + QStringLiteral("/page1.htm")));
}

}  // namespace
}  // namespace velmora
