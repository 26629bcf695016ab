// Republishing a 10,000-page project after one page changed: generation plus
// an upload of only the changed files to a local vsftpd (passive mode),
// against the same generation plus the full upload, in one run. Targets: the changed-only
// republish under 1 s, and under 5% of the full one.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "support/VsftpdServer.h"
#include "base/Errors.h"
#include "publish/ChangedFiles.h"
#include "publish/PublisherFactory.h"
#include "generate/HeadlessGeneration.h"
#include "project/KeywordFill.h"
#include "project/PageOperations.h"
#include "project/ProjectFile.h"
#include "support/MedianReporter.h"

namespace {

using namespace velmora;

constexpr int kPages = 10000;
constexpr int kChangedPage = 4321;

// On the disk, as a user's project would be; the generation benchmark does
// the same.
QString scratchTemplate() { return QStringLiteral("/work/velmora-republish-XXXXXX"); }

class Setting {
public:
    Setting() : local_(scratchTemplate()), serverRoot_(scratchTemplate())
    {
        writeProject();
        server_ = std::make_unique<test::VsftpdServer>(serverRoot_.path());
        if (!server_->isRunning()) return;
        project_ = std::make_unique<HeadlessProject>(projectPath(), local_.path());
        // The pages exist before anything is timed: every contender
        // regenerates a project generated before.
        project_->generate();
    }

    QString problem() const
    {
        if (!server_->isRunning()) return server_->error();
        return project_ ? QString() : QStringLiteral("the project did not open");
    }
    QString projectPath() const { return local_.filePath(QStringLiteral("site.kpj")); }
    HeadlessProject& project() { return *project_; }
    PublishDestination destination() const
    {
        PublishDestination to;
        to.protocol = PublishProtocol::Ftp;
        to.host = QStringLiteral("127.0.0.1");
        to.port = server_->port();
        to.user = test::VsftpdServer::kUser;
        to.password = test::VsftpdServer::kPassword;
        to.passive = true;
        to.directory = "site";
        return to;
    }
    qint64 storedSize(const QByteArray& remoteName) const
    {
        return QFileInfo(serverRoot_.filePath(QString::fromUtf8(remoteName))).size();
    }
    // A new description for one page, a little different each time.
    void changeOnePage()
    {
        PageRecord& page = project_->session().project().pages.edit(kChangedPage);
        page.setText(TextField::Description, "Fresh words, edition " + QByteArray::number(++edition_));
    }

private:
    void writeProject()
    {
        ProjectData project;
        project.projectType = kInterlinked;
        project.pages.reserve(kPages);
        MemoryPageFields fields;
        // Every page shows the one picture, as new pages do.
        const QByteArray startupDir = QFile::encodeName(local_.path());
        QFile splash(local_.filePath(QStringLiteral("splash1.jpg")));
        splash.open(QIODevice::WriteOnly);
        splash.write(QByteArray(24 * 1024, '\x5a').prepend("\xff\xd8\xff\xe0"));
        splash.close();
        for (int i = 0; i < kPages; ++i) {
            const PageRecord before = i ? project.pages.at(i - 1) : PageRecord();
            const PageRecord* previous = i ? &before : nullptr;
            PageRecord& page = project.pages.append();
            InitPage(page, {.index = i, .previous = previous, .startupDir = startupDir});
            fields.setText(TextField::KeywordPhrase, "cheap used cars " + QByteArray::number(i));
            Fill(fields);
            for (TextField f : {TextField::Heading, TextField::SubHeading, TextField::Description,
                                TextField::HiddenText, TextField::Word, TextField::Word1,
                                TextField::Word2, TextField::Word3, TextField::Word4})
                page.setText(f, fields.text(f));
        }
        WriteProjectFile(projectPath(), project);
    }

    QTemporaryDir local_;
    QTemporaryDir serverRoot_;
    std::unique_ptr<test::VsftpdServer> server_;
    int edition_ = 0;
    std::unique_ptr<HeadlessProject> project_;
};

// Generate, then publish as a Send does; the files sent, or -1 when the
// changed page did not reach the server whole.
int republish(Setting& setting, bool onlyChanged, bool generate = true)
{
    if (generate) setting.project().generate();
    const PublishDestination to = setting.destination();
    const std::vector<UploadItem> plan =
        PlanUploads(setting.project().project().pages, NormalisedRemoteDirectory(to.directory)).items;
    ProjectCompanion companion(setting.projectPath());
    ChangedFiles changes(&companion, to, plan, onlyChanged);
    const std::unique_ptr<Publisher> publisher = makePublisher(to);
    changes.publishThrough(*publisher);
    const UploadItem& changed = plan[kChangedPage + 1];  // after the picture
    if (setting.storedSize(changed.remoteName) != QFileInfo(QFile::decodeName(changed.localPath)).size()) return -1;
    return changes.sentCount();
}

struct RepublishCase {
    bool onlyChanged = false;
    // The clock runs from generation on, as a user's republish does;
    // otherwise the page is generated beforehand and the upload timed alone.
    bool generateTimed = true;
};

// One republish per iteration, a page changed before each. The full upload
// sends every file, the changed-only one that page.
void timeRepublish(benchmark::State& state, Setting* setting, RepublishCase how)
{
    const bool onlyChanged = how.onlyChanged, generateTimed = how.generateTimed;
    const int expected = onlyChanged ? 1 : kPages + 1;
    for (auto _ : state) {
        state.PauseTiming();
        setting->changeOnePage();
        if (!generateTimed) setting->project().generate();
        state.ResumeTiming();
        try {
            if (republish(*setting, onlyChanged, generateTimed) != expected)
                state.SkipWithError(onlyChanged ? "not exactly one page was sent"
                                                : "not every file was sent");
        } catch (const VelmoraError& e) {
            state.SkipWithError(e.what());
        }
    }
}

// Generation alone, nothing changed: what the republish costs before the
// upload starts.
void generateOnly(benchmark::State& state, Setting* setting)
{
    for (auto _ : state) setting->project().generate();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Setting setting;
    if (const QString problem = setting.problem(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    const auto add = [](const char* name, int repetitions, auto function) {
        benchmark::RegisterBenchmark(name, function)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(repetitions);
    };
    // The full upload runs first: it leaves the record the others start from.
    const auto republishing = [&](RepublishCase how) {
        return [&setting, how](benchmark::State& s) { timeRepublish(s, &setting, how); };
    };
    add("full_republish", 3, republishing({.onlyChanged = false}));
    add("changed_only_republish", 5, republishing({.onlyChanged = true}));
    add("full_upload_alone", 3, republishing({.onlyChanged = false, .generateTimed = false}));
    add("changed_only_upload_alone", 5, republishing({.onlyChanged = true, .generateTimed = false}));
    add("generate_only", 5, [&](benchmark::State& s) { generateOnly(s, &setting); });
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto compare = [&](const char* what, const char* changedName, const char* fullName) {
        const std::optional<double> full = reporter.median(fullName);
        const std::optional<double> changed = reporter.median(changedName);
        if (!full || !changed) return;
        std::printf("%s: changed-only %.0f ms, full %.0f ms, ratio %.1f%%\n", what, *changed,
                    *full, 100.0 * *changed / *full);
    };
    std::printf("\nmedians (targets for the republish: under 1000 ms and under 5%%)\n");
    compare("republish (generate + upload)", "changed_only_republish", "full_republish");
    compare("upload alone", "changed_only_upload_alone", "full_upload_alone");
    benchmark::Shutdown();
    return 0;
}
