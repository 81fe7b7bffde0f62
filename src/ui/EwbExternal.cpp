// The status window's HTML view over the browser engine: fixed settings that make a local page
// part of its window, scripts run with their outcome, and discarding the renderer; the module's
// factory.
#include "ui/EwbExternal.h"

#include "lib/runtime/Error.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QKeyEvent>
#include <QString>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QWheelEvent>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <memory>
#include <type_traits>

namespace vantle {

namespace {

// Nothing on the page can be selected, as in a dialog.
constexpr char NoSelectionScript[] =
    "(function () {"
    "  var style = document.createElement('style');"
    "  style.textContent = '* { -webkit-user-select: none; user-select: none; }';"
    "  (document.head || document.documentElement).appendChild(style);"
    "})();";

// Every way a script could open a connection of its own that the request interceptor does not
// see (peer connections, sockets, transports) is taken out before the page's first script, in
// every frame.
constexpr char NoConnectionsScript[] =
    "(function () {"
    "  var names = ['RTCPeerConnection', 'webkitRTCPeerConnection', 'RTCDataChannel',"
    "               'RTCSessionDescription', 'RTCIceCandidate', 'RTCRtpSender',"
    "               'RTCRtpReceiver', 'RTCRtpTransceiver', 'RTCDtlsTransport',"
    "               'RTCIceTransport', 'RTCSctpTransport', 'RTCCertificate', 'WebSocket',"
    "               'WebTransport', 'EventSource'];"
    "  for (var i = 0; i < names.length; i++) {"
    "    try { delete window[names[i]]; } catch (e) {}"
    "    try {"
    "      Object.defineProperty(window, names[i], {value: undefined, writable: false,"
    "                                               configurable: false});"
    "    } catch (e) {}"
    "  }"
    "})();";

void applySettings(QWebEngineSettings& settings) {
    using S = QWebEngineSettings;
    settings.setAttribute(S::JavascriptEnabled, true);
    // The provider's error text is placed on the page as HTML: whatever it holds must reach no
    // other file, no network and no other window. File access itself stays on, since the
    // engine would refuse the page's own pictures too; the request interceptor keeps the page
    // inside its folder.
    settings.setAttribute(S::LocalContentCanAccessRemoteUrls, false);
    settings.setAttribute(S::LocalContentCanAccessFileUrls, true);
    settings.setAttribute(S::JavascriptCanOpenWindows, false);
    settings.setAttribute(S::JavascriptCanAccessClipboard, false);
    settings.setAttribute(S::JavascriptCanPaste, false);
    settings.setAttribute(S::AllowWindowActivationFromJavaScript, false);
    settings.setAttribute(S::AllowRunningInsecureContent, false);
    settings.setAttribute(S::AllowGeolocationOnInsecureOrigins, false);
    settings.setAttribute(S::LocalStorageEnabled, false);
    settings.setAttribute(S::PluginsEnabled, false);
    settings.setAttribute(S::PdfViewerEnabled, false);
    settings.setAttribute(S::FullScreenSupportEnabled, false);
    settings.setAttribute(S::ScreenCaptureEnabled, false);
    settings.setAttribute(S::WebGLEnabled, false);
    settings.setAttribute(S::HyperlinkAuditingEnabled, false);
    settings.setAttribute(S::DnsPrefetchEnabled, false);
    settings.setAttribute(S::AutoLoadIconsForPage, false);
    settings.setAttribute(S::TouchIconsEnabled, false);
    settings.setAttribute(S::ErrorPageEnabled, false);
    settings.setAttribute(S::NavigateOnDropEnabled, false);
    settings.setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

// The statement runs through an indirect eval, so in the global scope as a page script would;
// the wrapper returns [true] or [false, message], since the engine's result alone cannot tell a
// thrown error from a statement without a value.
QString guardedScript(const std::string& code) {
    const QString literal = QString::fromUtf8(
        QJsonDocument(QJsonArray{QString::fromStdString(code)}).toJson(QJsonDocument::Compact));
    return QStringLiteral(
               "(function (code) {"
               "  try { (0, eval)(code); return [true]; }"
               "  catch (e) {"
               "    return [false, String(e && e.message !== undefined ? e.message : e)];"
               "  }"
               "})(%1[0])")
        .arg(literal);
}

// The page loads only local files, which no proxy serves. Every connection the engine would
// make on its own (peer connections among them, which pass no request interceptor) goes to a
// proxy on a loopback port where nothing listens, loopback included, and WebRTC may send UDP
// only through a proxy, which this one never carries. The engine reads its switches once, when
// its first page starts it.
void keepEngineOffTheNetwork() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags.replace("--no-proxy-server", "");
    const QByteArray ours = "--force-webrtc-ip-handling-policy=disable_non_proxied_udp "
                            "--proxy-server=socks5://127.0.0.1:1 --proxy-bypass-list=<-loopback>";
    if (!flags.contains(ours))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                flags.trimmed().isEmpty() ? ours : flags + ' ' + ours);
}

} // namespace

