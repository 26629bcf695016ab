#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace velmora {

enum class MessageIcon { Information, Question, Warning, Error };

enum class Answer { Yes, No, Cancel };

struct FileDialogRequest {
    QString title;
    QString filter;         // "Description|*.a; *.b"
    QString defaultSuffix;  // "kpj", without "*."
    QString initialPath;
    bool confirmOverwrite = false;
    bool mustExist = false;
};

// Every question the system asks the user goes through here: message boxes,
// the save question, file dialogs, the colour dialog, the project-type
// choice and the number questions. The window answers with real dialogs; tests answer by script.
class Prompter {
public:
    virtual ~Prompter() = default;

    // A modal message with one OK button. The informative text, when there
    // is one, stands below the text: which file, and the system's reason.
    virtual void message(const QString& caption, const QString& text, MessageIcon icon,
                         const QString& informative) = 0;
    void message(const QString& caption, const QString& text, MessageIcon icon)
    {
        message(caption, text, icon, QString());
    }
    // A modal question with Yes, No and Cancel and the question icon.
    virtual Answer askYesNoCancel(const QString& caption, const QString& text) = 0;
    // A modal question with Yes and No only and the warning icon, for a
    // choice with consequences (trusting a server's certificate): Yes or No.
    virtual Answer askYesNo(const QString& caption, const QString& text) = 0;

    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;

    // The shared colour dialog, opened on `initial`; nullopt when cancelled.
    virtual std::optional<std::uint32_t> chooseColour(std::uint32_t initial) = 0;

    // The New Project dialog: the project type chosen, nullopt when cancelled.
    virtual std::optional<int> chooseProjectType() = 0;

    // A whole number from `minimum` to `maximum`, offered first as `value`;
    // nullopt when cancelled.
    virtual std::optional<int> askNumber(const QString& caption, const QString& label, int value,
                                         int minimum, int maximum) = 0;
};

}  // namespace velmora
