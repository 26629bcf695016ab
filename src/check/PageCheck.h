#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <functional>

namespace velmora {

// What a check looks for, and how hard.
struct CheckOptions {
    double similarity = 0.9;  // Jaccard similarity that makes two pages near-duplicates
    int minWords = 150;       // fewer visible words make a page thin
};

enum class FindingKind { NearDuplicate, Thin, SameTitle, HiddenText, EmptyDescription };

// The name a finding goes by, as velmora-cli prints it: "near-duplicate",
// "thin", "same-title", "hidden-text", "empty-description".
QByteArray FindingName(FindingKind kind);

// One thing a search engine would hold against the pages. Pages are
// counted from 1; files are the pages' file names, in the same order.
struct Finding {
    FindingKind kind = FindingKind::Thin;
    QList<int> pages = {};
    QByteArrayList files = {};
    double similarity = 0;  // near-duplicate
    int words = 0;          // thin
};

struct CheckSummary {
    int pages = 0;
    int findings[5] = {};

    int total() const;
    // "Checked 12 pages: 3 near-duplicate, 0 thin, ..."
    QString text() const;
};

// Checks a project's pages as generation writes them, before they are
// published: pages whose visible text nearly copies an earlier page's,
// thin pages, titles used more than once, text hidden in the background's
// colour and empty descriptions. The project is read one page at a time
// and nothing is written. A near-duplicate page is reported once, paired
// with the earlier page it is most like; pages that share a title are
// reported together, after the pages.
class PageCheck {
public:
    // VelmoraError "Error opening file" when the project does not read.
    PageCheck(const QString& projectPath, const QString& startupDir, CheckOptions options);

    CheckSummary run(const std::function<void(const Finding&)>& found);

private:
    QString projectPath_;
    QString startupDir_;
    CheckOptions options_;
};

}  // namespace velmora
