#pragma once

#include <QLabel>
#include <QTimer>

namespace velmora {

// The window's status line. The window keeps the design's fixed size, which
// leaves no room for a status bar, so the line is drawn over the foot of the
// window while it has something to say and hidden again afterwards.
class StatusNote : public QLabel {
    Q_OBJECT
public:
    explicit StatusNote(QWidget* window);

    // Shows `note` for `milliseconds`, replacing any note shown now.
    void showNote(const QString& note, int milliseconds = 10'000);
    // The note shown now; empty when none is.
    QString note() const { return isVisible() ? text() : QString(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeAtFoot();

    QTimer expiry_;
};

}  // namespace velmora
