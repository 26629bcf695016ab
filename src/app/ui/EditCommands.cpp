#include "app/ui/EditCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <functional>

#include "app/ui/PasteGuard.h"

namespace velmora {

namespace {

// Runs the edit command that fits the box: one for single-line boxes, one for
// multi-line boxes; nothing for any other widget.
template <typename OnLine, typename OnMemo>
void onTextBox(QWidget* box, OnLine onLine, OnMemo onMemo)
{
    if (auto* line = qobject_cast<QLineEdit*>(box)) std::invoke(onLine, line);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(box)) std::invoke(onMemo, memo);
}

bool isExactly(const QObject* object, const QMetaObject& type)
{
    return object && object->metaObject() == &type;
}

}  // namespace

EditCommands::EditCommands(QMainWindow& window, QMenu& editMenu) : window_(window)
{
    // Pressing Alt takes the focus to the menu bar, and a single-line box
    // drops its selection when it loses the focus: the box and its
    // selection are taken while the key goes down, before that happens.
    for (QWidget* box : window.findChildren<QWidget*>()) {
        if (!isExactly(box, QLineEdit::staticMetaObject) &&
            !isExactly(box, QPlainTextEdit::staticMetaObject))
            continue;
        guardPaste(box);
        box->installEventFilter(this);
    }
    // The Alt target counts only while the menu bar holds the focus it took
    // from that very box.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now != window_.menuBar() || (altTarget_ && altTarget_->box != old)) altTarget_.reset();
    });
    connect(&editMenu, &QMenu::aboutToShow, this, [this] {
        QWidget* focused = QApplication::focusWidget();
        if (QWidget* box = focusedTextBox())
            menuTarget_ = selectionOf(box);
        else if (focused && focused == window_.menuBar())  // opened after Alt: where the focus was
            menuTarget_ = altTarget_;
        else
            menuTarget_.reset();
        altTarget_.reset();
        menuOpen_ = true;
    });
    // The chosen command runs after the menu hides; the target is dropped
    // only once it has.
    connect(&editMenu, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] {
            menuOpen_ = false;
            menuTarget_.reset();
        });
    });
}

namespace {

bool canUndo(QWidget* box)
{
    if (auto* line = qobject_cast<QLineEdit*>(box)) return line->isUndoAvailable();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(box)) return memo->document()->isUndoAvailable();
    return false;
}

}  // namespace

bool EditCommands::undo()
{
    QWidget* box = target();
    if (!canUndo(box)) return false;
    if (auto* line = qobject_cast<QLineEdit*>(box)) line->undo();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(box)) memo->undo();
    return true;
}

bool EditCommands::eventFilter(QObject* watched, QEvent* event)
{
    // A box with nothing of its own to undo leaves Ctrl+Z to Edit > Undo,
    // which puts deleted pages back.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) &&
        !canUndo(qobject_cast<QWidget*>(watched)))
        return true;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt && watched == focusedTextBox())
        altTarget_ = selectionOf(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

QWidget* EditCommands::focusedTextBox() const
{
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !window_.isAncestorOf(focused)) return nullptr;
    // Only a plain single-line or multi-line box; the line box inside a
    // drop-down list does not count.
    if (isExactly(focused, QLineEdit::staticMetaObject) &&
        !qobject_cast<QComboBox*>(focused->parentWidget()))
        return focused;
    if (isExactly(focused, QPlainTextEdit::staticMetaObject)) return focused;
    return nullptr;
}

std::optional<EditCommands::Target> EditCommands::selectionOf(QWidget* box)
{
    if (auto* line = qobject_cast<QLineEdit*>(box)) {
        const int start = line->selectionStart();
        const int position = line->cursorPosition();
        if (start < 0) return Target{box, position, position};
        const int end = start + line->selectedText().size();
        return Target{box, position == start ? end : start, position};
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(box)) {
        const QTextCursor cursor = memo->textCursor();
        return Target{box, cursor.anchor(), cursor.position()};
    }
    return std::nullopt;
}

QWidget* EditCommands::target()
{
    if (!menuOpen_) return focusedTextBox();
    if (!menuTarget_ || !menuTarget_->box) return nullptr;
    const Target target = *menuTarget_;
    if (auto* line = qobject_cast<QLineEdit*>(target.box)) {
        if (target.anchor == target.position)
            line->setCursorPosition(target.position);
        else
            line->setSelection(target.anchor, target.position - target.anchor);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(target.box)) {
        QTextCursor cursor = memo->textCursor();
        cursor.setPosition(target.anchor);
        cursor.setPosition(target.position, QTextCursor::KeepAnchor);
        memo->setTextCursor(cursor);
    }
    target.box->setFocus(Qt::OtherFocusReason);
    return target.box;
}

void EditCommands::copy() { onTextBox(target(), &QLineEdit::copy, &QPlainTextEdit::copy); }

void EditCommands::paste()
{
    if (QWidget* box = target()) pasteInto(box);
}

void EditCommands::cut() { onTextBox(target(), &QLineEdit::cut, &QPlainTextEdit::cut); }

void EditCommands::selectAll()
{
    onTextBox(target(), &QLineEdit::selectAll, &QPlainTextEdit::selectAll);
}

}  // namespace velmora
