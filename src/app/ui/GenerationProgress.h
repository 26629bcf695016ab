#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QStringList>

#include "generate/Generation.h"

namespace velmora {

// The window's side of a long generation: "Page n of m" with a Stop button
// that ends the run after the page being written. It appears once the run
// has gone on for half a second (or as told). The run's information messages are kept
// until it has closed, so that no message box and the progress ever stand
// over each other (where Enter would press Stop instead of OK).
class GenerationProgress final : public GenerationObserver {
public:
    // The dialog is brought up to date at most once every `updateEveryMs`
    // (and on the first and last page): each update lets the window system
    // in, which would cost more than writing a small page.
    // It shows once the run has lasted `showAfterMs`.
    explicit GenerationProgress(QWidget* window, int updateEveryMs = 50, int showAfterMs = 500);

    void pageStarted(int n, int m) override;
    bool stopRequested() override;
    bool takeMessage(const QString& text) override;

    // Closes the dialog and hands over the messages kept, in order.
    QStringList close();
    // True once the dialog has been on the screen.
    bool wasShown() const { return shown_; }

    QProgressDialog& dialog() { return dialog_; }

private:
    QProgressDialog dialog_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceUpdate_;
    QStringList messages_;
    int updateEveryMs_;
    int showAfterMs_;
    bool shown_ = false;
};

}  // namespace velmora
