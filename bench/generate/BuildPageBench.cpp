// Building one page's HTML lines from a filled page.
#include <benchmark/benchmark.h>

#include "generate/PageBuilder.h"
#include "project/KeywordFill.h"
#include "project/PageOperations.h"

namespace {

void BM_BuildPage(benchmark::State& state)
{
    using namespace velmora;
    PageRecord page;
    InitPage(page, {.startupDir = "/home/user/work"});
    MemoryPageFields fields;
    ShowPage(page, fields, kInterlinked, 0, 1);
    fields.setText(TextField::KeywordPhrase, "cheap used cars online");
    Fill(fields);
    fields.setText(TextField::Description, QByteArray(2000, 'd') + "\r\n" + QByteArray(2000, 'e'));
    fields.setText(TextField::PreviousLinkName, "Previous page");
    fields.setText(TextField::PreviousLinkAddress, "Project1b.htm");
    const QByteArray link = "https://velmora.example/";
    for (auto _ : state) {
        QByteArrayList lines = BuildPage(fields, kInterlinked, link);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_BuildPage);

}  // namespace

BENCHMARK_MAIN();
