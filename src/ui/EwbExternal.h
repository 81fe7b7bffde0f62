// The embedded HTML view of the status window: a local page that behaves as part of its window
// (no selection, menus, drops, shortcuts, new windows or navigation away), scripts run in it one
// statement at a time, and a renderer that can be discarded while nobody looks at it.
#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <string>

class QWebEnginePage;
class QWebEngineView;

namespace vantle {

class TEwbExternalBrowser : public QWidget {
    Q_OBJECT

public:
    // The document's ready states this view reports.
    static constexpr int ReadyStateUninitialized = 0;
    static constexpr int ReadyStateLoading = 1;
    static constexpr int ReadyStateComplete = 4;

    // How long ExecScript waits for a statement to run.
    static constexpr std::chrono::milliseconds ScriptTimeLimit{10000};

    // An empty view that fills its place in the parent; the page gets no external object.
    explicit TEwbExternalBrowser(QWidget* parent);
    ~TEwbExternalBrowser() override;

    // Loads the local file: "file://" + its absolute path, each byte other than "/", letters,
    // digits and "-._~" percent-encoded. The page may then load files of the file's folder and
    // nothing else. Raises Error when the path cannot be made absolute.
    void NavigateToFile(const std::string& path);
    // The address NavigateToFile built; empty before.
    QUrl address() const { return address_; }

    // ReadyStateComplete once the page and its scripts are loaded; ReadyStateUninitialized
    // before any navigation and while the page is discarded.
    int ReadyState() const { return readyState_; }

    // Gives the page the keyboard focus and makes the view the active control of its window.
    void FocusDocument();

    // Runs the text as a JavaScript statement in the page's global scope and returns when it
    // has run. Raises Error with the script error's message when it throws, and when it does
    // not finish within ScriptTimeLimit. Does nothing unless the page is complete.
    void ExecScript(const std::string& code);

    // Frees the page's renderer, keeping its address; the view must be hidden. ReadyState goes
    // to ReadyStateUninitialized.
    void Discard();
    // Brings a discarded page back; it loads its address again and signals documentComplete.
    void Restore();
    // False while discarded.
    bool isLive() const;

    QWebEngineView* view() const { return view_; }

signals:
    // The page was asked to load itself again; setting *cancel stops it.
    void refresh(bool* cancel);
    // The page and its scripts have loaded (after NavigateToFile, an allowed refresh or Restore).
    void documentComplete();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Tpage;
    class Tinterceptor;

    void watch(QObject* object);
    bool allowNavigation(const QUrl& url, bool typed, bool reload, bool mainFrame);
    bool allowRequest(const QUrl& url) const;
    void pageLoadStarted();
    void pageLifecycleChanged();
    void pageLoadFinished(bool ok);

    QWebEngineView* view_ = nullptr;
    QPointer<QWebEnginePage> page_;
    QUrl address_;
    // The file's folder, "/"-terminated: the only place the page may load from.
    QString folder_;
    int readyState_ = ReadyStateUninitialized;
    int stateBeforeLoad_ = ReadyStateUninitialized;
    // Set while a restored page reloads its address, which is no refresh request.
    bool restoring_ = false;
    bool discarded_ = false;
};

} // namespace vantle
