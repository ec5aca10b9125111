#pragma once

#include "workspace/prompter.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QDialog;

namespace gui {

// The prompter of the running program: message boxes, the input box and the folder dialog, modal
// over the window the user is working in. Each question and its answer also go to the log
// category "vantor.dialogue" (debug), a line each, for a run that needs to show what was asked.
class MessageBoxPrompter final : public workspace::Prompter
{
public:
    explicit MessageBoxPrompter(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    void inform(const QString& title, const QString& text, workspace::MessageIcon icon) override;
    bool askYesNo(const QString& title, const QString& text, workspace::MessageIcon icon,
                  bool defaultYes) override;
    workspace::Answer askYesNoCancel(const QString& title, const QString& text,
                                     workspace::MessageIcon icon) override;
    int askOptions(const QString& title, const QString& text, const QStringList& options, int defaultOption,
                   workspace::MessageIcon icon) override;
    QString askText(const QString& title, const QString& prompt) override;
    QString chooseFolder(const QString& prompt, const QString& startIn) override;

    // Nobody is there to answer any more (the program is ending on its own): the boxes open now
    // close as Escape would close them, and later questions get that answer without a box.
    void stopAsking();
    bool asking() const { return !m_stopped; }

private:
    // A dialog open over the main window owns the next box, so the box stays on top of it.
    QWidget* owner() const;
    // Shows the dialog modally unless asking has stopped; false when it was not shown.
    bool run(QDialog& dialog);

    QPointer<QWidget> m_owner;
    QList<QPointer<QDialog>> m_open;
    bool m_stopped = false;
};

} // namespace gui
