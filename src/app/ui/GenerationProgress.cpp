#include "GenerationProgress.h"

namespace velmora {

GenerationProgress::GenerationProgress(QWidget* window, int updateEveryMs)
    : dialog_(window), updateEveryMs_(updateEveryMs)
{
    dialog_.setObjectName(QStringLiteral("GenerationProgress"));
    dialog_.setWindowTitle(QStringLiteral("Velmora"));
    dialog_.setCancelButtonText(QStringLiteral("Stop"));
    dialog_.setMinimumDuration(500);
    // Modal, so that setValue lets the window repaint and Stop be pressed.
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
}

void GenerationProgress::pageStarted(int n, int m)
{
    if (n > 1 && n < m && sinceUpdate_.isValid() && sinceUpdate_.elapsed() < updateEveryMs_)
        return;
    sinceUpdate_.start();
    if (dialog_.maximum() != m) dialog_.setMaximum(m);
    dialog_.setLabelText(QStringLiteral("Page %1 of %2").arg(n).arg(m));
    dialog_.setValue(n - 1);
}

bool GenerationProgress::stopRequested() { return dialog_.wasCanceled(); }

}  // namespace velmora
