// The window on large projects, beside velmora-cli on the same files:
// opening a 20,000-page project, generating it into an empty folder and
// again over its own unchanged output, with the window's resident memory
// after each step; opening a 100,000-page project and paging through it.
// Widgets run offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "app/ui/MainWindow.h"
#include "generate/HeadlessGeneration.h"
#include "project/KeywordFill.h"
#include "project/ProjectFile.h"

namespace {

using namespace velmora;

constexpr int kPages = 20000;
constexpr int kLargePages = 100000;

QTemporaryDir& workDir()
{
    static QTemporaryDir dir(QStringLiteral("/work/velmora-bench-XXXXXX"));
    return dir;
}

QString projectPath(int pages) { return workDir().filePath(QStringLiteral("site%1.kpj").arg(pages)); }
QString outputFolder(int pages) { return workDir().filePath(QStringLiteral("site%1").arg(pages)); }

// The process's resident memory now, in MB.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return -1;
}

// A filled Interlinked project, written record by record.
void writeProject(int pages)
{
    if (QFile::exists(projectPath(pages))) return;
    ProjectFileWriter writer;
    writer.open(projectPath(pages), kInterlinked);
    MemoryPageFields fields;
    PageRecord previous;
    for (int i = 0; i < pages; ++i) {
        PageRecord page;
        InitPage(page, {.index = i, .previous = i ? &previous : nullptr, .startupDir = "/nowhere"});
        fields.setText(TextField::KeywordPhrase, "cheap used cars " + QByteArray::number(i));
        Fill(fields);
        for (TextField f : {TextField::Heading, TextField::SubHeading, TextField::Description,
                            TextField::HiddenText, TextField::Word, TextField::Word1})
            page.setText(f, fields.text(f));
        page.setText(TextField::Image, "");  // the page files alone
        writer.append(page);
        previous = page;
    }
    writer.commit();
}

bool runCliGenerate(int pages)
{
    QProcess cli;
    cli.setWorkingDirectory(workDir().path());
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(VELMORA_CLI_PATH), {QStringLiteral("generate"), projectPath(pages)});
    return cli.waitForFinished(600000) && cli.exitCode() == 0;
}

struct NoBrowser final : BrowserLauncher {
    bool OpenInBrowser(const QByteArray&) override { return true; }
};

struct NoMessages final : OptionsSource {
    Options currentOptions() const override { return {true, false, false, 0}; }
};

// One window for the whole run, as a user keeps it open.
struct Window {
    Window()
    {
        QDir::setCurrent(workDir().path());
        form = std::make_unique<TForm1>(prompter, launcher);
        form->setOptionsSource(&options);
        form->show();
        QApplication::processEvents();
    }
    QuietPrompter prompter;
    NoBrowser launcher;
    NoMessages options;
    std::unique_ptr<TForm1> form;
};

// Closed by main() while the application still exists.
std::unique_ptr<Window>& openWindow()
{
    static std::unique_ptr<Window> w;
    return w;
}

Window& window()
{
    if (!openWindow()) openWindow() = std::make_unique<Window>();
    return *openWindow();
}

void BM_CliGenerateNew(benchmark::State& state)
{
    writeProject(kPages);
    for (auto _ : state) {
        state.PauseTiming();
        QDir(outputFolder(kPages)).removeRecursively();
        state.ResumeTiming();
        if (!runCliGenerate(kPages)) state.SkipWithError("cli failed");
    }
}
BENCHMARK(BM_CliGenerateNew)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CliRegenerateUnchanged(benchmark::State& state)
{
    for (auto _ : state)
        if (!runCliGenerate(kPages)) state.SkipWithError("cli failed");
}
BENCHMARK(BM_CliRegenerateUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_WindowOpen(benchmark::State& state)
{
    Window& w = window();
    for (auto _ : state)
        if (w.form->session().openProject(projectPath(kPages)) != kFileOk)
            state.SkipWithError("open failed");
    state.counters["rss_mb"] = residentMb();
}
BENCHMARK(BM_WindowOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_WindowGenerateNew(benchmark::State& state)
{
    Window& w = window();
    for (auto _ : state) {
        state.PauseTiming();
        QDir(outputFolder(kPages)).removeRecursively();
        w.form->session().openProject(projectPath(kPages));
        state.ResumeTiming();
        if (!w.form->GeneratePages()) state.SkipWithError("generation failed");
    }
    state.counters["rss_mb"] = residentMb();
}
BENCHMARK(BM_WindowGenerateNew)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_WindowRegenerateUnchanged(benchmark::State& state)
{
    Window& w = window();
    for (auto _ : state)
        if (!w.form->GeneratePages()) state.SkipWithError("generation failed");
    state.counters["rss_mb"] = residentMb();
}
BENCHMARK(BM_WindowRegenerateUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_WindowOpenLarge(benchmark::State& state)
{
    writeProject(kLargePages);
    Window& w = window();
    for (auto _ : state)
        if (w.form->session().openProject(projectPath(kLargePages)) != kFileOk)
            state.SkipWithError("open failed");
    state.counters["rss_mb"] = residentMb();
}
BENCHMARK(BM_WindowOpenLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// ">>" through the first 1,000 pages, then to the last page and back to the
// first, as Go to Page does.
void BM_WindowPageLarge(benchmark::State& state)
{
    Window& w = window();
    ProjectSession& session = w.form->session();
    for (auto _ : state) {
        session.showPage(0);
        for (int i = 0; i < 1000; ++i) w.form->Button2Click();
        session.storeCurrentPage();
        session.showPage(kLargePages - 1);
        session.showPage(0);
    }
    state.counters["rss_mb"] = residentMb();
}
BENCHMARK(BM_WindowPageLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // Written before any run, so that the runs may come in any order.
    writeProject(kPages);
    writeProject(kLargePages);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    openWindow().reset();
    return 0;
}
