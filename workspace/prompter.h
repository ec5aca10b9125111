#pragma once

#include <QString>
#include <QStringList>

namespace workspace {

enum class MessageIcon
{
    Information,
    Question,
    Warning,
    Critical
};

enum class Answer
{
    Yes,
    No,
    Cancel
};

// Everything the workspace says to or asks of the user goes through here, so that tests can
// script the answers and read the exact titles and texts.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // A message box with one OK button.
    virtual void inform(const QString& title, const QString& text,
                        MessageIcon icon = MessageIcon::Information) = 0;
    // A Yes/No message box; true for Yes. Enter answers Yes unless defaultYes is false.
    virtual bool askYesNo(const QString& title, const QString& text, MessageIcon icon = MessageIcon::Question,
                          bool defaultYes = true) = 0;
    // A Yes/No/Cancel message box; Enter answers Yes, Escape Cancel.
    virtual Answer askYesNoCancel(const QString& title, const QString& text,
                                  MessageIcon icon = MessageIcon::Question) = 0;
    // A message box with a button for each option; the index of the one chosen. Enter, Escape
    // and closing the box choose the default.
    virtual int askOptions(const QString& title, const QString& text, const QStringList& options,
                           int defaultOption, MessageIcon icon = MessageIcon::Question) = 0;
    // A one-line input box; "" when cancelled.
    virtual QString askText(const QString& title, const QString& prompt) = 0;
    // A folder chooser; "" when cancelled.
    virtual QString chooseFolder(const QString& prompt, const QString& startIn) = 0;
};

} // namespace workspace
