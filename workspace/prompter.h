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

// Everything the workspace says to or asks of the user goes through here, so that tests can
// script the answers and read the exact titles and texts.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // A message box with one OK button.
    virtual void inform(const QString& title, const QString& text,
                        MessageIcon icon = MessageIcon::Information) = 0;
    // A Yes/No message box; true for Yes.
    virtual bool askYesNo(const QString& title, const QString& text,
                          MessageIcon icon = MessageIcon::Question) = 0;
    // A one-line input box; "" when cancelled.
    virtual QString askText(const QString& title, const QString& prompt) = 0;
    // A folder chooser; "" when cancelled.
    virtual QString chooseFolder(const QString& prompt) = 0;
};

// A prompter for tests: records every exchange and gives queued answers (No, "" when none is queued).
class ScriptedPrompter final : public Prompter
{
public:
    struct Exchange
    {
        QString kind; // "inform", "ask", "text", "folder"
        QString title;
        QString text;
        MessageIcon icon = MessageIcon::Information;
    };

    void inform(const QString& title, const QString& text, MessageIcon icon) override;
    bool askYesNo(const QString& title, const QString& text, MessageIcon icon) override;
    QString askText(const QString& title, const QString& prompt) override;
    QString chooseFolder(const QString& prompt) override;

    std::deque<bool> yesNoAnswers;
    std::deque<QString> textAnswers;
    std::deque<QString> folderAnswers;
    QList<Exchange> exchanges;

    // The texts of all exchanges so far, in order.
    QStringList texts() const;
};

} // namespace workspace
