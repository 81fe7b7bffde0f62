// The embedded HTML view of the status window: a local page that behaves as part of its window
// (no selection, menus, drops, shortcuts, new windows or navigation away), scripts run in it one
// statement at a time, and a renderer that can be discarded while nobody looks at it. Built into
// the page view's module, the only code that links the engine.
#pragma once

#include "ui/pageView.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <string>

class QWebEnginePage;
class QWebEngineView;

namespace vantle {

class TEwbExternalBrowser : public QWidget, public TpageView {
    Q_OBJECT

public:
    // How long ExecScript waits for a statement to run.
    static constexpr std::chrono::milliseconds ScriptTimeLimit{10000};

    // An empty view that fills its place in the parent; the page gets no external object.
    explicit TEwbExternalBrowser(QWidget* parent);
    ~TEwbExternalBrowser() override;

    // The address NavigateToFile built; empty before.
    QUrl address() const { return address_; }

    // ReadyStateComplete once the page and its scripts are loaded; ReadyStateUninitialized
    // before any navigation and while the page is discarded.
    int ReadyState() const override { return readyState_; }

    // Gives the page the keyboard focus and makes the view the active control of its window.
    void FocusDocument() override;

    // Runs the text as a JavaScript statement in the page's global scope and returns when it
    // has run. Raises Error with the script error's message when it throws, and when it does
    // not finish within ScriptTimeLimit. Does nothing unless the page is complete.
    void ExecScript(const std::string& code) override;

    // Frees the page's renderer, keeping its address; the view must be hidden. ReadyState goes
    // to ReadyStateUninitialized.
    void Discard() override;
    // Brings a discarded page back; it loads its address again and calls OnDocumentComplete.
    void Restore() override;
    // False while discarded.
    bool isLive() const override;

    QWidget* widget() override { return this; }
    QWebEngineView* view() const { return view_; }

protected:
    void NavigateToAddress(const std::string& address) override;
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
