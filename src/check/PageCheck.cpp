#include "PageCheck.h"

#include <QHash>
#include <algorithm>

#include "check/NearDuplicates.h"
#include "check/PageReading.h"
#include "generate/StreamedGeneration.h"

namespace velmora {

namespace {

constexpr const char* kFindingNames[] = {"near-duplicate", "thin", "same-title", "hidden-text",
                                         "empty-description"};

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

    generation.build([&](const StreamedGeneration::BuiltPage& page) {
        const PageReading reading = ReadPage(page.lines);
        const int index = page.index;
        files.append(page.fileName);
        ++summary.pages;
        if (const auto match = duplicates.add(index, reading.words)) {
            report({.kind = FindingKind::NearDuplicate,
                    .pages = {match->earlier + 1, index + 1},
                    .files = {files[match->earlier], page.fileName},
                    .similarity = match->similarity});
        }
        if (int(reading.words.size()) < options_.minWords) {
            Finding thin = single(FindingKind::Thin, index);
            thin.words = int(reading.words.size());
            report(thin);
        }
        if (reading.hasHiddenText) report(single(FindingKind::HiddenText, index));
        if (!reading.hasDescription) report(single(FindingKind::EmptyDescription, index));
        if (!reading.title.isEmpty()) titles[reading.title].append(index);
    });

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
