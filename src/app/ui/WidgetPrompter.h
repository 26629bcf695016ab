#pragma once

#include <QPointer>
#include <QWidget>

#include "base/Prompter.h"

namespace velmora {

// The Prompter of the desktop program: real message boxes and dialogs,
// parented to the window that asks.
class WidgetPrompter final : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    using Prompter::message;
    void message(const QString& caption, const QString& text, MessageIcon icon,
                 const QString& informative) override;
    Answer askYesNoCancel(const QString& caption, const QString& text) override;
    Answer askYesNo(const QString& caption, const QString& text) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<std::uint32_t> chooseColour(std::uint32_t initial) override;
    std::optional<int> chooseProjectType() override;
    std::optional<int> askNumber(const QString& caption, const QString& label, int value,
                                 int minimum, int maximum) override;

private:
    QPointer<QWidget> parent_;
};

// "Description|*.a; *.b" as a Qt file dialog takes it, "Description (*.a *.b)",
// and the text the dialog shows: the same, or the description alone when it
// lists its patterns itself ("HTML Files (*.htm;  *.html)").
struct QtFileFilter {
    QString filter;
    QString label;
};
QtFileFilter qtFileFilter(const QString& filter);

}  // namespace velmora
