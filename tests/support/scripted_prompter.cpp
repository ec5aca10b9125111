#include "tests/support/scripted_prompter.h"

namespace testsupport {

using workspace::Answer;
using workspace::MessageIcon;

void ScriptedPrompter::inform(const QString& title, const QString& text, MessageIcon icon)
{
    exchanges.append({QStringLiteral("inform"), title, text, icon});
}

bool ScriptedPrompter::askYesNo(const QString& title, const QString& text, MessageIcon icon, bool defaultYes)
{
    exchanges.append({QStringLiteral("ask"), title, text, icon, defaultYes});
    if (yesNoAnswers.empty())
        return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

Answer ScriptedPrompter::askYesNoCancel(const QString& title, const QString& text, MessageIcon icon)
{
    exchanges.append({QStringLiteral("choose"), title, text, icon});
    if (choiceAnswers.empty())
        return Answer::Cancel;
    const Answer answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

int ScriptedPrompter::askOptions(const QString& title, const QString& text, const QStringList& options,
                                 int defaultOption, MessageIcon icon)
{
    Exchange exchange{QStringLiteral("options"), title, text, icon};
    exchange.options = options;
    exchange.defaultOption = defaultOption;
    exchanges.append(exchange);
    if (optionAnswers.empty())
        return defaultOption;
    const int answer = optionAnswers.front();
    optionAnswers.pop_front();
    return answer;
}

QString ScriptedPrompter::askText(const QString& title, const QString& prompt)
{
    exchanges.append({QStringLiteral("text"), title, prompt, MessageIcon::Question});
    if (textAnswers.empty())
        return {};
    QString answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
}

QString ScriptedPrompter::chooseFolder(const QString& prompt, const QString& startIn)
{
    exchanges.append({QStringLiteral("folder"), QString(), prompt, MessageIcon::Question});
    exchanges.last().startIn = startIn;
    if (folderAnswers.empty())
        return {};
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList ScriptedPrompter::texts() const
{
    QStringList list;
    for (const Exchange& e : exchanges)
        list << e.text;
    return list;
}

} // namespace testsupport
