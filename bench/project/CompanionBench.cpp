// The companion file of a 10,000-page project: recording each file's stamp
// as it is confirmed (one appended line each), against rewriting the whole
// record once; and reading it back, against reading the same bytes raw.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include "project/ProjectCompanion.h"

namespace {

using namespace velmora;

constexpr int kFiles = 10000;
const QString kScope = QStringLiteral("ftp://user@example.com:21/www/");

QTemporaryDir& workDir()
{
    static QTemporaryDir dir(QStringLiteral("/work/velmora-bench-XXXXXX"));
    return dir;
}

QString projectPath() { return workDir().filePath(QStringLiteral("big.kpj")); }

QByteArray nameOf(int i) { return "bigb" + QByteArray::number(i) + ".htm"; }

FileStamp stampOf(int i)
{
    QByteArray hex = QByteArray::number(i, 16).rightJustified(64, '0');
    return {hex, 4000 + i};
}

void writeFullCompanion()
{
    QFile::remove(ProjectCompanion::pathFor(projectPath()));
    ProjectCompanion companion(projectPath());
    for (int i = 0; i < kFiles; ++i) companion.recordStamp(kScope, nameOf(i), stampOf(i));
    companion.compact();
}

// Every stamp recorded one by one, as an upload confirms each file.
void BM_RecordEachStamp(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(ProjectCompanion::pathFor(projectPath()));
        state.ResumeTiming();
        ProjectCompanion companion(projectPath());
        for (int i = 0; i < kFiles; ++i) companion.recordStamp(kScope, nameOf(i), stampOf(i));
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_RecordEachStamp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The peer: one atomic rewrite of the whole record, which a design without
// appending would pay for every confirmed file.
void BM_RewriteWholeRecordOnce(benchmark::State& state)
{
    writeFullCompanion();
    QFile file(ProjectCompanion::pathFor(projectPath()));
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.close();
    for (auto _ : state) {
        QSaveFile save(ProjectCompanion::pathFor(projectPath()));
        save.open(QIODevice::WriteOnly);
        save.write(bytes);
        if (!save.commit()) state.SkipWithError("rewrite failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_RewriteWholeRecordOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LoadCompanion(benchmark::State& state)
{
    writeFullCompanion();
    for (auto _ : state) {
        ProjectCompanion companion(projectPath());
        if (companion.stamps(kScope).size() != kFiles) state.SkipWithError("lost stamps");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_LoadCompanion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The peer of loading: the same bytes read raw.
void BM_ReadSameBytesRaw(benchmark::State& state)
{
    writeFullCompanion();
    for (auto _ : state) {
        QFile file(ProjectCompanion::pathFor(projectPath()));
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll());
    }
}
BENCHMARK(BM_ReadSameBytesRaw)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
