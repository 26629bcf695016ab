#include "FieldLength.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QValidator>

#include "project/PageFields.h"

namespace velmora {

namespace {

bool fits(TextField field, const QString& text)
{
    return fitsField(field, normaliseMultiLine(field, text.toUtf8()));
}

QString cutMessage(TextField field)
{
    return QStringLiteral("The pasted text was cut to fit: %1 holds %2 bytes.")
        .arg(QLatin1String(slotOf(field).name))
        .arg(slotOf(field).width - 1);
}

// What one edit put in: the text before it is `before`, after it `after`.
struct Insertion {
    QString head;
    QString inserted;
    QString tail;
};

Insertion insertionBetween(const QString& before, const QString& after)
{
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return {after.left(prefix), after.mid(prefix, after.size() - prefix - suffix),
            after.right(suffix)};
}

// A single-line box: each edit is checked before the box takes it. One that
// makes the text too long is cut to the room left, or refused when none is.
class FieldValidator final : public QValidator {
public:
    FieldValidator(TextField field, QLineEdit* box, std::function<void(const QString&)> onCut)
        : QValidator(box), field_(field), accepted_(box->text()), onCut_(std::move(onCut))
    {
    }

    State validate(QString& input, int& position) const override
    {
        // The program sets its texts with the box's signals blocked; those
        // come from the record, which has already cut them to fit.
        if (parent()->signalsBlocked() || fits(field_, input)) {
            accepted_ = input;
            return Acceptable;
        }
        const Insertion edit = insertionBetween(accepted_, input);
        const QString kept = fittingInsertion(field_, edit.head, edit.inserted, edit.tail);
        if (kept.isEmpty()) return Invalid;  // typing stops
        input = edit.head + kept + edit.tail;
        position = int(edit.head.size() + kept.size());
        accepted_ = input;
        // Told once the box has taken the text, not in the middle of it.
        QTimer::singleShot(0, this, [this] {
            if (onCut_) onCut_(cutMessage(field_));
        });
        return Acceptable;
    }

private:
    TextField field_;
    mutable QString accepted_;  // the text the box last took
    std::function<void(const QString&)> onCut_;
};

// A multi-line box: what an edit inserted beyond the room left is taken out
// again as soon as the edit is done (the document takes no second edit while
// it reports the first).
void cutInsertion(QPlainTextEdit* memo, TextField field, int position, int added,
                  const std::function<void(const QString&)>& onCut)
{
    const QString text = memo->toPlainText();
    if (fits(field, text)) return;
    // The count may take in the end of the last block.
    added = std::min<int>(added, int(text.size()) - position);
    if (position < 0 || added <= 0) return;
    const QString kept = fittingInsertion(field, text.left(position), text.mid(position, added),
                                          text.mid(position + added));
    QTextCursor cursor(memo->document());
    cursor.joinPreviousEditBlock();
    cursor.setPosition(int(position + kept.size()));
    cursor.setPosition(position + added, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
    memo->setTextCursor(cursor);
    // A key typed into a full box just does nothing.
    if (!kept.isEmpty() && onCut) onCut(cutMessage(field));
}

void limitMemo(QPlainTextEdit* memo, TextField field, std::function<void(const QString&)> onCut)
{
    QObject::connect(memo->document(), &QTextDocument::contentsChange, memo,
                     [memo, field, onCut](int position, int, int added) {
                         if (added <= 0 || memo->signalsBlocked()) return;
                         QTimer::singleShot(0, memo, [=] {
                             cutInsertion(memo, field, position, added, onCut);
                         });
                     });
}

}  // namespace

QString fittingInsertion(TextField field, const QString& head, const QString& inserted,
                         const QString& tail)
{
    // The stored size grows with each character taken: the longest start
    // that fits is found by halving.
    qsizetype low = 0, high = inserted.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (fits(field, head + inserted.left(middle) + tail))
            low = middle;
        else
            high = middle - 1;
    }
    // Never half a character outside the basic plane.
    if (low > 0 && inserted[low - 1].isHighSurrogate()) --low;
    return inserted.left(low);
}

void limitToField(QWidget* box, TextField field, std::function<void(const QString&)> onCut)
{
    if (auto* line = qobject_cast<QLineEdit*>(box))
        line->setValidator(new FieldValidator(field, line, std::move(onCut)));
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(box))
        limitMemo(memo, field, std::move(onCut));
}

}  // namespace velmora
