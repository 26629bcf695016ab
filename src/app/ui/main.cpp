#include <QApplication>

#include "base/CommandGuard.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/Resources.h"
#include "app/ui/WidgetPrompter.h"
#include "app/ui/WindowCommandLine.h"
#include "publish/ui/FTPDialog.h"
#include "submit/DefaultSubmissions.h"
#include "submit/ui/URLDialog.h"
#include "generate/BrowserLauncher.h"

int main(int argc, char* argv[])
{
    using namespace velmora;
    // --version and --help are answered before Qt looks for a display. Qt's
    // own options are taken out by QApplication, so a misuse is judged after.
    if (const WindowCommandLine early = WindowCommandLine::parse(argc, argv);
        early.request != WindowCommandLine::Request::Misuse) {
        if (const std::optional<int> exitCode = answerWithoutWindow(early)) return *exitCode;
    }
    QApplication app(argc, argv);
    const WindowCommandLine call = WindowCommandLine::parse(QApplication::arguments().mid(1));
    if (const std::optional<int> exitCode = answerWithoutWindow(call)) return *exitCode;
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setWindowIcon(programIcon());

    WidgetPrompter prompter;
    // Anything that escapes start-up or the event loop is shown like any
    // other failure; the program then ends normally.
    guarded(prompter, [&] {
        // xdg-open may start and then find no browser: said when it ends.
        SystemBrowserLauncher launcher(
            [&prompter](const QString& text) { showError(prompter, text); });
        TForm1 form(prompter, launcher);
        form.setStartupProject(call.projectPath);
        prompter.setParent(&form);
        TFTPDlg ftp(form.settings(), prompter, &form);
        TOptDlg options(form.settings(), prompter, &form);
        form.setOptionsSource(&options);
        form.setOptionsCommand([&options] { options.exec(); });
        form.setFtpCommand(
            [&ftp](ProjectSession& session) { ftp.publish(PublishSource::ofSession(session)); });
        ftp.setSentHandler([&form] { form.OfferNotification(); });
        form.setSubmitCommand([&form, &launcher] {
            InstallSubmissionFile(form.startupDir(),
                                  ShippedSubmissionFile(QCoreApplication::applicationDirPath()));
            TURLDlg submit(form.startupDir(), launcher, &form);
            submit.exec();
        });
        QObject::connect(&form, &TForm1::quitRequested, &app, [] { QCoreApplication::exit(0); },
                         Qt::QueuedConnection);
        form.show();
        QApplication::exec();
    });
    return 0;
}
