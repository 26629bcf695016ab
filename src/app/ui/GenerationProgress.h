#pragma once

#include <QProgressDialog>

#include "generate/Generation.h"

namespace velmora {

// The window's side of a long generation: "Page n of m" with a Stop button
// that ends the run after the page being written. It appears only when the
// run goes on for more than about half a second.
class GenerationProgress final : public GenerationObserver {
  public:
    explicit GenerationProgress(QWidget* window);

    void pageStarted(int n, int m) override;
    bool stopRequested() override;

    QProgressDialog& dialog() { return dialog_; }

  private:
    QProgressDialog dialog_;
};

}  // namespace velmora
