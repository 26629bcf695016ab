#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "generate/PageBuilder.h"

namespace velmora {

class ProjectCompanion;

// The project's choice of page head, kept in its companion file: the
// template's head as it always was, or the head today's engines and phones
// read (charset, viewport and, with a site address, the canonical link).
struct PageHeadChoice {
    bool modern = false;
    QByteArray siteAddress = {};  // normalised; empty when the project has none

    // The head of the page published under `fileName`.
    PageHead headFor(const QByteArray& fileName) const;
};

PageHeadChoice PageHeadChoiceOf(const ProjectCompanion& companion);
bool ModernHeadOf(const ProjectCompanion& companion);
void SetModernHead(ProjectCompanion& companion, bool modern);

// "on" or "off" as velmora-cli takes them; nothing for any other text.
std::optional<bool> OnOff(const QString& text);

}  // namespace velmora