// Declines every request that would leave the page's folder.
class TEwbExternalBrowser::Tinterceptor : public QWebEngineUrlRequestInterceptor {
public:
    Tinterceptor(TEwbExternalBrowser& owner, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent)
        , owner_(owner) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!owner_.allowRequest(info.requestUrl()))
            info.block(true);
    }

private:
    TEwbExternalBrowser& owner_;
};

// The page's host callbacks: no new windows, no dialogs, navigation only to the page itself.
class TEwbExternalBrowser::Tpage : public QWebEnginePage {
public:
    Tpage(TEwbExternalBrowser& owner, QObject* parent)
        : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent)
        , owner_(owner) {}

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        return owner_.allowNavigation(url, type == NavigationTypeTyped,
                                      type == NavigationTypeReload, isMainFrame);
    }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
    // Script errors reach ExecScript's caller; the console is not shown anywhere.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}

private:
    TEwbExternalBrowser& owner_;
};

TEwbExternalBrowser::TEwbExternalBrowser(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QWebEngineView(this);
    layout->addWidget(view_);

    auto* page = new Tpage(*this, view_);
    page->setUrlRequestInterceptor(new Tinterceptor(*this, page));
    applySettings(*page->settings());
    QWebEngineScript noSelection;
    noSelection.setName(QStringLiteral("noSelection"));
    noSelection.setInjectionPoint(QWebEngineScript::DocumentReady);
    noSelection.setWorldId(QWebEngineScript::ApplicationWorld);
    noSelection.setSourceCode(QString::fromLatin1(NoSelectionScript));
    page->scripts().insert(noSelection);
    QWebEngineScript noConnections;
    noConnections.setName(QStringLiteral("noConnections"));
    noConnections.setInjectionPoint(QWebEngineScript::DocumentCreation);
    noConnections.setWorldId(QWebEngineScript::MainWorld);
    noConnections.setRunsOnSubFrames(true);
    noConnections.setSourceCode(QString::fromLatin1(NoConnectionsScript));
    page->scripts().insert(noConnections);
    view_->setPage(page);
    page_ = page;

    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setAcceptDrops(false);
    watch(view_);

    connect(page, &QWebEnginePage::loadStarted, this, &TEwbExternalBrowser::pageLoadStarted);
    connect(page, &QWebEnginePage::lifecycleStateChanged, this,
            &TEwbExternalBrowser::pageLifecycleChanged);
    connect(page, &QWebEnginePage::loadFinished, this, &TEwbExternalBrowser::pageLoadFinished);
}

TEwbExternalBrowser::~TEwbExternalBrowser() = default;

void TEwbExternalBrowser::NavigateToAddress(const std::string& address) {
    address_ = QUrl(QString::fromStdString(address), QUrl::StrictMode);
    // With every link resolved, so the comparison of allowRequest sees where a path really
    // leads; a folder that does not exist lets nothing through.
    folder_ = QFileInfo(QFileInfo(address_.toLocalFile()).absolutePath()).canonicalFilePath();
    if (!folder_.isEmpty() && !folder_.endsWith(QLatin1Char('/')))
        folder_ += QLatin1Char('/');
    readyState_ = ReadyStateLoading;
    page_->load(address_);
}

void TEwbExternalBrowser::FocusDocument() {
    if (QWidget* window = this->window())
        window->activateWindow();
    view_->setFocus(Qt::OtherFocusReason);
}

