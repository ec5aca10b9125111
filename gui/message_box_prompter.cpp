#include "gui/message_box_prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace gui {
namespace {

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

} // namespace

QWidget* MessageBoxPrompter::owner() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_owner;
}

void MessageBoxPrompter::inform(const QString& title, const QString& text, workspace::MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, owner());
    box.exec();
}

bool MessageBoxPrompter::askYesNo(const QString& title, const QString& text, workspace::MessageIcon icon,
                                  bool defaultYes)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

workspace::Answer MessageBoxPrompter::askYesNoCancel(const QString& title, const QString& text,
                                                     workspace::MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    owner());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return workspace::Answer::Yes;
    case QMessageBox::No:
        return workspace::Answer::No;
    default:
        return workspace::Answer::Cancel;
    }
}

QString MessageBoxPrompter::askText(const QString& title, const QString& prompt)
{
    bool ok = false;
    const QString text = QInputDialog::getText(owner(), title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QString MessageBoxPrompter::chooseFolder(const QString& prompt)
{
    return QFileDialog::getExistingDirectory(owner(), prompt, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

} // namespace gui
