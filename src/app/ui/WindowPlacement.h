#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include "app/ui/DesignLayout.h"
#include "base/SettingsFile.h"

class QMainWindow;

namespace velmora {

// Where the main window stands and how big it is: its controls laid out for
// the desktop font, the window sized to hold them inside whatever frame the
// window manager gives it, centred on the screen, and its size recorded in
// the settings file when it closes. On a screen too small for it the window
// shrinks to fit, down to where a text would be cut; below that it scrolls.
class WindowPlacement : public QObject {
public:
    // Takes the design of the controls under `window`'s central widget and
    // lays them out for the current font.
    explicit WindowPlacement(QMainWindow& window);

    // Sizes the window for its controls and its frame as known now.
    void fit();
    // Centres the window, then keeps checking size and place while the
    // window manager frames it.
    void centreAndSettle();
    // A new desktop font: the controls take the room it needs, and a shown
    // window is sized again.
    void fontChanged(bool shown);
    // Section WSIZE of the settings file; FileError when it cannot be written.
    void record(const SettingsFile& settings) const;

private:
    QRect availableArea() const;
    // Puts the controls into a scroll area, once, at least `controls` big.
    void scrollControls(const QSize& controls);
    QPoint centredCorner() const;
    void centre();
    // True once the frame is known and the window sized and placed for it.
    bool settle(int& moves);

    QMainWindow& window_;
    QPointer<QWidget> controls_;  // the central widget as designed
    DesignLayout layout_;
    QSize frameUsed_;  // the frame the window size was last fitted to
};

}  // namespace velmora
