// Writing and reading a 10,000-page project file (376 MB), against copying
// a file of the same size with cp on the same disk.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "project/ProjectFile.h"

namespace {

using namespace velmora;

constexpr int kPages = 10000;

const ProjectData& bigProject()
{
    static const ProjectData project = [] {
        ProjectData p;
        p.pages.reserve(kPages);
        for (int i = 0; i < kPages; ++i) {
            PageRecord& page = p.pages.append();
            InitPage(page, {.index = i, .startupDir = "/home/user/work"});
            page.setText(TextField::Heading, "Page " + QByteArray::number(i));
        }
        return p;
    }();
    return project;
}

QTemporaryDir& workDir()
{
    static QTemporaryDir dir(QStringLiteral("/work/velmora-bench-XXXXXX"));
    return dir;
}

QString projectPath() { return workDir().filePath(QStringLiteral("big.kpj")); }

void BM_WriteProject(benchmark::State& state)
{
    const ProjectData& project = bigProject();
    for (auto _ : state) {
        if (WriteProjectFile(projectPath(), project) != kFileOk) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * (8 + qint64(kPages) * 37600));
}
BENCHMARK(BM_WriteProject)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_ReadProject(benchmark::State& state)
{
    WriteProjectFile(projectPath(), bigProject());
    for (auto _ : state) {
        ProjectData read;
        if (ReadProjectFile(projectPath(), read) != kFileOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(state.iterations() * (8 + qint64(kPages) * 37600));
}
BENCHMARK(BM_ReadProject)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_CopyWithCp(benchmark::State& state)
{
    WriteProjectFile(projectPath(), bigProject());
    const QString copy = workDir().filePath(QStringLiteral("copy.kpj"));
    for (auto _ : state) {
        QProcess::execute(QStringLiteral("cp"), {projectPath(), copy});
    }
    state.SetBytesProcessed(state.iterations() * (8 + qint64(kPages) * 37600));
}
BENCHMARK(BM_CopyWithCp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
