#include <QApplication>

#include "base/CommandGuard.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/Resources.h"
#include "app/ui/WidgetPrompter.h"
#include "publish/ui/FTPDialog.h"
#include "submit/DefaultSubmissions.h"
#include "submit/ui/URLDialog.h"
#include "generate/BrowserLauncher.h"

int main(int argc, char* argv[])
{
    using namespace velmora;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setWindowIcon(programIcon());

    WidgetPrompter prompter;
    // Anything that escapes start-up or the event loop is shown like any
    // other failure; the program then ends normally.
    guarded(prompter, [&] {
        SystemBrowserLauncher launcher;
        TForm1 form(prompter, launcher);
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
