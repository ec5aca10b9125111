#pragma once

#include "workspace/prompter.h"

#include <QPointer>
#include <QWidget>

namespace gui {

// The prompter of the running program: message boxes, the input box and the folder dialog, modal
// over the window the user is working in.
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
    QString askText(const QString& title, const QString& prompt) override;
    QString chooseFolder(const QString& prompt) override;

private:
    // A dialog open over the main window owns the next box, so the box stays on top of it.
    QWidget* owner() const;

    QPointer<QWidget> m_owner;
};

} // namespace gui
