// Making a project from a keyword list with velmora-cli new, and generating
// it with velmora-cli generate, for 10,000 and 100,000 phrases, each run
// under /usr/bin/time -v for its peak memory. For comparison, the same
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
