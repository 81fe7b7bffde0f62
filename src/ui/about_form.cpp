// The about window: labels at fixed places on white, the picture compiled in from the build,
// and a window that sizes itself to what it holds.
#include "ui/about_form.h"

#include "lib/runtime/DebugOutput.h"
#include "platform/desktopLinks.h"
#include "ui/VCLutils.h"
#include "usage/providers.h"

#include <QCloseEvent>
#include <QColor>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

// The picture is compiled into this static library; nothing else would pull it in.
static void initAboutPicture() {
    Q_INIT_RESOURCE(aboutPicture);
}

namespace vantle {
namespace {

constexpr int padding = 8;
constexpr int designRightEdge = 261; // where the right-aligned labels end
constexpr int linkGap = 12;          // between the version and the link
constexpr int labelHeight = 13;

QFont tahoma(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Sans Serif")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// A label as wide as its text, at its top left or, right-aligned, ending at its right edge.
void place(QLabel* label, int left, int top, int height) {
    label->setGeometry(left, top, label->sizeHint().width(), height);
}
void placeRight(QLabel* label, int right, int top, int height) {
    const int width = label->sizeHint().width();
    label->setGeometry(right - width, top, width, height);
}

} // namespace

TaboutFrm::TaboutFrm()
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint)
    , Label1(new QLabel(QStringLiteral("vantle"), this))
    , Label2(new QLabel(QStringLiteral("iinet usage meter"), this))
    , Image1(new QLabel(this))
    , verL(new QLabel(QStringLiteral("version"), this))
    , urlL(new QLabel(productPageText(), this)) {
    static const bool registered = (initAboutPicture(), true);
    (void)registered;

    setObjectName(QStringLiteral("aboutFrm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("vantle - About"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setFont(tahoma(11));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(tahoma(16, true));
    setTextColour(Label1, Qt::black);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColour(Label2, Qt::black);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/about/picture")));
    verL->setObjectName(QStringLiteral("verL"));
    setTextColour(verL, QColor(128, 128, 128));
    urlL->setObjectName(QStringLiteral("urlL"));
    urlL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColour(urlL, QColor(0, 0, 255));
    urlL->setCursor(Qt::PointingHandCursor);
    urlL->installEventFilter(this);
    for (QLabel* label : {Label1, Label2, verL, urlL})
        label->setTextFormat(Qt::PlainText);

    layOut();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move(screen.left() + screen.width() / 2 - width() / 2,
         screen.top() + screen.height() / 2 - height() / 2);
}

TaboutFrm::TaboutFrm(const QString& versionText)
    : TaboutFrm() {
    SetVersion(versionText);
}

QString TaboutFrm::productPageUrl() {
    return QStringLiteral("http://") + productPageText();
}

QString TaboutFrm::productPageText() {
    return QString::fromUtf8(MakerWebDomain.data(), static_cast<qsizetype>(MakerWebDomain.size())) +
           QStringLiteral("/vantle");
}

void TaboutFrm::SetVersion(const QString& text) {
    verL->setText(QStringLiteral("v") + text);
    layOut();
}

void TaboutFrm::layOut() {
    place(Label1, 8, 8, 19);
    Image1->setGeometry(QRect(QPoint(8, 33), Image1->pixmap().size()));
    place(verL, 8, 300, labelHeight);
    // A long version text pushes the link, and the window's right edge, to the right.
    const int right = std::max(designRightEdge,
                               verL->geometry().right() + 1 + linkGap + urlL->sizeHint().width());
    placeRight(Label2, right, 10, labelHeight);
    placeRight(urlL, right, 300, labelHeight);

    QRect contents;
    for (const QLabel* label : {Label1, Label2, Image1, verL, urlL})
        contents |= label->geometry();
    setFixedSize(contents.right() + 1 + padding, contents.bottom() + 1 + padding);
}

void TaboutFrm::urlLClick() {
    try {
        try {
            platform::OpenUrl(productPageUrl().toStdString());
        } catch (const std::exception& e) {
            ErrorBox(QString::fromStdString(e.what()));
        }
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

void TaboutFrm::FormClose() {
    if (std::function<void()> closed = std::exchange(onClosed, nullptr)) {
        try {
            closed();
        } catch (const std::exception& e) {
            runtime::outputDebugString(e.what());
        }
    }
}

void TaboutFrm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TaboutFrm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

bool TaboutFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == urlL && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        urlL->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        urlLClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vantle
