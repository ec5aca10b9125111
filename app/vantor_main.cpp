// vantor: the window program.

#include "app/app_state.h"
#include "gui/desktop_folder_opener.h"
#include "gui/form2.h"
#include "gui/message_box_prompter.h"
#include "workspace/folders.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    // The page view's web engine shares its graphics contexts with the window.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantor.png")));

    const workspace::Folders folders = workspace::Folders::forRunningProgram();
    const gui::AppTexts texts{QString::fromUtf16(app::kAppName), QString::fromUtf16(app::kAppByLine),
                              QString::fromLatin1(app::kVersionText)};

    gui::MessageBoxPrompter prompter;
    gui::DesktopFolderOpener opener;
    gui::Form2 window(texts, folders, prompter, opener);
    prompter.setOwner(&window);
    if (!window.Form_Load())
        return 1;
    window.show();
    return application.exec();
}
