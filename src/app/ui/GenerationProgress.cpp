#include "GenerationProgress.h"

#include <QCoreApplication>
#include <limits>
#include <utility>

namespace velmora {

GenerationProgress::GenerationProgress(QWidget* window, int updateEveryMs, int showAfterMs)
    : dialog_(window), updateEveryMs_(updateEveryMs), showAfterMs_(showAfterMs)
{
    dialog_.setObjectName(QStringLiteral("GenerationProgress"));
    dialog_.setWindowTitle(QStringLiteral("Velmora"));
    dialog_.setCancelButtonText(QStringLiteral("Stop"));
    // Shown by pageStarted on time; the dialog's own estimate waits for a
    // run that looks long, and its timer could pop it up in the middle of
    // something else.
    dialog_.setMinimumDuration(std::numeric_limits<int>::max());
    // Modal, so that setValue lets the window repaint and Stop be pressed.
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    sinceStart_.start();
}

void GenerationProgress::pageStarted(int n, int m)
{
    const bool due = !shown_ && sinceStart_.elapsed() >= showAfterMs_;
    if (!due && n > 1 && n < m && sinceUpdate_.isValid() && sinceUpdate_.elapsed() < updateEveryMs_)
        return;
    sinceUpdate_.start();
    if (dialog_.maximum() != m) dialog_.setMaximum(m);
    dialog_.setLabelText(QStringLiteral("Page %1 of %2").arg(n).arg(m));
    if (due) {
        shown_ = true;
        dialog_.show();
    }
    dialog_.setValue(n - 1);
    // Lets a press of Stop (and the window system) in while it is shown.
    if (shown_) QCoreApplication::processEvents();
}

bool GenerationProgress::stopRequested() { return dialog_.wasCanceled(); }

bool GenerationProgress::takeMessage(const QString& text)
{
    messages_.append(text);
    return true;
}

QStringList GenerationProgress::close()
{
    dialog_.hide();
    return std::exchange(messages_, {});
}

}  // namespace velmora
