#pragma once

#include <QString>
#include <exception>

namespace velmora {

// A failure raised while a command runs. It carries the system's own text
// and is shown in exactly one place, the application's error display.
class VelmoraError : public std::exception {
public:
    explicit VelmoraError(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};

// "Cannot create file %s" and "Cannot open file %s".
class FileError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
    static FileError cannotCreate(const QString& path);
    static FileError cannotOpen(const QString& path);
};

// "'%s' is not a valid integer value".
class ConversionError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
    static ConversionError notAnInteger(const QString& value);
};

// The text the error display shows: a full stop is added when the text's
// last character sorts after ".".
QString errorDisplayText(const QString& text);

// Converts a signed decimal integer, blanks around it allowed, or throws
// the conversion failure.
int toInteger(const QString& value);

}  // namespace velmora
