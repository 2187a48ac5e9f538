#pragma once
// Small widgets that give Qt controls the look and test surface the panel needs:
// buttons that show an exact back colour or a bitmap, picture boxes, line shapes,
// horizontal scroll-bar sliders and the command log box.

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QWidget>

// Button whose background is drawn flat in exactly the colour given (the default
// style would draw a gradient), and which can carry a bitmap loaded by path.
class ColorButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(QString picture READ picture)
public:
    explicit ColorButton(const QString &caption, QWidget *parent, const QString &name);

    QColor backColor() const { return back_color_; }
    void setBackColor(const QColor &c);
    // Loads the bitmap at path every time (no cache); a missing file shows no picture.
    void load_picture(const QString &path);
    // Shows a built-in picture (design time); `picture` becomes empty.
    void set_builtin_picture(const QPixmap &pm);
    QString picture() const { return picture_; }

    // The window system's button-face colour.
    static QColor button_face();

private:
    void apply_style();
    QColor back_color_;
    QColor shown_color_;
    bool style_pending_ = false;
    QString picture_;
};

// Image control (img_*): shows a bitmap; `picture` is the path last loaded.
class PictureBox : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString picture READ picture)
public:
    PictureBox(QWidget *parent, const QString &name);
    void load_picture(const QString &path);
    void set_builtin_picture(const QPixmap &pm);
    QString picture() const { return picture_; }

protected:
    // An image shows its picture unchanged inside a disabled frame.
    void paintEvent(QPaintEvent *) override;

private:
    QString picture_;
    QPixmap pixmap_;
};

// A straight line between two points given in the parent's coordinates.
class LineShape : public QWidget {
    Q_OBJECT
public:
    LineShape(QWidget *parent, const QString &name, QPoint p1, QPoint p2, QColor color,
              int width = 2);
    QPoint p1() const { return p1_; }
    QPoint p2() const { return p2_; }
    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QPoint p1_, p2_;
    QColor color_;
    int width_;
};

// Horizontal scroll-bar slider: arrow click steps 1, track click steps 10, and the
// value is only committed when a dragged thumb is released.
class HSlider : public QScrollBar {
    Q_OBJECT
public:
    HSlider(QWidget *parent, const QString &name, int max);

protected:
    // A held arrow or track repeats only while the button is really down and no modal
    // message stands over the slider: a message opened by the step's own handler takes
    // the release, and the slider would otherwise run to its end, a message per step.
    void timerEvent(QTimerEvent *e) override;

private:
    void end_press();
};

// The command log: keeps the exact text (carriage returns included) it was given.
class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    LogBox(QWidget *parent, const QString &name);
    QString text() const { return text_; }
    void set_text(const QString &t);
    void append_text(const QString &t);

private:
    QString text_;
};

// Builds a value box (txt_*) that sits over the middle of a slider's track.
QLineEdit *make_value_box(QWidget *parent, const QString &name, const HSlider *over);
