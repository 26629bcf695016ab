#pragma once

#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

#include "base/Prompter.h"

namespace velmora::test {

// A Prompter that answers by script. Every call is recorded; a question
// (anything but a message) without a queued answer fails the test and is
// answered as cancelled, so no test ever waits for a person.
class ScriptedPrompter final : public Prompter {
public:
    enum class Kind { Message, Question, OpenFile, SaveFile, Colour, ProjectType, Number };

    struct Call {
        Kind kind;
        QString caption = {};
        QString text = {};
        MessageIcon icon = MessageIcon::Information;
        FileDialogRequest request = {};
        std::uint32_t initialColour = 0;
        // A number question: the value offered and the range allowed.
        int value = 0;
        int minimum = 0;
        int maximum = 0;
        QString buttons = {};  // "OK" for a message, "Yes No Cancel" or "Yes No" for a question
        QString informative = {};  // a message's text below its text
    };

    // Queue the answers, first in first out.
    ScriptedPrompter& answerQuestion(Answer answer);
    ScriptedPrompter& answerOpenFile(std::optional<QString> path);
    ScriptedPrompter& answerSaveFile(std::optional<QString> path);
    ScriptedPrompter& answerColour(std::optional<std::uint32_t> colour);
    ScriptedPrompter& answerProjectType(std::optional<int> type);
    ScriptedPrompter& answerNumber(std::optional<int> number);

    const QList<Call>& calls() const { return calls_; }
    QList<Call> callsOf(Kind kind) const;
    // The texts of every message shown, in order.
    QStringList messages() const;
    void clear() { calls_.clear(); }
    // True when every queued answer was used.
    bool allAnswersUsed() const;
    // Runs while a message is shown, as a person could act meanwhile.
    std::function<void(const QString& text)> whileMessageShown;

    using Prompter::message;
    void message(const QString& caption, const QString& text, MessageIcon icon,
                 const QString& informative) override;
    Answer askYesNoCancel(const QString& caption, const QString& text) override;
    // Takes its answer from the queue of answerQuestion(); a queued Cancel
    // fails the test, since this question has no Cancel.
    Answer askYesNo(const QString& caption, const QString& text) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<std::uint32_t> chooseColour(std::uint32_t initial) override;
    std::optional<int> chooseProjectType() override;
    std::optional<int> askNumber(const QString& caption, const QString& label, int value,
                                 int minimum, int maximum) override;

private:
    template <typename T>
    T next(std::deque<T>& queue, const Call& call, T unanswered);

    QList<Call> calls_;
    std::deque<Answer> questions_;
    std::deque<std::optional<QString>> openFiles_;
    std::deque<std::optional<QString>> saveFiles_;
    std::deque<std::optional<std::uint32_t>> colours_;
    std::deque<std::optional<int>> projectTypes_;
    std::deque<std::optional<int>> numbers_;
};

}  // namespace velmora::test
