#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

#include "check/PageCheck.h"

class QTreeWidgetItem;

namespace Ui {
class TCheckDlg;
}

namespace velmora {

// Check Pages: the findings of a check, one row each, a finding about
// several pages opening into a row per page. Go to Page (or a double
// click) closes the dialog on the selected page, which the window then
// shows.
class TCheckDlg : public QDialog {
    Q_OBJECT
public:
    TCheckDlg(const std::vector<Finding>& findings, const CheckSummary& summary,
              QWidget* parent = nullptr);
    ~TCheckDlg() override;

    Ui::TCheckDlg& form() { return *ui_; }
    // The page (counted from 1) chosen with Go to Page; nothing otherwise.
    std::optional<int> chosenPage() const { return chosenPage_; }

private:
    void goToSelected();
    std::optional<int> pageOf(const QTreeWidgetItem* item) const;

    std::unique_ptr<Ui::TCheckDlg> ui_;
    std::optional<int> chosenPage_;
};

// The line a finding shows in the list: what was found and its measure.
QString FindingDescription(const Finding& finding);

}  // namespace velmora