void TEwbExternalBrowser::ExecScript(const std::string& code) {
    if (readyState_ != ReadyStateComplete || !page_)
        return;
    // The answer may come after this call gave up waiting; it then lands in this state alone.
    struct Toutcome {
        bool done = false;
        QVariant result;
    };
    auto outcome = std::make_shared<Toutcome>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    page_->runJavaScript(guardedScript(code), QWebEngineScript::MainWorld,
                         [outcome, waiting](const QVariant& result) {
                             outcome->done = true;
                             outcome->result = result;
                             if (waiting)
                                 waiting->quit();
                         });
    if (!outcome->done) {
        QTimer::singleShot(ScriptTimeLimit, &loop, &QEventLoop::quit);
        connect(page_.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!outcome->done)
        throw Error("The page did not run the script");
    const QVariantList answer = outcome->result.toList();
    if (answer.isEmpty())
        throw Error("The page did not run the script");
    if (!answer.front().toBool())
        throw Error(answer.value(1).toString().toStdString());
}

void TEwbExternalBrowser::Discard() {
    if (!page_ || page_->lifecycleState() == QWebEnginePage::LifecycleState::Discarded)
        return;
    // The engine refuses to discard a page it still counts as visible, and the view tells it
    // only after its own hide event.
    page_->setVisible(false);
    page_->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
}

void TEwbExternalBrowser::Restore() {
    // A page shown in its view is made active by the engine itself; this covers the rest.
    if (page_ && page_->lifecycleState() != QWebEnginePage::LifecycleState::Active)
        page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
}

void TEwbExternalBrowser::pageLifecycleChanged() {
    const auto state = page_->lifecycleState();
    if (state == QWebEnginePage::LifecycleState::Discarded) {
        discarded_ = true;
        readyState_ = ReadyStateUninitialized;
    } else if (state == QWebEnginePage::LifecycleState::Active && discarded_) {
        // The page comes back by loading its address again.
        discarded_ = false;
        restoring_ = true;
        readyState_ = ReadyStateLoading;
    }
}

bool TEwbExternalBrowser::isLive() const {
    return page_ && page_->lifecycleState() == QWebEnginePage::LifecycleState::Active;
}

void TEwbExternalBrowser::watch(QObject* object) {
    object->installEventFilter(this);
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        widget->setAcceptDrops(false);
        widget->setContextMenuPolicy(Qt::NoContextMenu);
    }
}

bool TEwbExternalBrowser::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded:
        // The engine puts its render widget into the view, anew after a discarded page returns.
        if (watched == view_)
            watch(static_cast<QChildEvent*>(event)->child());
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto modifiers = static_cast<QKeyEvent*>(event)->modifiers();
        return (modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    }
    case QEvent::Wheel:
        // Ctrl + wheel (and a touchpad's pinch, which arrives as one) would zoom the page.
        return (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier) != 0;
    case QEvent::NativeGesture:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        event->ignore();
        return true;
    default:
        return false;
    }
}

bool TEwbExternalBrowser::allowNavigation(const QUrl& url, bool typed, bool reload,
                                          bool mainFrame) {
    if (!mainFrame)
        return allowRequest(url);
    // The page goes nowhere but its own address: links, forms, history and redirects stay put.
    if (url.adjusted(QUrl::RemoveFragment) != address_)
        return false;
    if (typed)
        return true;
    if (!reload)
        return false;
    // The engine reloads the page itself when it discards or restores it; only a visible page
    // can be asked to refresh.
    if (restoring_ || !page_->isVisible())
        return true;
    bool cancel = false;
    if (OnRefresh)
        OnRefresh(&cancel);
    return !cancel;
}

bool TEwbExternalBrowser::allowRequest(const QUrl& url) const {
    if (!url.isLocalFile() || folder_.isEmpty())
        return false;
    // A symbolic link inside the folder may point anywhere; only its target counts. A file
    // that does not exist has no target and is refused.
    const QString target = QFileInfo(url.toLocalFile()).canonicalFilePath();
    return !target.isEmpty() && target.startsWith(folder_);
}

void TEwbExternalBrowser::pageLoadStarted() {
    stateBeforeLoad_ = readyState_;
    readyState_ = ReadyStateLoading;
}

void TEwbExternalBrowser::pageLoadFinished(bool ok) {
    if (discarded_)
        return;
    if (!ok) {
        // A refused navigation leaves the loaded document as it was.
        if (!restoring_)
            readyState_ = stateBeforeLoad_;
        return;
    }
    restoring_ = false;
    readyState_ = ReadyStateComplete;
    if (OnDocumentComplete)
        OnDocumentComplete();
}

} // namespace vantle

// The owner is the loader's caller, which takes it over at once.
extern "C" Q_DECL_EXPORT vantle::TpageView* vantleCreatePageView(QWidget* parent) {
    vantle::keepEngineOffTheNetwork();
    // Loaded after the application was made, the engine has not made the OpenGL context it
    // shares with the widgets; this makes it (once), as it would have at the program's start.
    QtWebEngineQuick::initialize();
    return new vantle::TEwbExternalBrowser(parent);
}
static_assert(std::is_same_v<decltype(&vantleCreatePageView), vantle::TpageViewFactory>);
