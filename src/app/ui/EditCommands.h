#pragma once

#include <QObject>
#include <QPointer>
#include <optional>

class QMainWindow;
class QMenu;

namespace velmora {

// The Edit menu's Copy, Paste, Cut and Select All on the window's text
// boxes. They act on the box that had the focus, with the selection it had,
// when the menu opened, whether by mouse or by Alt: the menu takes the
// focus, and a single-line box drops its selection when it loses it.
class EditCommands : public QObject {
public:
    // Watches every plain text box under `window` and the menu `editMenu`.
    // Goes before the window's widgets do: the focus moves while they go.
    EditCommands(QMainWindow& window, QMenu& editMenu);

    // Undoes in the target box when it has an edit of its own to undo;
    // false when it has none.
    bool undo();
    void copy();
    void paste();
    void cut();
    void selectAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A text box and its selection, as the Edit commands act on them.
    struct Target {
        QPointer<QWidget> box;
        int anchor = 0;
        int position = 0;
    };

    QWidget* focusedTextBox() const;
    static std::optional<Target> selectionOf(QWidget* box);
    // The box a command acts on, its selection as it was when the menu
    // opened; the focused box when the command comes without the menu.
    QWidget* target();

    QMainWindow& window_;
    std::optional<Target> altTarget_;   // where the focus was when Alt went down
    std::optional<Target> menuTarget_;  // what the open Edit menu acts on
    bool menuOpen_ = false;
};

}  // namespace velmora
