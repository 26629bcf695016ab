#pragma once

#include <exception>
#include <utility>

#include "base/Errors.h"
#include "base/Prompter.h"

namespace velmora {

// The application's error display: the failure's text (with a full stop
// added when it ends in a character sorting after "."), caption "Velmora",
// the error icon and an OK button.
// A detail (which file, and why) goes below as the informative text.
inline void showError(Prompter& prompter, const QString& text, const QString& detail = QString())
{
    prompter.message(QStringLiteral("Velmora"), errorDisplayText(text), MessageIcon::Error, detail);
}

// Runs one command, showing any failure it raises in the error display so
// that no exception ever unwinds through Qt's event loop. Every command slot
// goes through here. Returns false when the command failed.
template <typename Command>
bool guarded(Prompter& prompter, Command&& command)
{
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const VelmoraError& e) {
        showError(prompter, e.text(), e.detail());
    } catch (const std::exception& e) {
        showError(prompter, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

}  // namespace velmora
