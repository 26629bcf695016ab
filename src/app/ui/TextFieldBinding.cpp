#include "TextFieldBinding.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "project/PageFields.h"

namespace velmora {

namespace {

// A multi-line box shows lines; the record keeps them with CR LF.
QString shownText(TextField field, const QByteArray& bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (field == TextField::SubHeading || field == TextField::Description) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        if (field == TextField::Description && text.endsWith(u'\n')) text.chop(1);
    }
    return text;
}

}  // namespace

TextFieldBinding::TextFieldBinding(TextField field, QWidget* widget)
    : field_(field), widget_(widget), givenText_(widgetText())
{
    givenBytes_ = normaliseMultiLine(field_, givenText_.toUtf8());
}

QString TextFieldBinding::widgetText() const
{
    if (auto* line = qobject_cast<QLineEdit*>(widget_)) return line->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentText();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(widget_)) return memo->toPlainText();
    return {};
}

void TextFieldBinding::setWidgetText(const QString& text)
{
    const QSignalBlocker blocker(widget_);
    if (auto* line = qobject_cast<QLineEdit*>(widget_)) {
        line->setText(text);
        line->setCursorPosition(0);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        combo->setEditText(text);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget_)) {
        // setPlainText always counts as a change; only set a different text.
        if (memo->toPlainText() != text) memo->setPlainText(text);
    }
}

QByteArray TextFieldBinding::text() const
{
    const QString current = widgetText();
    if (current == givenText_) return givenBytes_;
    return normaliseMultiLine(field_, current.toUtf8());
}

bool TextFieldBinding::setText(const QByteArray& bytes)
{
    const QByteArray normalised = normaliseMultiLine(field_, bytes);
    if (normalised == text()) return false;
    givenText_ = shownText(field_, normalised);
    givenBytes_ = normalised;
    setWidgetText(givenText_);
    // The widget may hold a text other than the one given (a line box drops
    // line breaks); remember what it really shows.
    givenText_ = widgetText();
    return true;
}

}  // namespace velmora
