#include "gui/message_box_prompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>

namespace gui {
namespace {

Q_LOGGING_CATEGORY(lcDialogue, "vantor.dialogue", QtWarningMsg)

QMessageBox::Icon boxIcon(workspace::MessageIcon icon)
{
    switch (icon) {
    case workspace::MessageIcon::Information:
        return QMessageBox::Information;
    case workspace::MessageIcon::Question:
        return QMessageBox::Question;
    case workspace::MessageIcon::Warning:
        return QMessageBox::Warning;
    case workspace::MessageIcon::Critical:
        break;
    }
    return QMessageBox::Critical;
}

void logAnswer(const QString& title, const QString& answer)
{
    qCDebug(lcDialogue).noquote() << "answered" << title << "->" << answer;
}

} // namespace

QWidget* MessageBoxPrompter::owner() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_owner;
}

bool MessageBoxPrompter::run(QDialog& dialog)
{
    // One line each, so that a log can be read line by line.
    const auto* box = qobject_cast<QMessageBox*>(&dialog);
    qCDebug(lcDialogue).noquote()
        << "asked" << dialog.windowTitle() << "--"
        << (box ? box->text() : QString()).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    if (m_stopped)
        return false;
    m_open << &dialog;
    dialog.exec();
    m_open.removeAll(&dialog);
    return true;
}

void MessageBoxPrompter::stopAsking()
{
    m_stopped = true;
    // The innermost first: each one's loop ends before the one around it.
    for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
        QDialog* dialog = m_open.at(i);
        if (!dialog)
            continue;
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box && box->escapeButton())
            box->escapeButton()->click();
        else
            dialog->reject();
    }
}

void MessageBoxPrompter::inform(const QString& title, const QString& text, workspace::MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, owner());
    run(box);
}

bool MessageBoxPrompter::askYesNo(const QString& title, const QString& text, workspace::MessageIcon icon,
                                  bool defaultYes)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    const bool yes = run(box) && box.clickedButton() == box.button(QMessageBox::Yes);
    logAnswer(title, yes ? QStringLiteral("Yes") : QStringLiteral("No"));
    return yes;
}

workspace::Answer MessageBoxPrompter::askYesNoCancel(const QString& title, const QString& text,
                                                     workspace::MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    owner());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    workspace::Answer answer = workspace::Answer::Cancel;
    if (run(box) && box.clickedButton() == box.button(QMessageBox::Yes))
        answer = workspace::Answer::Yes;
    else if (box.clickedButton() == box.button(QMessageBox::No))
        answer = workspace::Answer::No;
    logAnswer(title, answer == workspace::Answer::Yes  ? QStringLiteral("Yes")
                     : answer == workspace::Answer::No ? QStringLiteral("No")
                                                       : QStringLiteral("Cancel"));
    return answer;
}

int MessageBoxPrompter::askOptions(const QString& title, const QString& text, const QStringList& options,
                                   int defaultOption, workspace::MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::NoButton, owner());
    QList<QPushButton*> buttons;
    for (const QString& option : options)
        buttons << box.addButton(option, QMessageBox::ActionRole);
    if (QPushButton* chosen = buttons.value(defaultOption)) {
        box.setDefaultButton(chosen);
        box.setEscapeButton(chosen);
    }
    int answer = defaultOption;
    if (run(box) && buttons.contains(box.clickedButton()))
        answer = int(buttons.indexOf(box.clickedButton()));
    logAnswer(title, options.value(answer));
    return answer;
}

QString MessageBoxPrompter::askText(const QString& title, const QString& prompt)
{
    QInputDialog dialog(owner());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    const bool ok = run(dialog) && dialog.result() == QDialog::Accepted;
    return ok ? dialog.textValue() : QString();
}

QString MessageBoxPrompter::chooseFolder(const QString& prompt, const QString& startIn)
{
    // Beside the folder chosen last, with that one selected; the home folder the first time.
    const QFileInfo last(startIn);
    const bool known = !startIn.isEmpty() && last.isDir();
    QFileDialog dialog(owner(), prompt, known ? last.absolutePath() : QDir::homePath());
    if (known)
        dialog.selectFile(last.fileName());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const bool ok = run(dialog) && dialog.result() == QDialog::Accepted;
    return ok ? dialog.selectedFiles().value(0) : QString();
}

} // namespace gui
