#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "project/PageRecord.h"

namespace velmora {

// Connects one text field of the page to its widget: a single-line box, an
// editable drop-down list or a multi-line box. The core keeps texts as
// bytes and widgets hold QStrings; the binding remembers the bytes it was
// given, so a text the user did not touch comes back byte for byte even
// when it is not valid UTF-8.
class TextFieldBinding {
public:
    TextFieldBinding() = default;
    TextFieldBinding(TextField field, QWidget* widget);

    QByteArray text() const;
    // Sets the widget's text without it reporting a user edit. Returns false
    // when the text was already the same.
    bool setText(const QByteArray& bytes);

    QWidget* widget() const { return widget_; }

private:
    QString widgetText() const;
    void setWidgetText(const QString& text);

    TextField field_ = TextField::KeywordPhrase;
    QPointer<QWidget> widget_;
    QByteArray givenBytes_;
    QString givenText_;
};

}  // namespace velmora
