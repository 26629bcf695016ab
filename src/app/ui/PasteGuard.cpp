#include "PasteGuard.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>

namespace velmora {

bool clipboardHasText(QClipboard::Mode mode) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (mode == QClipboard::Selection && !clipboard->supportsSelection())
        return false;
    const QMimeData* data = clipboard->mimeData(mode);
    return data && data->hasText() && !data->text().isEmpty();
}

void pasteInto(QWidget* box) {
    if (!clipboardHasText())
        return;
    if (auto* line = qobject_cast<QLineEdit*>(box))
        line->paste();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(box))
        memo->paste();
}

namespace {

class PasteGuard final : public QObject {
  public:
    explicit PasteGuard(QWidget* box) : QObject(box), box_(box) {
        box->installEventFilter(this);
        // A multi-line box takes the mouse through its viewport.
        if (auto* memo = qobject_cast<QPlainTextEdit*>(box))
            memo->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                return static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) &&
                       !clipboardHasText();
            case QEvent::MouseButtonRelease:
                return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
                       !clipboardHasText(QClipboard::Selection);
            case QEvent::ContextMenu:
                if (auto* memo = qobject_cast<QPlainTextEdit*>(box_);
                    memo && watched == memo->viewport()) {
                    showMenu(memo, static_cast<QContextMenuEvent*>(event)->globalPos());
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

  private:
    // The box's own menu, with its Paste going through the guard: the
    // clipboard may empty while the menu is open.
    void showMenu(QPlainTextEdit* memo, const QPoint& at) {
        QMenu* menu = memo->createStandardContextMenu();
        if (!menu)
            return;
        menu->setAttribute(Qt::WA_DeleteOnClose);
        if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
            disconnect(paste, &QAction::triggered, nullptr, nullptr);
            connect(paste, &QAction::triggered, memo, [memo] { pasteInto(memo); });
            paste->setEnabled(!memo->isReadOnly() && clipboardHasText());
        }
        menu->popup(at);
    }

    QWidget* box_;
};

}  // namespace

void guardPaste(QWidget* box) {
    new PasteGuard(box);
}

}  // namespace velmora
