#pragma once

#include <QString>
#include <exception>

namespace velmora {

// A failure raised while a command runs. It carries the system's own text
// and is shown in exactly one place, the application's error display.
// It may carry a detail for the display's informative text: the file's path
// and the system's reason, for a failure with a file.
class VelmoraError : public std::exception {
public:
    explicit VelmoraError(QString text, QString detail = QString())
        : text_(std::move(text)), detail_(std::move(detail)), utf8_(text_.toUtf8())
    {
    }
    const QString& text() const noexcept { return text_; }
    const QString& detail() const noexcept { return detail_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QString detail_;
    QByteArray utf8_;
};

// The informative text of a failure with a file: its path, then the reason.
QString fileFailureDetail(const QString& path, const QString& reason);

// "Cannot create file %s" and "Cannot open file %s".
class FileError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
    static FileError cannotCreate(const QString& path, const QString& reason = QString());
    static FileError cannotOpen(const QString& path, const QString& reason = QString());
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
