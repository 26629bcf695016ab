// Making a project from a keyword list with velmora-cli new, from a table
// of the same phrases with new --rows, generating it with velmora-cli
// generate and checking it with velmora-cli check, for 10,000 and 100,000
// phrases, each run under /usr/bin/time -v for its peak memory. For comparison, the same
// generation with the whole project held in memory (the session that
// velmora-cli upload and the window use), 10,000 pages only.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "generate/HeadlessGeneration.h"

namespace {

using namespace velmora;

QTemporaryDir& workDir()
{
    static QTemporaryDir dir(QStringLiteral("/work/velmora-bench-XXXXXX"));
    return dir;
}

QString listPath(int phrases) { return workDir().filePath(QStringLiteral("list%1.txt").arg(phrases)); }
QString projectPath(int phrases) { return workDir().filePath(QStringLiteral("site%1.kpj").arg(phrases)); }
QString tablePath(int phrases) { return workDir().filePath(QStringLiteral("table%1.csv").arg(phrases)); }
QString tableProjectPath(int phrases)
{
    return workDir().filePath(QStringLiteral("table%1.kpj").arg(phrases));
}

// A keyword list of varied phrases of two to five words.
void writeList(int phrases)
{
    if (QFile::exists(listPath(phrases))) return;
    static const char* const kWords[] = {"cheap", "used", "cars", "new", "best", "price",
                                         "london", "deals", "online", "family", "sports",
                                         "electric", "rent", "buy", "repair", "parts"};
    QFile file(listPath(phrases));
    file.open(QIODevice::WriteOnly);
    for (int i = 0; i < phrases; ++i) {
        QByteArray line;
        const int words = 2 + i % 4;
        for (int w = 0; w < words; ++w) line += QByteArray(kWords[(i / (w + 1) + w * 7) % 16]) + ' ';
        line += QByteArray::number(i) + '\n';
        file.write(line);
    }
}

// The list's phrases as a table, each with a link of its own; a phrase
// with a comma would be quoted.
void writeTable(int phrases)
{
    writeList(phrases);
    if (QFile::exists(tablePath(phrases))) return;
    QFile list(listPath(phrases));
    QFile table(tablePath(phrases));
    list.open(QIODevice::ReadOnly);
    table.open(QIODevice::WriteOnly);
    table.write("KeywordPhrase,HomePage\r\n");
    for (int i = 0; !list.atEnd(); ++i)
        table.write(list.readLine().trimmed() + ",https://shop.example/" + QByteArray::number(i) + "\r\n");
}

// Runs a program under /usr/bin/time -v; returns its peak resident set in
// MB, or a negative number when it failed.
double runMeasured(benchmark::State& state, const QStringList& command)
{
    QProcess process;
    process.setWorkingDirectory(workDir().path());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-v")} + command);
    if (!process.waitForFinished(3600000) || process.exitCode() != 0) {
        state.SkipWithError("the measured run failed");
        return -1;
    }
    const QString report = QString::fromUtf8(process.readAllStandardError());
    const auto match =
        QRegularExpression(QStringLiteral("Maximum resident set size \\(kbytes\\): (\\d+)")).match(report);
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

void BM_NewProject(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    writeList(phrases);
    double peak = 0;
    for (auto _ : state) {
        peak = runMeasured(state, {QStringLiteral(VELMORA_CLI_PATH), QStringLiteral("new"),
                                   projectPath(phrases), QStringLiteral("--phrases"),
                                   listPath(phrases), QStringLiteral("--force")});
    }
    state.counters["peak_MB"] = peak;
    state.counters["pages"] = phrases;
}
BENCHMARK(BM_NewProject)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_NewProjectFromRows(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    writeTable(phrases);
    double peak = 0;
    for (auto _ : state) {
        peak = runMeasured(state, {QStringLiteral(VELMORA_CLI_PATH), QStringLiteral("new"),
                                   tableProjectPath(phrases), QStringLiteral("--rows"),
                                   tablePath(phrases), QStringLiteral("--force")});
    }
    state.counters["peak_MB"] = peak;
    state.counters["pages"] = phrases;
}
BENCHMARK(BM_NewProjectFromRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Every page of a project made from phrases is a near-copy of others: the
// check's worst case, each page matched against the ones before.
void BM_Check(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    if (!QFile::exists(projectPath(phrases))) state.SkipWithError("run BM_NewProject first");
    double peak = 0;
    for (auto _ : state) {
        peak = runMeasured(state, {QStringLiteral(VELMORA_CLI_PATH), QStringLiteral("check"),
                                   projectPath(phrases)});
    }
    state.counters["peak_MB"] = peak;
    state.counters["pages"] = phrases;
}
BENCHMARK(BM_Check)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Generate(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    if (!QFile::exists(projectPath(phrases))) state.SkipWithError("run BM_NewProject first");
    double peak = 0;
    for (auto _ : state) {
        QDir(workDir().filePath(QStringLiteral("site%1").arg(phrases))).removeRecursively();
        peak = runMeasured(state, {QStringLiteral(VELMORA_CLI_PATH), QStringLiteral("generate"),
                                   projectPath(phrases)});
    }
    state.counters["peak_MB"] = peak;
    state.counters["pages"] = phrases;
}
BENCHMARK(BM_Generate)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_GenerateAndSave(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    if (!QFile::exists(projectPath(phrases))) state.SkipWithError("run BM_NewProject first");
    double peak = 0;
    for (auto _ : state) {
        peak = runMeasured(state, {QStringLiteral(VELMORA_CLI_PATH), QStringLiteral("generate"),
                                   projectPath(phrases), QStringLiteral("--save")});
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_GenerateAndSave)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_GenerateWholeProjectInMemory(benchmark::State& state)
{
    const int phrases = int(state.range(0));
    if (!QFile::exists(projectPath(phrases))) state.SkipWithError("run BM_NewProject first");
    double peak = 0;
    for (auto _ : state) {
        peak = runMeasured(state, {QCoreApplication::applicationFilePath(),
                                   QStringLiteral("--whole-project"), projectPath(phrases)});
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_GenerateWholeProjectInMemory)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The measured child of BM_GenerateWholeProjectInMemory.
    if (argc == 3 && QByteArrayView(argv[1]) == "--whole-project") {
        try {
            HeadlessProject project(QString::fromLocal8Bit(argv[2]), QDir::currentPath());
            return project.generate().isEmpty() ? 1 : 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
