#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::cli {

// velmora-cli's manual, written once: `velmora-cli --help` prints it as plain
// text and the build makes the man page velmora-cli(1) from the same words.
QString helpText();
// The manual in man(7) markup, ready for gzip.
QByteArray manPage();
// Text as man(7) prints it literally, line by line.
QByteArray roffText(const QString& text);

}  // namespace velmora::cli
