#include "ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace velmora::test {

namespace {

const char* kindName(ScriptedPrompter::Kind kind)
{
    switch (kind) {
    case ScriptedPrompter::Kind::Message: return "message";
    case ScriptedPrompter::Kind::Question: return "question";
    case ScriptedPrompter::Kind::OpenFile: return "open-file dialog";
    case ScriptedPrompter::Kind::SaveFile: return "save-file dialog";
    case ScriptedPrompter::Kind::Colour: return "colour dialog";
    case ScriptedPrompter::Kind::ProjectType: return "project-type dialog";
    case ScriptedPrompter::Kind::Number: return "number question";
    }
    return "?";
}

}  // namespace

template <typename T>
T ScriptedPrompter::next(std::deque<T>& queue, const Call& call, T unanswered)
{
    calls_.append(call);
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected " << kindName(call.kind) << ": caption \""
                      << call.caption.toStdString() << "\", text \"" << call.text.toStdString()
                      << "\"";
        return unanswered;
    }
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

ScriptedPrompter& ScriptedPrompter::answerQuestion(Answer answer)
{
    questions_.push_back(answer);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::answerOpenFile(std::optional<QString> path)
{
    openFiles_.push_back(std::move(path));
    return *this;
}

ScriptedPrompter& ScriptedPrompter::answerSaveFile(std::optional<QString> path)
{
    saveFiles_.push_back(std::move(path));
    return *this;
}

ScriptedPrompter& ScriptedPrompter::answerColour(std::optional<std::uint32_t> colour)
{
    colours_.push_back(colour);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::answerProjectType(std::optional<int> type)
{
    projectTypes_.push_back(type);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::answerNumber(std::optional<int> number)
{
    numbers_.push_back(number);
    return *this;
}

QList<ScriptedPrompter::Call> ScriptedPrompter::callsOf(Kind kind) const
{
    QList<Call> result;
    for (const Call& call : calls_)
        if (call.kind == kind) result.append(call);
    return result;
}

QStringList ScriptedPrompter::messages() const
{
    QStringList texts;
    for (const Call& call : callsOf(Kind::Message)) texts.append(call.text);
    return texts;
}

bool ScriptedPrompter::allAnswersUsed() const
{
    return questions_.empty() && openFiles_.empty() && saveFiles_.empty() && colours_.empty() &&
           projectTypes_.empty() && numbers_.empty();
}

void ScriptedPrompter::message(const QString& caption, const QString& text, MessageIcon icon,
                               const QString& informative)
{
    calls_.append({.kind = Kind::Message,
                   .caption = caption,
                   .text = text,
                   .icon = icon,
                   .buttons = QStringLiteral("OK"),
                   .informative = informative});
    if (whileMessageShown) whileMessageShown(text);
}

Answer ScriptedPrompter::askYesNoCancel(const QString& caption, const QString& text)
{
    return next(questions_,
                {.kind = Kind::Question,
                 .caption = caption,
                 .text = text,
                 .buttons = QStringLiteral("Yes No Cancel")},
                Answer::Cancel);
}

Answer ScriptedPrompter::askYesNo(const QString& caption, const QString& text)
{
    const Answer answer = next(questions_,
                               {.kind = Kind::Question,
                                .caption = caption,
                                .text = text,
                                .icon = MessageIcon::Warning,
                                .buttons = QStringLiteral("Yes No")},
                               Answer::No);
    if (answer == Answer::Cancel) ADD_FAILURE() << "Cancel queued for a Yes/No question";
    return answer == Answer::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> ScriptedPrompter::openFile(const FileDialogRequest& request)
{
    return next(openFiles_, {.kind = Kind::OpenFile, .caption = request.title, .request = request},
                std::optional<QString>());
}

std::optional<QString> ScriptedPrompter::saveFile(const FileDialogRequest& request)
{
    return next(saveFiles_, {.kind = Kind::SaveFile, .caption = request.title, .request = request},
                std::optional<QString>());
}

std::optional<std::uint32_t> ScriptedPrompter::chooseColour(std::uint32_t initial)
{
    return next(colours_, {.kind = Kind::Colour, .initialColour = initial},
                std::optional<std::uint32_t>());
}

std::optional<int> ScriptedPrompter::chooseProjectType()
{
    return next(projectTypes_, {.kind = Kind::ProjectType}, std::optional<int>());
}

std::optional<int> ScriptedPrompter::askNumber(const QString& caption, const QString& label,
                                               int value, int minimum, int maximum)
{
    return next(numbers_,
                {.kind = Kind::Number,
                 .caption = caption,
                 .text = label,
                 .value = value,
                 .minimum = minimum,
                 .maximum = maximum,
                 .buttons = QStringLiteral("OK Cancel")},
                std::optional<int>());
}

}  // namespace velmora::test
