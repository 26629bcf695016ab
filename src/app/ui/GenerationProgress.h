#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

#include "generate/Generation.h"

namespace velmora {

// The window's side of a long generation: "Page n of m" with a Stop button
// that ends the run after the page being written. It appears only when the
// run goes on for more than about half a second.
class GenerationProgress final : public GenerationObserver {
public:
    // The dialog is brought up to date at most once every `updateEveryMs`
    // (and on the first and last page): each update lets the window system
    // in, which would cost more than writing a small page.
    explicit GenerationProgress(QWidget* window, int updateEveryMs = 50);

    void pageStarted(int n, int m) override;
    bool stopRequested() override;

    QProgressDialog& dialog() { return dialog_; }

private:
    QProgressDialog dialog_;
    QElapsedTimer sinceUpdate_;
    int updateEveryMs_;
};

}  // namespace velmora
