#include "DialogConduct.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace velmora {

namespace {

bool isEnter(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter)
        return false;
    return key.modifiers() == Qt::NoModifier || key.modifiers() == Qt::KeypadModifier;
}

bool isCancelButton(const QWidget* widget) {
    return widget->objectName() == QLatin1String("CancelBtn");
}

class DialogConduct final : public QObject {
  public:
    explicit DialogConduct(QDialog* dialog) : QObject(dialog), dialog_(dialog) {
        dialog->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, &DialogConduct::focusChanged);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != dialog_)
            return false;
        if (event->type() == QEvent::Show && !event->spontaneous())
            centreOnScreen(dialog_);
        if (event->type() == QEvent::KeyPress && isEnter(*static_cast<QKeyEvent*>(event))) {
            // A key the focused widget left alone reaches the dialog here,
            // before QDialog would hand it to the default button.
            auto* button = qobject_cast<QPushButton*>(dialog_->focusWidget());
            if (button && button->window() == dialog_ && button->isVisible()) {
                if (button->isEnabled())
                    button->click();
                return true;
            }
        }
        return false;
    }

  private:
    // Qt moves the focus off a button that is disabled to whatever follows
    // it, which may be Cancel; the focus goes on to a safe control instead.
    void focusChanged(QWidget* old, QWidget*) {
        if (!old || old->isEnabled() || old->window() != dialog_ ||
            !qobject_cast<QPushButton*>(old))
            return;
        for (QWidget* w = old->nextInFocusChain(); w && w != old; w = w->nextInFocusChain()) {
            if (w->window() != dialog_ || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() ||
                !w->isVisibleTo(dialog_) || isCancelButton(w))
                continue;
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }

    QWidget* dialog_;  // the parent: it outlives this object
};

}  // namespace

void applyDialogConduct(QDialog* dialog) {
    new DialogConduct(dialog);
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame counts once the window system has told it.
    const QRect outer(QPoint(), window->frameGeometry().size());
    window->move(screen->availableGeometry().center() - outer.center());
}

}  // namespace velmora
