#pragma once

#include <QString>
#include <QStringList>

#include <deque>

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
    // A one-line input box; "" when cancelled.
    virtual QString askText(const QString& title, const QString& prompt) = 0;
    // A folder chooser; "" when cancelled.
    virtual QString chooseFolder(const QString& prompt) = 0;
};

// A prompter for tests: records every exchange and gives queued answers (No, Cancel or "" when
// none is queued).
class ScriptedPrompter final : public Prompter
{
public:
    struct Exchange
    {
        QString kind; // "inform", "ask", "choose" (Yes/No/Cancel), "text", "folder"
        QString title;
        QString text;
        MessageIcon icon = MessageIcon::Information;
        bool defaultYes = true; // "ask" only: what Enter would have answered
    };

    void inform(const QString& title, const QString& text, MessageIcon icon) override;
    bool askYesNo(const QString& title, const QString& text, MessageIcon icon, bool defaultYes) override;
    Answer askYesNoCancel(const QString& title, const QString& text, MessageIcon icon) override;
    QString askText(const QString& title, const QString& prompt) override;
    QString chooseFolder(const QString& prompt) override;

    std::deque<bool> yesNoAnswers;
    std::deque<Answer> choiceAnswers;
    std::deque<QString> textAnswers;
    std::deque<QString> folderAnswers;
    QList<Exchange> exchanges;

    // The texts of all exchanges so far, in order.
    QStringList texts() const;
};

} // namespace workspace
