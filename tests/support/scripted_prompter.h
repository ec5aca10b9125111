#pragma once

#include "workspace/prompter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>

namespace testsupport {

// A prompter that records every exchange and gives queued answers (No, Cancel, the default
// option or "" when none is queued).
class ScriptedPrompter final : public workspace::Prompter
{
public:
    struct Exchange
    {
        QString kind; // "inform", "ask", "choose" (Yes/No/Cancel), "options", "text", "folder"
        QString title;
        QString text;
        workspace::MessageIcon icon = workspace::MessageIcon::Information;
        bool defaultYes = true;   // "ask" only: what Enter would have answered
        QStringList options = {}; // "options" only, with the default one's index
        int defaultOption = -1;
        QString startIn = {}; // "folder" only: where the dialog opens
    };

    void inform(const QString& title, const QString& text, workspace::MessageIcon icon) override;
    bool askYesNo(const QString& title, const QString& text, workspace::MessageIcon icon,
                  bool defaultYes) override;
    workspace::Answer askYesNoCancel(const QString& title, const QString& text,
                                     workspace::MessageIcon icon) override;
    int askOptions(const QString& title, const QString& text, const QStringList& options, int defaultOption,
                   workspace::MessageIcon icon) override;
    QString askText(const QString& title, const QString& prompt) override;
    QString chooseFolder(const QString& prompt, const QString& startIn) override;

    std::deque<bool> yesNoAnswers;
    std::deque<workspace::Answer> choiceAnswers;
    std::deque<int> optionAnswers; // the default when none is queued
    std::deque<QString> textAnswers;
    std::deque<QString> folderAnswers;
    QList<Exchange> exchanges;

    // The texts of all exchanges so far, in order.
    QStringList texts() const;
};

} // namespace testsupport
