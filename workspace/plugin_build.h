#pragma once

#include "builder/build_plugin.h"
#include "builder/install_notes.h"
#include "workspace/folders.h"

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>

namespace workspace {

class FolderOpener;
class Prompter;

// What the user should know about a finished build besides "Done": the files held back for
// buyers (which every funnel hands out), the references that point at no file (or at one only by
// a guess), a screenful at most, and a ZIP larger than the site's upload limit. Empty when there
// is nothing to tell.
QString BuildReport(const builder::BuildResult& result, qint64 uploadLimit = builder::kDefaultUploadLimit);

// "Create Plugin" behind the plugin details window: checks the fields, runs the build off the
// user-interface thread while reporting progress, then tells the user the outcome and, after a
// good build, opens the output folder.
class PluginBuild final : public QObject
{
    Q_OBJECT
public:
    PluginBuild(const Folders& folders, const QString& frontPage, const QString& downloadPage,
                Prompter& prompter, FolderOpener& opener, QObject* parent = nullptr);
    // Waits for a running build: its worker must not outlive the object it reports to.
    ~PluginBuild() override;

    bool busy() const { return m_busy; }
    // Starts a build with these details; false when it did not start (a field is empty, a build
    // is running, or the user would not replace an earlier plugin ZIP of the same name).
    bool create(const builder::PluginDetails& details);
    // Asks the running build to stop; finished(false) follows once it has cleaned up.
    void stop();
    bool stopping() const { return m_busy && m_stop.requested(); }
    const builder::BuildResult& lastResult() const { return m_lastResult; }
    // Shows the output folder in the file manager; where none can be started, says so and names
    // the plugin's path instead. False then.
    bool openOutputFolder();

signals:
    void busyChanged(bool busy);
    void progress(int percent, const QString& step);
    // After the outcome was shown (and the output folder opened).
    void finished(bool ok);

private:
    void onBuildFinished();

    Folders m_folders;
    QString m_frontPage;
    QString m_downloadPage;
    Prompter& m_prompter;
    FolderOpener& m_opener;
    bool m_busy = false;
    builder::BuildStop m_stop;
    // The build's own thread, ended with this object: a thread of the shared pool would outlive it
    // and end only during the program's exit, with whatever the libraries keep per thread.
    QThreadPool m_pool;
    QFutureWatcher<builder::BuildResult> m_watcher;
    builder::BuildResult m_lastResult;
};

} // namespace workspace
