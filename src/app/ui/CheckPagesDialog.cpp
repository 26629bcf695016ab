#include "CheckPagesDialog.h"

#include <QPushButton>
#include <QTreeWidget>

#include "base/ui/DialogConduct.h"
#include "ui_CheckPagesDialog.h"

namespace velmora {

namespace {

constexpr int kPageRole = Qt::UserRole;

QString pageLine(int page, const QByteArray& file)
{
    return QStringLiteral("Page %1 (%2)").arg(page).arg(QString::fromUtf8(file));
}

}  // namespace

QString FindingDescription(const Finding& finding)
{
    switch (finding.kind) {
    case FindingKind::NearDuplicate:
        return QStringLiteral("Near-duplicate: %1% alike").arg(qRound(finding.similarity * 100));
    case FindingKind::Thin:
        return QStringLiteral("Thin: %1 visible words").arg(finding.words);
    case FindingKind::SameTitle:
        return QStringLiteral("Same title on %1 pages").arg(finding.pages.size());
    case FindingKind::HiddenText:
        return QStringLiteral("Hidden text");
    case FindingKind::EmptyDescription:
        return QStringLiteral("Empty description");
    }
    return {};
}

TCheckDlg::TCheckDlg(const std::vector<Finding>& findings, const CheckSummary& summary,
                     QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TCheckDlg>())
{
    ui_->setupUi(this);
    ui_->Summary->setText(summary.text());
    for (const Finding& finding : findings) {
        auto* item = new QTreeWidgetItem(ui_->Findings);
        item->setText(0, FindingDescription(finding));
        if (finding.pages.size() == 1) {
            item->setText(1, pageLine(finding.pages.front(), finding.files.front()));
            item->setData(0, kPageRole, finding.pages.front());
            continue;
        }
        QStringList pages;
        for (qsizetype i = 0; i < finding.pages.size(); ++i) {
            pages.append(QString::number(finding.pages[i]));
            auto* child = new QTreeWidgetItem(item);
            child->setText(1, pageLine(finding.pages[i], finding.files[i]));
            child->setData(0, kPageRole, finding.pages[i]);
        }
        item->setText(1, QStringLiteral("Pages ") + pages.join(QStringLiteral(", ")));
        // The copy, not the page it copies, is the one to mend.
        item->setData(0, kPageRole, finding.pages.back());
    }
    ui_->Findings->resizeColumnToContents(0);
    if (ui_->Findings->topLevelItemCount() > 0)
        ui_->Findings->setCurrentItem(ui_->Findings->topLevelItem(0));
    ui_->GoToBtn->setEnabled(ui_->Findings->topLevelItemCount() > 0);

    connect(ui_->GoToBtn, &QPushButton::clicked, this, &TCheckDlg::goToSelected);
    connect(ui_->Findings, &QTreeWidget::itemActivated, this, [this] { goToSelected(); });
    applyDialogConduct(this);
}

TCheckDlg::~TCheckDlg() = default;

std::optional<int> TCheckDlg::pageOf(const QTreeWidgetItem* item) const
{
    if (!item) return std::nullopt;
    const QVariant page = item->data(0, kPageRole);
    return page.isValid() ? std::optional<int>(page.toInt()) : std::nullopt;
}

void TCheckDlg::goToSelected()
{
    chosenPage_ = pageOf(ui_->Findings->currentItem());
    if (chosenPage_) accept();
}

}  // namespace velmora
