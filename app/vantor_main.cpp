// vantor: the window program.

#include "app/app_state.h"
#include "gui/desktop_folder_opener.h"
#include "gui/form2.h"
#include "gui/message_box_prompter.h"
#include "support/termination_signals.h"
#include "workspace/folders.h"

#include <QApplication>
#include <QIcon>
#include <QSessionManager>

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

    // Made after the window's web engine, so that its handling of these signals is ours.
    support::TerminationSignals termination;
    QObject::connect(&termination, &support::TerminationSignals::received, &window,
                     &gui::Form2::endRequested);
    bool endNow = false;
    QObject::connect(&window, &gui::Form2::endingUnattended, &application, [&prompter, &endNow] {
        endNow = true;
        prompter.stopAsking();
        QCoreApplication::exit(0);
    });
    // The session ends: whatever the session manager does next, the typing is kept.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.keepTypingForNextStart(); });

    if (!window.Form_Load())
        return window.model().runningElsewhere() ? 0 : 1;
    // Ended while the start still asked (the offer of what an earlier run left).
    if (endNow)
        return 0;
    window.show();
    return application.exec();
}
