#include "PageCheck.h"

#include <QHash>
#include <algorithm>
#include <future>
#include <optional>
#include <vector>

#include "check/NearDuplicates.h"
#include "check/PageReading.h"
#include "generate/StreamedGeneration.h"

namespace velmora {

namespace {

constexpr const char* kFindingNames[] = {"near-duplicate", "thin", "same-title", "hidden-text",
                                         "empty-description"};

// Pages signed in one go on the signing thread.
constexpr std::size_t kSigningBatch = 256;

struct ReadPageEntry {
    int index = 0;
    PageReading reading;
};

std::vector<std::optional<Signature>> sign(const std::vector<ReadPageEntry>& pages)
{
    std::vector<std::optional<Signature>> signatures;
    signatures.reserve(pages.size());
    for (const ReadPageEntry& page : pages) signatures.push_back(SignatureOf(page.reading.words));
    return signatures;
}

}  // namespace

QByteArray FindingName(FindingKind kind) { return kFindingNames[int(kind)]; }

int CheckSummary::total() const
{
    int sum = 0;
    for (const int n : findings) sum += n;
    return sum;
}

QString CheckSummary::text() const
{
    QString line = QStringLiteral("Checked %1 pages:").arg(pages);
    for (int i = 0; i < 5; ++i) {
        line += QStringLiteral("%1 %2 %3")
                    .arg(i ? u"," : u"")
                    .arg(findings[i])
                    .arg(QLatin1String(kFindingNames[i]));
    }
    return line;
}

PageCheck::PageCheck(const QString& projectPath, const QString& startupDir, CheckOptions options)
    : projectPath_(projectPath), startupDir_(startupDir), options_(options)
{
}

CheckSummary PageCheck::run(const std::function<void(const Finding&)>& found)
{
    StreamedGeneration generation(projectPath_, startupDir_);
    NearDuplicateFinder duplicates(options_.similarity);
    CheckSummary summary;
    QByteArrayList files;  // every page's file name, for the findings that name two
    QHash<QByteArray, QList<int>> titles;
    auto report = [&](const Finding& finding) {
        ++summary.findings[int(finding.kind)];
        found(finding);
    };
    auto single = [&](FindingKind kind, int index) {
        return Finding{.kind = kind, .pages = {index + 1}, .files = {files[index]}};
    };
    auto judge = [&](const ReadPageEntry& page, const std::optional<Signature>& signature) {
        const int index = page.index;
        if (const auto match = duplicates.add(index, signature)) {
            report({.kind = FindingKind::NearDuplicate,
                    .pages = {match->earlier + 1, index + 1},
                    .files = {files[match->earlier], files[index]},
                    .similarity = match->similarity});
        }
        if (int(page.reading.words.size()) < options_.minWords) {
            Finding thin = single(FindingKind::Thin, index);
            thin.words = int(page.reading.words.size());
            report(thin);
        }
        if (page.reading.hasHiddenText) report(single(FindingKind::HiddenText, index));
        if (!page.reading.hasDescription) report(single(FindingKind::EmptyDescription, index));
        if (!page.reading.title.isEmpty()) titles[page.reading.title].append(index);
    };

    // Reading the project and hashing the pages' text overlap: while this
    // thread reads a batch, another signs the one before. Findings still come
    // in page order. `signing` outlives the signing thread's future.
    std::vector<ReadPageEntry> reading;
    std::vector<ReadPageEntry> signing;
    std::future<std::vector<std::optional<Signature>>> signatures;
    auto judgeSigned = [&] {
        if (!signatures.valid()) return;
        const std::vector<std::optional<Signature>> signedPages = signatures.get();
        for (std::size_t i = 0; i < signing.size(); ++i) judge(signing[i], signedPages[i]);
        signing.clear();
    };
    auto signRead = [&] {
        judgeSigned();
        signing.swap(reading);
        signatures = std::async(std::launch::async, [&signing] { return sign(signing); });
    };
    generation.build([&](const StreamedGeneration::BuiltPage& page) {
        files.append(page.fileName);
        ++summary.pages;
        reading.push_back({page.index, ReadPage(page.lines)});
        if (reading.size() == kSigningBatch) signRead();
    });
    signRead();
    judgeSigned();

    // In the order of each title's first page.
    QList<QList<int>> shared;
    for (const QList<int>& pages : std::as_const(titles))
        if (pages.size() > 1) shared.append(pages);
    std::sort(shared.begin(), shared.end(),
              [](const QList<int>& a, const QList<int>& b) { return a.front() < b.front(); });
    for (const QList<int>& pages : shared) {
        Finding same{.kind = FindingKind::SameTitle};
        for (const int index : pages) {
            same.pages.append(index + 1);
            same.files.append(files[index]);
        }
        report(same);
    }
    return summary;
}

}  // namespace velmora
