#include "app/ui/StatusNote.h"

#include <QEvent>

namespace velmora {

StatusNote::StatusNote(QWidget* window) : QLabel(window)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setFrameShape(QFrame::StyledPanel);
    setMargin(2);
    setAttribute(Qt::WA_TransparentForMouseEvents);  // never in the way of a click
    hide();
    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, &QWidget::hide);
    window->installEventFilter(this);  // follows the window's size
}

void StatusNote::showNote(const QString& note, int milliseconds)
{
    setText(note);
    placeAtFoot();
    show();
    raise();
    expiry_.start(milliseconds);
}

bool StatusNote::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize && isVisible()) placeAtFoot();
    return QLabel::eventFilter(watched, event);
}

void StatusNote::placeAtFoot()
{
    const QWidget* window = parentWidget();
    const int height = sizeHint().height();
    setGeometry(0, window->height() - height, window->width(), height);
}

}  // namespace velmora
