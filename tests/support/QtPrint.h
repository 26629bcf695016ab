#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for the Qt types the FTP tests compare. Found
// by argument-dependent lookup, so they sit in Qt's (global) namespace.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"';
    for (char c : bytes) {
        if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else if (static_cast<unsigned char>(c) < 32)
            *os << "\\x" << std::hex << int(static_cast<unsigned char>(c)) << std::dec;
        else
            *os << c;
    }
    *os << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0) *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}

inline void PrintTo(const QList<QByteArray>& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0) *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}
