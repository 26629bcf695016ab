#include "app/ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// The window's outer size, frame included, at the default font.
constexpr int kWindowWidth = 645;
constexpr int kWindowHeight = 458;
// Room kept free right of and below the controls.
constexpr int kWindowMargin = 2;

}  // namespace

WindowPlacement::WindowPlacement(QMainWindow& window)
    : window_(window), controls_(window.centralWidget()), layout_(window.centralWidget())
{
    layout_.apply(layout_.neededScale());
}

void WindowPlacement::fit()
{
    frameUsed_ = window_.frameGeometry().size() - window_.geometry().size();
    // One pixel kept free on each side: a frame thinner than a pixel of a
    // scaled screen rounds to nothing here but still takes a whole one there.
    const QRect area = availableArea().adjusted(1, 1, -1, -1);
    // On a screen too small for the window the design shrinks by one factor
    // until the frame fits, but never so far that a text would be cut.
    const double fits =
        std::min(area.width() / double(kWindowWidth), area.height() / double(kWindowHeight));
    const double scale = std::max(layout_.smallestScale(), std::min(layout_.neededScale(), fits));
    if (scale != layout_.scale()) layout_.apply(scale);
    auto scaled = [scale](int v) { return int(std::lround(v * scale)); };
    QSize inner = QSize(scaled(kWindowWidth), scaled(kWindowHeight)) - frameUsed_;
    // Never so small that a thick frame cuts the controls off.
    const int margin = scaled(kWindowMargin);
    const QSize controls = layout_.extent() + QSize(margin, margin);
    inner = inner.expandedTo(
        QSize(controls.width(), window_.menuBar()->sizeHint().height() + controls.height()));
    // Smaller than that the screen cannot be: the controls scroll instead.
    const QSize room = area.size() - frameUsed_;
    if (inner.width() > room.width() || inner.height() > room.height()) {
        scrollControls(controls);
        inner = inner.boundedTo(room);
    }
    window_.setFixedSize(inner);
}

QRect WindowPlacement::availableArea() const
{
    const QScreen* display = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    return display ? display->availableGeometry() : QRect(0, 0, kWindowWidth, kWindowHeight);
}

void WindowPlacement::scrollControls(const QSize& controls)
{
    if (!controls_) return;
    controls_->setMinimumSize(controls);
    if (qobject_cast<QScrollArea*>(window_.centralWidget())) return;
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(window_.takeCentralWidget());
    window_.setCentralWidget(area);
}

void WindowPlacement::centreAndSettle()
{
    centre();
    // Many window managers frame the window only some time after it is
    // mapped, and Qt reports no event for that: size and place are checked
    // a few times a second until they hold, for ten seconds at most (a busy
    // machine's window manager can take seconds).
    auto* watch = new QTimer(this);
    watch->setInterval(50);
    connect(watch, &QTimer::timeout, this, [this, watch, ticks = 0, moves = 0]() mutable {
        if (!settle(moves) && ++ticks < 200) return;
        watch->stop();
        watch->deleteLater();
    });
    watch->start();
}

bool WindowPlacement::settle(int& moves)
{
    const QSize frame = window_.frameGeometry().size() - window_.geometry().size();
    if (frame.isNull()) return false;  // not framed yet
    if (frame != frameUsed_) fit();
    if (window_.frameGeometry().topLeft() == centredCorner()) return true;
    // A window manager that places windows its own way has the last word.
    if (++moves > 3) return true;
    centre();
    return false;
}

void WindowPlacement::fontChanged(bool shown)
{
    layout_.apply(layout_.neededScale());
    if (shown) fit();
}

QPoint WindowPlacement::centredCorner() const
{
    const QScreen* display = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    if (!display) return window_.frameGeometry().topLeft();
    const QRect area = display->geometry();
    const QSize outer = window_.frameGeometry().size();
    return {area.x() + std::max(0, (area.width() - outer.width()) / 2),
            area.y() + std::max(0, (area.height() - outer.height()) / 2)};
}

void WindowPlacement::centre()
{
    // The frame's corner goes there; move() would count the frame twice
    // once a window manager has framed the window.
    if (QWindow* native = window_.windowHandle())
        native->setFramePosition(centredCorner());
    else
        window_.move(centredCorner());
}

void WindowPlacement::record(const SettingsFile& settings) const
{
    settings.write("WSIZE", "Height", "480");
    const QRect frame = window_.frameGeometry();
    settings.write("WSIZE", "Left", QByteArray::number(frame.x()));
    settings.write("WSIZE", "Top", QByteArray::number(frame.y()));
    settings.write("WSIZE", "Width", "650");
}

}  // namespace velmora
