#pragma once

#include <QString>
#include <functional>

#include "project/PageRecord.h"

class QWidget;

namespace velmora {

// The longest start of `inserted` that, put between `head` and `tail`, still
// fits the field as the record stores it (UTF-8, multi-line texts with CR
// LF): never more bytes than the field holds, cut between characters.
QString fittingInsertion(TextField field, const QString& head, const QString& inserted,
                         const QString& tail);

// Keeps a text box (single-line or multi-line) within what its record field
// holds: typing stops when the field is full, and a
// paste or drop is cut to the room left, `onCut` told with a line for the
// status bar. Texts set by the program are not touched: the record already
// cut them to fit. A drop-down list is left as it is: some of its own
// entries are longer than their field ("noindex").
void limitToField(QWidget* box, TextField field, std::function<void(const QString&)> onCut);

}  // namespace velmora
