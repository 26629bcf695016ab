#include "WidgetPrompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QShowEvent>

#include "app/ui/NewProjectDialog.h"
#include "base/ui/DialogConduct.h"

namespace velmora {

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A message box in the middle of the screen, also during start-up, when the
// window it belongs to has no place yet. QMessageBox settles its size in its
// own showEvent, so it is placed after that, still before it appears.
class CentredMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override
    {
        if (!event->spontaneous()) widenForCaption();
        QMessageBox::showEvent(event);
        if (!event->spontaneous()) centreOnScreen(this);
    }

private:
    // A short text makes a box narrower than its caption, which the title
    // bar then cuts: a spacer below the texts keeps the box as wide as the
    // caption and the title bar's buttons. QMessageBox sizes itself to its
    // layout's minimum width at the least.
    void widenForCaption()
    {
        if (widened_) return;
        widened_ = true;
        constexpr int kTitleBarButtons = 140;
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (!grid) return;
        const int wanted = fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtons;
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }

    bool widened_ = false;
};

// While a long command shows the busy cursor, a question to the user shows
// the normal one.
class NormalCursor {
public:
    NormalCursor() : busy_(QApplication::overrideCursor() != nullptr)
    {
        if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalCursor()
    {
        if (busy_) QApplication::restoreOverrideCursor();
    }
    NormalCursor(const NormalCursor&) = delete;
    NormalCursor& operator=(const NormalCursor&) = delete;

private:
    bool busy_;
};

std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode)
{
    const NormalCursor cursor;
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    const QtFileFilter filter = qtFileFilter(request.filter);
    dialog.setNameFilter(filter.filter);
    if (filter.label != filter.filter) {
        // Qt reads the patterns from the text it shows; the text the user
        // sees is the design's own.
        if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            const int at = types->findText(filter.filter);
            if (at >= 0) types->setItemText(at, filter.label);
        }
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!request.initialPath.isEmpty()) dialog.selectFile(request.initialPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QtFileFilter qtFileFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0) return {filter, filter};
    QString description = filter.left(bar);
    QString patterns = filter.mid(bar + 1);
    patterns.replace(u';', u' ');
    patterns = patterns.simplified();
    // "HTML Files (*.htm;  *.html)" names its patterns itself: it is shown as
    // it stands, and Qt gets the patterns in its own form.
    const QString label = description;
    const qsizetype open = description.lastIndexOf(u'(');
    const bool listsPatterns = open > 0 && description.endsWith(u')');
    if (listsPatterns) description = description.left(open).trimmed();
    QString qtFilter = description + QStringLiteral(" (") + patterns + u')';
    return {qtFilter, listsPatterns ? label : qtFilter};
}

void WidgetPrompter::message(const QString& caption, const QString& text, MessageIcon icon,
                             const QString& informative)
{
    const NormalCursor cursor;
    CentredMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, parent_);
    box.setInformativeText(informative);
    box.exec();
}

Answer WidgetPrompter::askYesNoCancel(const QString& caption, const QString& text)
{
    const NormalCursor cursor;
    CentredMessageBox box(QMessageBox::Question, caption, text,
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

Answer WidgetPrompter::askYesNo(const QString& caption, const QString& text)
{
    const NormalCursor cursor;
    CentredMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No,
                          parent_);
    // Enter alone does not trust a server.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> WidgetPrompter::openFile(const FileDialogRequest& request)
{
    return runFileDialog(parent_, request, QFileDialog::AcceptOpen);
}

std::optional<QString> WidgetPrompter::saveFile(const FileDialogRequest& request)
{
    return runFileDialog(parent_, request, QFileDialog::AcceptSave);
}

std::optional<std::uint32_t> WidgetPrompter::chooseColour(std::uint32_t initial)
{
    const NormalCursor cursor;
    const QColor start(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF);
    const QColor chosen = QColorDialog::getColor(start, parent_);
    if (!chosen.isValid()) return std::nullopt;
    return std::uint32_t(chosen.red()) | std::uint32_t(chosen.green()) << 8 |
           std::uint32_t(chosen.blue()) << 16;
}

std::optional<int> WidgetPrompter::chooseProjectType()
{
    const NormalCursor cursor;
    TNewPrjDlg dialog(parent_);  // centred on the screen, as every dialog
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.projectType();
}

std::optional<int> WidgetPrompter::askNumber(const QString& caption, const QString& label,
                                             int value, int minimum, int maximum)
{
    bool ok = false;
    const int number =
        QInputDialog::getInt(parent_, caption, label, value, minimum, maximum, 1, &ok);
    if (!ok) return std::nullopt;
    return number;
}

}  // namespace velmora
