// Drives a status window for the footprint script: reads "show", "hide" and "quit" lines on
// standard input and answers "ready" once each has taken effect and the engine has settled.
#include "config/configuration.h"
#include "ui/pageView.h"
#include "ui/status_form.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void answer() {
    std::puts("ready");
    std::fflush(stdout);
}

// Answers once the page is complete (or at once when there is no page), after a pause in which
// the engine's processes finish starting or ending.
void answerWhenSettled(const vantle::TstatusFrm& form, bool wantComplete) {
    auto* poll = new QTimer(QApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [&form, wantComplete, poll] {
        const bool complete =
            form.browser() && form.browser()->ReadyState() == vantle::TpageView::ReadyStateComplete;
        if (wantComplete && !complete)
            return;
        poll->deleteLater();
        QTimer::singleShot(3000, [] { answer(); });
    });
    poll->start(50);
}

} // namespace

int main(int argc, char** argv) {
    // As in the program, the engine's shared OpenGL context is asked for as the engine loads.
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(16, 16);
    picture.fill(Qt::green);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.show();

    vantle::Tconfiguration configuration;
    vantle::TstatusFrm form(configuration);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) {
            QApplication::quit();
            return;
        }
        const std::string command(line);
        if (command.starts_with("show")) {
            form.show();
            answerWhenSettled(form, true);
        } else if (command.starts_with("hide")) {
            form.hide();
            answerWhenSettled(form, false);
        } else if (command.starts_with("quit")) {
            QApplication::quit();
        }
    });
    QTimer::singleShot(1000, [] { answer(); });
    return QApplication::exec();
}
