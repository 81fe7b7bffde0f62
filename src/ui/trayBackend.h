// The notification area as the tray icon component sees it: the icon record, the requests it
// sends about it, and the messages the area sends back to the record's window.
#pragma once

#include <QEvent>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

class QMenu;
class QObject;

namespace vantle {

// Requests.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;
inline constexpr std::uint32_t NIM_SETVERSION = 4;

// What a request carries (uFlags).
inline constexpr std::uint32_t NIF_MESSAGE = 0x01;
inline constexpr std::uint32_t NIF_ICON = 0x02;
inline constexpr std::uint32_t NIF_TIP = 0x04;
inline constexpr std::uint32_t NIF_INFO = 0x10;

inline constexpr std::uint32_t NOTIFYICON_VERSION = 3;

// Balloon icons (dwInfoFlags).
inline constexpr std::uint32_t NIIF_NONE = 0;
inline constexpr std::uint32_t NIIF_INFO = 1;
inline constexpr std::uint32_t NIIF_WARNING = 2;
inline constexpr std::uint32_t NIIF_ERROR = 3;

// Window messages the component's window receives.
inline constexpr std::uint32_t WM_QUERYENDSESSION = 0x0011;
inline constexpr std::uint32_t WM_ENDSESSION = 0x0016;
inline constexpr std::uint32_t WM_CONTEXTMENU = 0x007B;
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_TRAYCALLBACK = WM_USER + 1; // the record's uCallbackMessage

// The notification a callback message carries in lParam.
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x0209;
inline constexpr std::uint32_t NIN_SELECT = WM_USER + 0;
inline constexpr std::uint32_t NIN_KEYSELECT = WM_USER + 1;
inline constexpr std::uint32_t NIN_BALLOONSHOW = WM_USER + 2;
inline constexpr std::uint32_t NIN_BALLOONHIDE = WM_USER + 3;
inline constexpr std::uint32_t NIN_BALLOONTIMEOUT = WM_USER + 4;
inline constexpr std::uint32_t NIN_BALLOONUSERCLICK = WM_USER + 5;

// The notification area's version: major in the high 16 bits, minor in the low ones. From 5.0
// on it sends WM_CONTEXTMENU, shows balloons and takes tips of 127 characters.
inline constexpr std::uint32_t ShellVersion5 = 0x50000;

// The icon record, kept by the component for its whole life and passed with every request.
struct TnotifyIconData {
    std::uint32_t cbSize = 488;
    QObject* hWnd = nullptr; // receives the callback messages as TwindowMessage events
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip; // at most 127 characters
    std::uint32_t dwState = 0;
    std::uint32_t dwStateMask = 0;
    QString szInfo; // balloon text, at most 255 characters
    union {
        std::uint32_t uTimeout = 0; // balloon requests, in milliseconds
        std::uint32_t uVersion;     // set-version requests
    };
    QString szInfoTitle; // at most 63 characters
    std::uint32_t dwInfoFlags = NIIF_NONE;
};

// A window message delivered to a QObject: the callback messages, "TaskbarCreated" and the
// session messages. Whoever sends it synchronously can read the receiver's result.
class TwindowMessage : public QEvent {
public:
    TwindowMessage(std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp)
        : QEvent(eventType())
        , message(msg)
        , wParam(wp)
        , lParam(lp) {}

    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::intptr_t result = 0;
};

// The number of a message known by name to every part of the process (from 0xC000 on, where
// the system keeps its registered messages); the same name always gives the same number.
inline std::uint32_t registerWindowMessage(std::string_view name) {
    static std::mutex lock;
    static std::map<std::string, std::uint32_t, std::less<>> numbers;
    const std::lock_guard guard(lock);
    if (const auto found = numbers.find(name); found != numbers.end())
        return found->second;
    const auto number = static_cast<std::uint32_t>(0xC000 + numbers.size());
    numbers.emplace(std::string(name), number);
    return number;
}

// Where the component's requests go. The implementation delivers the area's notifications to
// the record's hWnd as TwindowMessage(uCallbackMessage, uID, notification).
class TtrayBackend {
public:
    virtual ~TtrayBackend() = default;

    // One request with the record; false when the area refused it.
    virtual bool notifyIcon(std::uint32_t message, const TnotifyIconData& data) = 0;
    virtual std::uint32_t shellVersion() const = 0;
    // False where the area never reports the mouse moving over the icon; the component then
    // hands over a changed tip at once instead of at the next move.
    virtual bool sendsMouseMoves() const = 0;

    // The icon's menu, for areas that draw it themselves next to the icon; those report a
    // right click without WM_CONTEXTMENU, so the component shows no second menu.
    virtual void setMenu(QMenu* menu) { (void)menu; }
    // Whether an area shows the icon now; false while none has taken it (no notification area
    // on the desktop, or one that has not started yet).
    virtual bool hosted() const { return true; }
};

} // namespace vantle
