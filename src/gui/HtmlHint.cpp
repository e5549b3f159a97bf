#include "gui/HtmlHint.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolTip>

#include "desktop/FireEvent.h"
#include "gui/HtmlHintPainter.h"

namespace lotfinch::gui {

namespace {

// Where the hint window goes relative to the pointer (as Qt's own tool tips).
const QPoint pointerOffset(2, 16);
constexpr int hideAfterMs = 10000;
constexpr int cornerDiameter = 16;
constexpr int maxMargin = 64;

QScreen *screenFor(QPoint pos)
{
    QScreen *screen = QGuiApplication::screenAt(pos);
    return screen ? screen : QGuiApplication::primaryScreen();
}

int distance(QPoint pos, const QRect &rect)
{
    int dx = std::max({rect.left() - pos.x(), 0, pos.x() - rect.right()});
    int dy = std::max({rect.top() - pos.y(), 0, pos.y() - rect.bottom()});
    return dx + dy;
}

} // namespace

QRect PlaceHintWindow(QPoint pos, QSize size, const QList<QRect> &screens)
{
    QRect placed(pos, size);
    if (screens.isEmpty())
        return placed;
    QRect screen = *std::min_element(screens.begin(), screens.end(), [&](const QRect &a, const QRect &b) {
        return distance(pos, a) < distance(pos, b);
    });
    if (placed.right() > screen.right())
        placed.moveRight(screen.right() - 2);
    if (placed.bottom() > screen.bottom())
        placed.moveBottom(screen.bottom() - 2);
    // A hint wider or taller than the screen keeps its start visible.
    placed.moveLeft(std::max(placed.left(), screen.left()));
    placed.moveTop(std::max(placed.top(), screen.top()));
    return placed;
}

HtmlHint::HtmlHint(QObject *owner) : QObject(owner)
{
    auto *form = qobject_cast<QWidget *>(owner);
    if (!form || !form->isWindow())
        throw HtmlHintError("Control parent must be a form!");
    for (QObject *child : owner->children())
        if (child != this && qobject_cast<HtmlHint *>(child))
            throw HtmlHintError("Only one instance of THTMLHint allowed on form");
    // Workaround: Tahoma exists only on Windows; a sans of similar width
    // keeps hints the size they were designed at.
    QFont::insertSubstitutions("Tahoma", {"Liberation Sans", "Arial", "DejaVu Sans"});

    hideTimer_.setSingleShot(true);
    hideTimer_.setInterval(hideAfterMs);
    connect(&hideTimer_, &QTimer::timeout, this, &HtmlHint::HideHint);
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

HtmlHint::~HtmlHint()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    delete window_;
}

bool HtmlHint::showHintNotification(std::string &hintStr, bool &canShow, HintInfo &info)
{
    info.HintColor = hintColor_;
    if (maxWidth_ != 0)
        info.HintMaxWidth = maxWidth_;
    QPointer<HtmlHint> alive(this);
    desktop::fire(OnShowHint, this, hintStr, canShow, info);
    if (!alive)
        return false;
    lastInfo_ = info;
    return true;
}

bool HtmlHint::ShowHintFor(QWidget *widget, QPoint globalPos)
{
    QWidget *control = widget;
    while (control && control->toolTip().isEmpty())
        control = control->isWindow() ? nullptr : control->parentWidget();
    if (!control) {
        HideHint();
        return false;
    }
    HintInfo info;
    info.HintControl = control;
    info.HintPos = globalPos + pointerOffset;
    QScreen *screen = screenFor(globalPos);
    info.HintMaxWidth = screen ? screen->geometry().width() : 0;
    info.CursorRect = QRect(control->mapToGlobal(QPoint(0, 0)), control->size());

    QString text = control->toolTip();
    std::string hintStr = text.toStdString();
    bool canShow = true;
    if (!showHintNotification(hintStr, canShow, info))
        return true; // the handler freed the hint component
    if (!canShow) {
        HideHint();
        return true;
    }
    shownText_ = text;
    if (!window_)
        window_ = new HtmlHintWindow(this);
    window_->ActivateHint(hintStr);
    hideTimer_.start();
    return true;
}

bool HtmlHint::DrawsHintsOf(const QWidget *widget) const
{
    for (const QWidget *each = widget; each; each = each->parentWidget())
        if (each == parent())
            return true;
    return false;
}

void HtmlHint::HideHint()
{
    hideTimer_.stop();
    if (window_)
        window_->hide();
}

// The hint text of the control may change while its hint shows (the
// found-items list rebuilds it on every pointer move): show the new one.
void HtmlHint::recheckHint()
{
    recheckPending_ = false;
    if (!window_ || !window_->isVisible())
        return;
    QWidget *control = lastInfo_.HintControl;
    if (!control || !control->isVisible() || control->toolTip().isEmpty()) {
        HideHint();
        return;
    }
    if (control->toolTip() != shownText_)
        ShowHintFor(control, lastInfo_.HintPos - pointerOffset);
}

bool HtmlHint::eventFilter(QObject *watched, QEvent *event)
{
    bool showing = window_ && window_->isVisible();
    switch (event->type()) {
    case QEvent::ToolTip:
        if (auto *widget = qobject_cast<QWidget *>(watched); widget && DrawsHintsOf(widget))
            return ShowHintFor(widget, static_cast<QHelpEvent *>(event)->globalPos());
        break;
    case QEvent::MouseMove:
        if (showing) {
            QPoint pos = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
            if (!lastInfo_.CursorRect.contains(pos)) {
                HideHint();
            } else if (!recheckPending_) {
                recheckPending_ = true;
                QMetaObject::invokeMethod(this, &HtmlHint::recheckHint, Qt::QueuedConnection);
            }
        }
        break;
    case QEvent::Leave:
        if (showing && watched == lastInfo_.HintControl)
            HideHint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        if (showing)
            HideHint();
        break;
    default: break;
    }
    return false;
}

HtmlHintWindow::HtmlHintWindow(HtmlHint *hint)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      hint_(hint)
{
    setObjectName("HTMLHintWindow");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setPalette(QToolTip::palette());
}

void HtmlHintWindow::ActivateHint(const std::string &text)
{
    caption_ = text;
    if (!hint_)
        return;
    const HtmlHint &hint = *hint_;
    const HintInfo &info = hint.lastInfo_;
    int xMargin = std::clamp(hint.xMargin_, 0, maxMargin);
    int yMargin = std::clamp(hint.yMargin_, 0, maxMargin);
    QScreen *screen = screenFor(info.HintPos);
    QList<QRect> screens;
    for (QScreen *each : QGuiApplication::screens())
        screens << each->geometry();

    core::HintLayoutOptions options;
    options.font = hint.hintFont_;
    options.urlColor = hint.urlColor_;
    options.ellipsis = hint.ellipsis_;
    options.boxWidth = std::max(0, info.HintMaxWidth - 16);
    options.boxHeight = std::max(0, (screen ? screen->geometry().height() : 0) - 2 * yMargin - 4);
    QtHintMetrics metrics(HintPictures{hint.images_, hint.pictures_});
    layout_ = core::LayoutHint(text, options, metrics);

    core::HintSize size = core::HintWindowSize({layout_.width, layout_.height}, xMargin, yMargin);
    QRect placed = PlaceHintWindow(info.HintPos, QSize(size.width, size.height), screens);
    core::HintColor background =
        layout_.background.kind != core::HintColor::Kind::None ? layout_.background : info.HintColor;
    background_ = ResolveHintColor(background, palette());
    setGeometry(placed);
    if (hint.hintStyle_ == HintStyle::Rounded) {
        QPainterPath outline;
        outline.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(placed.size())), cornerDiameter / 2.0,
                               cornerDiameter / 2.0);
        setMask(QRegion(outline.toFillPolygon().toPolygon()));
    } else {
        clearMask();
    }
    show();
    raise();
    update();
}

void HtmlHintWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    if (!hint_)
        return;
    const HtmlHint &hint = *hint_;
    if (hint.hintStyle_ == HintStyle::Rounded) {
        painter.setPen(QColor(128, 128, 128));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect().adjusted(0, 0, -1, -1), cornerDiameter / 2.0, cornerDiameter / 2.0);
    } else {
        QRect frame = rect().adjusted(0, 0, -1, -1);
        painter.setPen(ResolveHintColor(core::HintColor::system(core::sys::Light3D), palette()));
        painter.drawLine(frame.topLeft(), frame.topRight());
        painter.drawLine(frame.topLeft(), frame.bottomLeft());
        painter.setPen(ResolveHintColor(core::HintColor::system(core::sys::DarkShadow3D), palette()));
        painter.drawLine(frame.bottomLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
    }
    HintPaintStyle style{HintPictures{hint.images_, hint.pictures_}, hint.shadowColor_,
                         std::clamp(hint.shadowOffset_, -8, 8)};
    QPoint origin(std::clamp(hint.xMargin_, 0, maxMargin) + 4, std::clamp(hint.yMargin_, 0, maxMargin) + 2);
    PaintHintLayout(painter, layout_, origin, style, palette());
}

} // namespace lotfinch::gui
