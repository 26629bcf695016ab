#pragma once

#include <QByteArray>
#include <QtEndian>

#include "submit/SubmissionList.h"

namespace velmora::test {

// A list of `n` entries named "engine 0", "engine 1", ... with strings that
// tell them apart.
inline SubmissionList makeSubmissionList(int n)
{
    SubmissionList list;
    for (int i = 0; i < n; ++i) {
        SubmissionEntry& entry = list.append();
        entry.setText(SubmissionField::Name, "engine " + QByteArray::number(i));
        entry.setText(SubmissionField::SubmissionString,
                      "http://e" + QByteArray::number(i) + ".example/add?u=$URL&m=$EMAIL");
    }
    return list;
}

// The bytes of a submission file: the count, then the entries as given.
inline QByteArray submissionFileBytes(qint32 count, const SubmissionList& list)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(count, bytes.data());
    for (int i = 0; i < list.size(); ++i)
        bytes.append(list[i].bytes().data(), qsizetype(kSubmissionEntrySize));
    return bytes;
}

}  // namespace velmora::test
