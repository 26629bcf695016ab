#pragma once

#include <QString>

#include "SubmissionList.h"

namespace velmora {

// The search engines Velmora ships in its addurl.ini: addresses that still
// take submissions. $PAR1 stands for the project's IndexNow key and $PAR2
// for the site as the search engine's tools know it.
SubmissionList DefaultSubmissionList();

// Where the addurl.ini shipped with Velmora lies: beside the program in the
// build tree, under share/velmora once installed. Empty when neither has it.
QString ShippedSubmissionFile(const QString& programDir);

// Copies the shipped list into the start-up directory when that has no
// addurl.ini yet, as a file the Add URL dialog may write. True when copied.
bool InstallSubmissionFile(const QString& startupDir, const QString& shippedFile);

}  // namespace velmora
