#include "URLDialog.h"

#include <QHideEvent>
#include <QScreen>
#include <QShowEvent>

#include "base/ui/DialogConduct.h"
#include "submit/SubmissionFile.h"
#include "submit/SubmissionFill.h"
#include "ui_URLDialog.h"

namespace velmora {

namespace {

// The bytes a box stands for. While it still shows the stored text, that is
// the stored bytes themselves, so an entry that is not valid UTF-8 survives
// untouched; once the user has changed it, the box's text in UTF-8.
QByteArray shownBytes(const QLineEdit& box, const QByteArray& stored)
{
    const QString text = box.text();
    return text == QString::fromUtf8(stored) ? stored : text.toUtf8();
}

void storeField(SubmissionEntry& entry, SubmissionField field, const QLineEdit& box)
{
    const QByteArray stored = entry.text(field);
    const QByteArray shown = shownBytes(box, stored);
    // Only a real change is stored: rewriting an unchanged field would zero
    // the bytes behind its end and cut a field that fills all 260 bytes.
    if (shown != stored) entry.setText(field, shown);
}

}  // namespace

TURLDlg::TURLDlg(const QString& startupDir, BrowserLauncher& launcher, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TURLDlg>()),
      path_(submissionFilePath(startupDir)),
      launcher_(launcher)
{
    ui_->setupUi(this);
    setFixedSize(sizeHint());
    connect(ui_->Button1, &QPushButton::clicked, this, &TURLDlg::Button1Click);
    connect(ui_->Button2, &QPushButton::clicked, this, &TURLDlg::Button2Click);
    connect(ui_->Button3, &QPushButton::clicked, this, &TURLDlg::Button3Click);
    connect(ui_->CheckBox1, &QCheckBox::toggled, this, &TURLDlg::CheckBox1Click);
    // Next disables itself on the last entry; the focus must not land on
    // Cancel, where the next Enter would drop the user's edits.
    applyDialogConduct(this);
}

TURLDlg::~TURLDlg() = default;

void TURLDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored by the window system is not a new opening.
    if (!event->spontaneous() && !open_) FormShow();
}

void TURLDlg::hideEvent(QHideEvent* event)
{
    // Minimising is no closing; only our own hide ends the opening.
    if (!event->spontaneous() && open_) FormHide();
    QDialog::hideEvent(event);
}

void TURLDlg::FormShow()
{
    open_ = true;
    setResult(Rejected);
    browser_.load(path_);
    ui_->Edit3->setText(QStringLiteral("http://"));
    for (QLineEdit* box : {ui_->Edit4, ui_->Edit5, ui_->Edit6, ui_->Edit7}) box->clear();
    {
        const QSignalBlocker quiet(ui_->CheckBox1);
        ui_->CheckBox1->setChecked(false);
    }
    ui_->SearchEngine->setEnabled(false);
    ui_->SubmissionString->setEnabled(false);
    showCurrent();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    ui_->Edit3->setFocus();
}

void TURLDlg::FormHide()
{
    open_ = false;
    storeCurrent();
    // A failed write is silent: the dialog has already closed.
    if (result() == Accepted) browser_.save(path_);
    browser_.clear();
}

void TURLDlg::Button1Click()
{
    if (!open_ || !browser_.canGoPrevious()) return;
    storeCurrent();
    browser_.previous();
    showCurrent();
}

void TURLDlg::Button2Click()
{
    if (!open_) return;
    const QByteArray text =
        shownBytes(*ui_->SubmissionString, browser_.current().submissionString());
    const SubmissionValues values{
        .url = ui_->Edit3->text().toUtf8(),
        .email = ui_->Edit4->text().toUtf8(),
        .name = ui_->Edit5->text().toUtf8(),
        .par1 = ui_->Edit6->text().toUtf8(),
        .par2 = ui_->Edit7->text().toUtf8(),
    };
    ShowInBrowser(launcher_, FillSubmissionString(text, values));
}

void TURLDlg::Button3Click()
{
    if (!open_ || !browser_.canGoNext()) return;
    storeCurrent();
    browser_.next();
    showCurrent();
}

void TURLDlg::CheckBox1Click(bool checked)
{
    browser_.setEditMode(checked);
    ui_->SearchEngine->setEnabled(checked);
    ui_->SubmissionString->setEnabled(checked);
    // Text typed but not stored gives way to the stored entry.
    if (open_) showCurrent();
}

void TURLDlg::showCurrent()
{
    const SubmissionEntry& entry = browser_.current();
    // A long string shows from its start, where the address is.
    for (auto [box, text] : {std::pair{ui_->SearchEngine, entry.name()},
                             std::pair{ui_->SubmissionString, entry.submissionString()}}) {
        box->setText(QString::fromUtf8(text));
        box->setCursorPosition(0);
        // The box shows the start of a long name or string; the whole of it,
        // with the notes an entry's name carries, reads in the tooltip.
        box->setToolTip(QString::fromUtf8(text));
    }
    ui_->URLNo->setText(browser_.counterText());
    ui_->Button1->setEnabled(browser_.canGoPrevious());
    ui_->Button3->setEnabled(browser_.canGoNext());
}

void TURLDlg::storeCurrent()
{
    SubmissionEntry& entry = browser_.current();
    storeField(entry, SubmissionField::Name, *ui_->SearchEngine);
    storeField(entry, SubmissionField::SubmissionString, *ui_->SubmissionString);
}

}  // namespace velmora
