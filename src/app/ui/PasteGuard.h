#pragma once

#include <QClipboard>

class QWidget;

namespace velmora {

// True when the clipboard (or the X selection) holds text to paste.
bool clipboardHasText(QClipboard::Mode mode = QClipboard::Clipboard);

// Pastes the clipboard's text into a single-line or multi-line box; with an
// empty or text-less clipboard nothing happens at all.
void pasteInto(QWidget* box);

// Keeps every paste of an empty or text-less clipboard away from a box: the
// paste keys, the middle button and, for a multi-line box, the context menu.
// Qt 6.4's QPlainTextEdit crashes on clipboard data without any format, the
// normal state of the clipboard right after logging in; a single-line box
// would drop its selection for nothing.
void guardPaste(QWidget* box);

}  // namespace velmora
