#include "Errors.h"

namespace velmora {

QString fileFailureDetail(const QString& path, const QString& reason)
{
    return reason.isEmpty() ? path : path + u'\n' + reason;
}

FileError FileError::cannotCreate(const QString& path, const QString& reason)
{
    return FileError(QStringLiteral("Cannot create file %1").arg(path),
                     reason.isEmpty() ? QString() : fileFailureDetail(path, reason));
}

FileError FileError::cannotOpen(const QString& path, const QString& reason)
{
    return FileError(QStringLiteral("Cannot open file %1").arg(path),
                     reason.isEmpty() ? QString() : fileFailureDetail(path, reason));
}

ConversionError ConversionError::notAnInteger(const QString& value)
{
    return ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(value));
}

QString errorDisplayText(const QString& text)
{
    if (!text.isEmpty() && text.back() > u'.') return text + u'.';
    return text;
}

int toInteger(const QString& value)
{
    bool ok = false;
    const int result = value.trimmed().toInt(&ok, 10);
    if (!ok) throw ConversionError::notAnInteger(value);
    return result;
}

}  // namespace velmora
