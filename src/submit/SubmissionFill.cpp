#include "SubmissionFill.h"

#include <QByteArrayView>
#include <array>

namespace velmora {

namespace {

void replaceEvery(QByteArray& text, QByteArrayView placeholder, const QByteArray& value)
{
    const bool holdsItself = value.contains(placeholder);
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(placeholder, from);
        if (at < 0) return;
        text.replace(at, placeholder.size(), value);
        from = holdsItself ? at + value.size() : 0;
    }
}

}  // namespace

QByteArray FillSubmissionString(QByteArray text, const SubmissionValues& values)
{
    const std::array<std::pair<QByteArrayView, const QByteArray*>, 5> order{{
        {"$URL", &values.url},
        {"$EMAIL", &values.email},
        {"$NAME", &values.name},
        {"$PAR1", &values.par1},
        {"$PAR2", &values.par2},
    }};
    for (const auto& [placeholder, value] : order) replaceEvery(text, placeholder, *value);
    return text;
}

}  // namespace velmora
