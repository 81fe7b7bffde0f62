// Waiting on the browser engine and reading a page's DOM back, for the status window's tests.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>

#include <functional>
#include <memory>
#include <optional>

namespace vantle::test {

// Processes events until done() holds or the time is up; returns done().
inline bool waitFor(const std::function<bool()>& done, int milliseconds = 15000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QEventLoop pause;
        QTimer::singleShot(5, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return done();
}

// Lets the engine work for a while, for things that must not happen.
inline void settle(int milliseconds = 400) {
    QEventLoop pause;
    QTimer::singleShot(milliseconds, &pause, &QEventLoop::quit);
    pause.exec();
}

// The value of a JavaScript expression in the page; invalid when it did not answer.
inline QVariant evaluate(QWebEnginePage& page, const QString& expression) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page.runJavaScript(expression, 0, [result](const QVariant& v) { *result = v; });
    waitFor([&] { return result->has_value(); }, 10000);
    return result->value_or(QVariant());
}

inline QString text(QWebEnginePage& page, const QString& expression) {
    return evaluate(page, expression).toString();
}

} // namespace vantle::test
