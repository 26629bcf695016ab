#include "OptionsDialog.h"

#include "base/CommandGuard.h"
#include "base/ui/DialogConduct.h"
#include "ui_OptionsDialog.h"

namespace velmora {

TOptDlg::TOptDlg(SettingsFile settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TOptDlg>()), settings_(std::move(settings)),
      prompter_(prompter)
{
    ui_->setupUi(this);
    choice_.addButton(ui_->RadioItem0, 0);
    choice_.addButton(ui_->RadioItem1, 1);
    choice_.addButton(ui_->RadioItem2, 2);
    ui_->RadioItem0->setChecked(true);  // the choice before anything is loaded
    setFixedSize(sizeHint());
    applyDialogConduct(this);
    load();
}

TOptDlg::~TOptDlg() = default;

Options TOptDlg::currentOptions() const
{
    return {.autoName = ui_->CheckBox1->isChecked(),
            .msgFolder = ui_->CheckBox2->isChecked(),
            .msgFile = ui_->CheckBox3->isChecked(),
            .newProjectChoice = choice_.checkedId()};
}

void TOptDlg::setControls(const Options& options)
{
    ui_->CheckBox1->setChecked(options.autoName);
    ui_->CheckBox2->setChecked(options.msgFolder);
    ui_->CheckBox3->setChecked(options.msgFile);
    if (QAbstractButton* item = choice_.button(options.newProjectChoice)) {
        item->setChecked(true);
    } else if (QAbstractButton* checked = choice_.checkedButton()) {
        // -1: no item chosen.
        choice_.setExclusive(false);
        checked->setChecked(false);
        choice_.setExclusive(true);
    }
}

void TOptDlg::load()
{
    guarded(prompter_, [this] {
        Options options = currentOptions();
        // The flags are set even when the choice fails to convert.
        try {
            LoadOptions(settings_, options);
        } catch (...) {
            setControls(options);
            throw;
        }
        setControls(options);
    });
}

void TOptDlg::done(int result)
{
    // A settings file that cannot be written is said so; the dialog closes.
    if (result == QDialog::Accepted)
        guarded(prompter_, [this] { StoreOptions(settings_, currentOptions()); });
    else
        load();
    QDialog::done(result);
}

}  // namespace velmora
