// Generating a 10,000-page auto-named project: through velmora-cli, through
// the window (offscreen), and as a plain loop that writes the same bytes to
// the same files.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "app/ui/MainWindow.h"
#include "generate/HeadlessGeneration.h"
#include "project/KeywordFill.h"
#include "project/ProjectFile.h"

namespace {

using namespace velmora;

constexpr int kPages = 10000;

QTemporaryDir& workDir()
{
    static QTemporaryDir dir(QStringLiteral("/work/velmora-bench-XXXXXX"));
    return dir;
}

QString projectPath() { return workDir().filePath(QStringLiteral("site.kpj")); }
QString outputFolder() { return workDir().filePath(QStringLiteral("site")); }

void writeProject()
{
    ProjectData project;
    project.projectType = kInterlinked;
    project.pages.reserve(kPages);
    MemoryPageFields fields;
    for (int i = 0; i < kPages; ++i) {
        const PageRecord before = i ? project.pages.at(i - 1) : PageRecord();
        const PageRecord* previous = i ? &before : nullptr;
        PageRecord& page = project.pages.append();
        InitPage(page, {.index = i, .previous = previous, .startupDir = "/nowhere"});
        fields.setText(TextField::KeywordPhrase, "cheap used cars " + QByteArray::number(i));
        Fill(fields);
        for (TextField f : {TextField::Heading, TextField::SubHeading, TextField::Description,
                            TextField::HiddenText, TextField::Word, TextField::Word1,
                            TextField::Word2, TextField::Word3, TextField::Word4})
            page.setText(f, fields.text(f));
        page.setText(TextField::Image, "");  // measure the page files alone
    }
    WriteProjectFile(projectPath(), project);
    QDir(outputFolder()).removeRecursively();
}

bool runCliGenerate()
{
    QProcess cli;
    cli.setWorkingDirectory(workDir().path());
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(VELMORA_CLI_PATH), {QStringLiteral("generate"), projectPath()});
    return cli.waitForFinished(600000) && cli.exitCode() == 0;
}

// Every page file written anew: the output folder is removed before each run.
void BM_GenerateWithCli(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QDir(outputFolder()).removeRecursively();
        state.ResumeTiming();
        if (!runCliGenerate()) state.SkipWithError("cli failed");
    }
    state.counters["pages"] = kPages;
}
BENCHMARK(BM_GenerateWithCli)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same project again over its own output: every page file already holds
// its bytes, so generation compares and writes nothing.
void BM_RegenerateUnchangedWithCli(benchmark::State& state)
{
    for (auto _ : state) {
        if (!runCliGenerate()) state.SkipWithError("cli failed");
    }
    state.counters["pages"] = kPages;
}
BENCHMARK(BM_RegenerateUnchangedWithCli)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The output folder velmora-cli wrote, copied whole by cp -r into a folder
// that does not exist yet: what a first generation is held against.
void BM_CopyOutputFolderWithCp(benchmark::State& state)
{
    const QString copy = workDir().filePath(QStringLiteral("copy"));
    for (auto _ : state) {
        state.PauseTiming();
        QDir(copy).removeRecursively();
        state.ResumeTiming();
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), outputFolder(), copy}) != 0)
            state.SkipWithError("cp failed");
    }
    QDir(copy).removeRecursively();
}
BENCHMARK(BM_CopyOutputFolderWithCp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PlainLoopWritingTheSameBytes(benchmark::State& state)
{
    // The files velmora-cli wrote, held in memory and written again.
    QList<std::pair<QString, QByteArray>> files;
    QDirIterator it(outputFolder(), {QStringLiteral("*.htm")}, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.append({path, file.readAll()});
    }
    if (files.size() != kPages) state.SkipWithError("run BM_GenerateWithCli first");
    for (auto _ : state) {
        for (const auto& [path, bytes] : files) {
            QFile file(path);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(bytes);
        }
    }
}
BENCHMARK(BM_PlainLoopWritingTheSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);


void BM_GenerateWithWindow(benchmark::State& state)
{
    QuietPrompter prompter;
    struct NoBrowser final : BrowserLauncher {
        bool OpenInBrowser(const QByteArray&) override { return true; }
    } launcher;
    QDir::setCurrent(workDir().path());
    TForm1 form(prompter, launcher);
    struct NoMessages final : OptionsSource {
        Options currentOptions() const override { return {true, false, false, 0}; }
    } options;
    form.setOptionsSource(&options);
    form.show();
    if (form.session().openProject(projectPath()) != kFileOk) state.SkipWithError("load failed");
    for (auto _ : state) {
        if (!form.GeneratePages()) state.SkipWithError("generation failed");
    }
    state.counters["pages"] = kPages;
}
BENCHMARK(BM_GenerateWithWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The project and one output of it first, so that the runs may come in
    // any order (--benchmark_enable_random_interleaving).
    writeProject();
    if (!runCliGenerate()) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
