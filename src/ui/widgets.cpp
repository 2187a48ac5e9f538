#include "ui/widgets.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

ColorButton::ColorButton(const QString &caption, QWidget *parent, const QString &name)
    : QPushButton(caption, parent), back_color_(button_face()) {
    setObjectName(name);
    setFocusPolicy(Qt::TabFocus);
    style_pending_ = true;
    apply_style();
}

QColor ColorButton::button_face() { return QApplication::palette().color(QPalette::Button); }

void ColorButton::setBackColor(const QColor &c) {
    back_color_ = c;
    // Restyling is costly; a handler that clears a row and marks one button changes a
    // colour twice, so the style follows once, when events are next processed.
    if (c == shown_color_ || style_pending_) return;
    style_pending_ = true;
    QMetaObject::invokeMethod(this, &ColorButton::apply_style, Qt::QueuedConnection);
}

void ColorButton::apply_style() {
    style_pending_ = false;
    if (back_color_ == shown_color_) return;
    shown_color_ = back_color_;
    // A border rule makes the style draw the exact colour instead of a gradient.
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #707070;"
                                 " border-radius: 2px; }"
                                 " QPushButton:pressed { border: 2px inset #505050; }"
                                 " QPushButton:disabled { color: #808080; }")
                      .arg(back_color_.name()));
}

void ColorButton::load_picture(const QString &path) {
    picture_ = path;
    QPixmap pm(path);
    setIcon(QIcon(pm));
    if (!pm.isNull()) setIconSize(pm.size());
}

void ColorButton::set_builtin_picture(const QPixmap &pm) {
    picture_.clear();
    setIcon(QIcon(pm));
    if (!pm.isNull()) setIconSize(pm.size());
}

PictureBox::PictureBox(QWidget *parent, const QString &name) : QLabel(parent) {
    setObjectName(name);
}

void PictureBox::load_picture(const QString &path) {
    picture_ = path;
    pixmap_ = QPixmap(path);
    setPixmap(pixmap_);
}

void PictureBox::set_builtin_picture(const QPixmap &pm) {
    picture_.clear();
    pixmap_ = pm;
    setPixmap(pixmap_);
}

void PictureBox::paintEvent(QPaintEvent *) {
    if (pixmap_.isNull()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, pixmap_);
}

LineShape::LineShape(QWidget *parent, const QString &name, QPoint p1, QPoint p2, QColor color,
                     int width)
    : QWidget(parent), p1_(p1), p2_(p2), color_(color), width_(width) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const int pad = width_;
    QRect r = QRect(p1_, p2_).normalized().adjusted(-pad, -pad, pad, pad);
    setGeometry(r);
    hide();
}

void LineShape::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color_, width_, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(p1_ - pos(), p2_ - pos());
}

HSlider::HSlider(QWidget *parent, const QString &name, int max)
    : QScrollBar(Qt::Horizontal, parent) {
    setObjectName(name);
    setRange(0, max);
    setSingleStep(1);
    setPageStep(10);
    setTracking(false);
    setValue(0);
}

void HSlider::timerEvent(QTimerEvent *e) {
    if (repeatAction() != SliderNoAction) {
        QWidget *modal = QApplication::activeModalWidget();
        const bool blocked = modal && modal != window() && !modal->isAncestorOf(this);
        if (blocked || !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
            end_press();
            return;
        }
    }
    QScrollBar::timerEvent(e);
}

void HSlider::end_press() {
    // The release the press still waits for: ends the repeat and the pressed look.
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QScrollBar::mouseReleaseEvent(&release);
    setRepeatAction(SliderNoAction);
}

LogBox::LogBox(QWidget *parent, const QString &name) : QPlainTextEdit(parent) {
    setObjectName(name);
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(9);
    setFont(f);
}

void LogBox::set_text(const QString &t) {
    text_ = t;
    setPlainText(t);
}

void LogBox::append_text(const QString &t) {
    text_ += t;
    moveCursor(QTextCursor::End);
    insertPlainText(t);
}

QLineEdit *make_value_box(QWidget *parent, const QString &name, const HSlider *over) {
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAlignment(Qt::AlignCenter);
    const QRect g = over->geometry();
    const int w = qMax(24, g.width() - 2 * g.height() - 4);
    box->setGeometry(g.x() + (g.width() - w) / 2, g.y(), w, g.height());
    box->raise();
    return box;
}
