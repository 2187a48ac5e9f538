#include "artwork.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace artwork {
namespace {

// The palette. Light grey is the panel's own grey (the power button's back colour and
// the start banner's ground), so every button picture blends with its button.
const QColor GROUND(192, 192, 192);
const QColor INK(24, 24, 24);
const QColor DIM(120, 120, 120); // a state not reported yet
const QColor EDGE(96, 96, 96);   // outlines of key caps and frames
const QColor CAP(250, 250, 250); // key caps
const QColor RED(255, 0, 0);     // the banner's red; also standby, locked, muted
const QColor GREEN(0, 150, 0);   // on, unlocked, sound on

// Stroke widths: small glyphs (46 x 32 buttons) and the large power symbol.
constexpr qreal THIN = 2.0;
constexpr qreal THICK = 6.0;
// The words on the remote buttons, all the same size.
constexpr int WORD_PIXELS = 12;

QFont font(int pixels, bool bold) {
    QFont f;
    // Metric twin of Arial (the panel's font), DejaVu Sans where it is missing.
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixels);
    f.setBold(bold);
    // Grey-level antialiasing only: the same pixels on every screen type.
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    return f;
}

// Draws text with its inked area centred on `centre` (not its line box: words without
// descenders would otherwise sit high). Whole-pixel baseline keeps hinted glyphs crisp.
void text_centred(QPainter &p, const QFont &f, const QString &text, QPointF centre,
                  const QColor &colour) {
    const QRectF ink = QFontMetricsF(f).tightBoundingRect(text);
    const qreal x = centre.x() - ink.width() / 2 - ink.left();
    const qreal y = centre.y() - ink.height() / 2 - ink.top();
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QPointF(qRound(x), qRound(y)), text);
}

// Largest pixel size up to `max_pixels` at which `text` fits `width`.
QFont fitting_font(const QString &text, int max_pixels, bool bold, qreal width) {
    for (int px = max_pixels; px > 6; --px) {
        QFont f = font(px, bold);
        if (QFontMetricsF(f).horizontalAdvance(text) <= width) return f;
    }
    return font(6, bold);
}

QPainter *begin(QImage &img, QPainter &p) {
    img.fill(GROUND);
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    return &p;
}

// ---- power symbol: a ring open at the top with a bar through the gap
void power(QImage &img, const QColor &colour) {
    QPainter p;
    begin(img, p);
    const QPointF c(img.width() / 2.0, img.height() / 2.0 + 2);
    const qreal r = qMin(img.width(), img.height()) * 0.32;
    QPen pen(colour, THICK, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    // Angles count counter-clockwise from three o'clock; the gap is 70 degrees at twelve.
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 125 * 16, 290 * 16);
    p.drawLine(QPointF(c.x(), c.y() - r - 5), QPointF(c.x(), c.y() - 3));
}

// ---- arrows for the menu remote: one shape, turned
void arrow(QImage &img, int degrees) {
    QPainter p;
    begin(img, p);
    p.translate(img.width() / 2.0, img.height() / 2.0);
    p.rotate(degrees);
    QPolygonF shape;
    shape << QPointF(0, -11) << QPointF(9, -1.5) << QPointF(3, -1.5) << QPointF(3, 11)
          << QPointF(-3, 11) << QPointF(-3, -1.5) << QPointF(-9, -1.5);
    p.setPen(QPen(INK, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(INK);
    p.drawPolygon(shape);
}

void word(QImage &img, const QString &text) {
    QPainter p;
    begin(img, p);
    text_centred(p, fitting_font(text, WORD_PIXELS, true, img.width() - 6), text,
                 QPointF(img.width() / 2.0, img.height() / 2.0), INK);
}

// ---- loudspeaker: a cone, and either sound waves or a cross beside it
enum class Sound { Waves, Muted };

void speaker(QImage &img, Sound sound, const QColor &accent) {
    QPainter p;
    begin(img, p);
    const qreal cy = img.height() / 2.0;
    QPainterPath body;
    body.moveTo(9, cy - 4);
    body.lineTo(14, cy - 4);
    body.lineTo(21, cy - 10);
    body.lineTo(21, cy + 10);
    body.lineTo(14, cy + 4);
    body.lineTo(9, cy + 4);
    body.closeSubpath();
    p.setPen(QPen(INK, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.setBrush(INK);
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(accent, THIN, Qt::SolidLine, Qt::RoundCap));
    if (sound == Sound::Waves) {
        for (qreal r : {5.0, 10.0})
            p.drawArc(QRectF(21 - r, cy - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    } else {
        p.setPen(QPen(accent, THIN + 0.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(27, cy - 5), QPointF(37, cy + 5));
        p.drawLine(QPointF(27, cy + 5), QPointF(37, cy - 5));
    }
}

// ---- padlock beside the word Lock
enum class Shackle { Closed, Open };

void lock(QImage &img, Shackle shackle, const QColor &colour) {
    QPainter p;
    begin(img, p);
    // Padlock on the left: body 11 x 9, shackle above it.
    const QRectF body(3, 15, 11, 9);
    p.setPen(QPen(colour, THIN, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const qreal lift = shackle == Shackle::Open ? 4 : 0;
    QPainterPath hoop;
    hoop.moveTo(body.left() + 2.5, body.top() - lift);
    hoop.lineTo(body.left() + 2.5, body.top() - 4 - lift);
    hoop.arcTo(QRectF(body.left() + 2.5, body.top() - 7 - lift, 6, 6), 180, -180);
    // An open shackle leaves the body on its right leg.
    hoop.lineTo(body.right() - 2.5,
                shackle == Shackle::Open ? body.top() - 4 - lift + 2 : body.top());
    p.drawPath(hoop);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(body, 1.5, 1.5);
    p.setBrush(GROUND);
    p.drawEllipse(QPointF(body.center().x(), body.center().y() - 0.5), 1.3, 1.3);
    const QFont f = fitting_font(QStringLiteral("Lock"), WORD_PIXELS, true, 29);
    const qreal w = QFontMetricsF(f).horizontalAdvance(QStringLiteral("Lock"));
    text_centred(p, f, QStringLiteral("Lock"), QPointF(16 + w / 2, img.height() / 2.0), INK);
}

// ---- start banner: a red arrow pointing left at Refresh, and the prompt
void start(QImage &img) {
    QPainter p;
    begin(img, p);
    const qreal cy = img.height() / 2.0;
    p.setPen(QPen(RED, THIN, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(6, cy), QPointF(17, cy));
    p.setPen(Qt::NoPen);
    p.setBrush(RED);
    QPolygonF head;
    head << QPointF(0.5, cy) << QPointF(7.5, cy - 5) << QPointF(7.5, cy + 5);
    p.drawPolygon(head);
    const QString prompt = QStringLiteral("Click Refresh to START !");
    const qreal left = 21;
    const QFont f = fitting_font(prompt, 12, true, img.width() - left - 1);
    const qreal w = QFontMetricsF(f).horizontalAdvance(prompt);
    text_centred(p, f, prompt, QPointF(left + w / 2, cy), RED);
}

// ---- key assignment of the keypad window
// One caption font for every key, so the captions share size and baseline.
QFont caption_font() { return font(10, false); }

void key(QPainter &p, QRectF cell, const QString &caption, const QString &label) {
    const QFont small = caption_font();
    const QFontMetricsF fm(small);
    p.setFont(small);
    p.setPen(INK);
    const qreal x = cell.center().x() - fm.horizontalAdvance(caption) / 2;
    p.drawText(QPointF(qRound(x), qRound(cell.top() + 1 + fm.ascent())), caption);
    const QRectF cap(cell.center().x() - 11, cell.top() + 14, 22, 16);
    p.setPen(QPen(EDGE, 1.0));
    p.setBrush(CAP);
    p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    text_centred(p, font(11, true), label, cap.center(), INK);
}

void keypad(QImage &img) {
    QPainter p;
    begin(img, p);
    // Left: three rows, 57 pixels a column. Right: the numeric keypad as on the keyboard.
    const qreal col = 57, row = 32;
    const char *const modes[3] = {"Matrix", "Dual", "2X2"};
    for (int i = 0; i < 3; ++i)
        key(p, QRectF(col * i, 0, col, row), QLatin1String(modes[i]), QString::number(i + 1));
    const char *const out_keys[4] = {"A", "S", "D", "F"};
    const char *const in_keys[4] = {"J", "K", "L", ";"};
    for (int i = 0; i < 4; ++i) {
        key(p, QRectF(col * i, row, col, row), QStringLiteral("OUTPUT %1").arg(i + 1),
            QLatin1String(out_keys[i]));
        key(p, QRectF(col * i, 2 * row, col, row), QStringLiteral("INPUT %1").arg(i + 1),
            QLatin1String(in_keys[i]));
    }

    const QRectF pad(232, 0.5, img.width() - 232 - 0.5, img.height() - 1);
    p.setPen(QPen(EDGE, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(pad, 4, 4);
    const char *const block[3][3][2] = {{{"mute", "7"}, {"up", "8"}, {"Lock", "9"}},
                                        {{"left", "4"}, {"OK", "5"}, {"right", "6"}},
                                        {{"Exit", "1"}, {"down", "2"}, {"Menu", "3"}}};
    const qreal pcol = (pad.width() - 2) / 3;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            key(p, QRectF(pad.left() + 1 + pcol * c, row * r, pcol, row),
                QLatin1String(block[r][c][0]), QLatin1String(block[r][c][1]));
}

} // namespace

QList<Picture> pictures() {
    const QSize power_size(64, 60);
    const QSize button(46, 32);
    return {
        // State pictures, loaded by path whenever the state changes.
        {QStringLiteral("power_none.bmp"), power_size, [](QImage &i) { power(i, DIM); }},
        {QStringLiteral("power_on.bmp"), power_size, [](QImage &i) { power(i, GREEN); }},
        {QStringLiteral("power_standby.bmp"), power_size, [](QImage &i) { power(i, RED); }},
        {QStringLiteral("lock.bmp"), button, [](QImage &i) { lock(i, Shackle::Closed, RED); }},
        {QStringLiteral("unlock.bmp"), button, [](QImage &i) { lock(i, Shackle::Open, GREEN); }},
        {QStringLiteral("speaker_on.bmp"), button,
         [](QImage &i) { speaker(i, Sound::Waves, GREEN); }},
        {QStringLiteral("speaker_off.bmp"), button,
         [](QImage &i) { speaker(i, Sound::Muted, RED); }},
        // Pictures the windows carry from construction (state not reported yet).
        {QStringLiteral("power.bmp"), power_size, [](QImage &i) { power(i, INK); }},
        {QStringLiteral("remote_speaker.bmp"), button,
         [](QImage &i) { speaker(i, Sound::Waves, INK); }},
        {QStringLiteral("remote_lock.bmp"), button,
         [](QImage &i) { lock(i, Shackle::Closed, INK); }},
        {QStringLiteral("remote_up.bmp"), button, [](QImage &i) { arrow(i, 0); }},
        {QStringLiteral("remote_right.bmp"), button, [](QImage &i) { arrow(i, 90); }},
        {QStringLiteral("remote_down.bmp"), button, [](QImage &i) { arrow(i, 180); }},
        {QStringLiteral("remote_left.bmp"), button, [](QImage &i) { arrow(i, 270); }},
        {QStringLiteral("remote_ok.bmp"), button, [](QImage &i) { word(i, QStringLiteral("OK")); }},
        {QStringLiteral("remote_exit.bmp"), button,
         [](QImage &i) { word(i, QStringLiteral("Exit")); }},
        {QStringLiteral("remote_menu.bmp"), button,
         [](QImage &i) { word(i, QStringLiteral("Menu")); }},
        {QStringLiteral("start.bmp"), QSize(170, 13), [](QImage &i) { start(i); }},
        {QStringLiteral("keypad.bmp"), QSize(339, 96), [](QImage &i) { keypad(i); }},
    };
}

QImage render(const Picture &picture) {
    QImage img(picture.size, QImage::Format_RGB32);
    picture.draw(img);
    // RGB888 is what the BMP writer stores as 24 bits a pixel.
    return img.convertToFormat(QImage::Format_RGB888);
}

QImage icon(int size) {
    // A routing matrix: four inputs on the left, four outputs on the right, lines
    // between them in the panel's selection blue.
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(20, 30, 45), 2));
    p.setBrush(QColor(44, 62, 88));
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    const qreal ys[4] = {15, 26, 38, 49};
    const int route[4] = {2, 0, 3, 1};
    const QColor lines[4] = {QColor(0x50, 0xC0, 0xFF), QColor(0, 200, 90), QColor(255, 200, 0),
                             QColor(255, 90, 90)};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(lines[i], 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, ys[route[i]]), QPointF(48, ys[i]));
    }
    p.setPen(QPen(QColor(20, 30, 45), 1.5));
    p.setBrush(QColor(235, 235, 235));
    for (qreal y : ys) {
        p.drawEllipse(QPointF(13, y), 4, 4);
        p.drawEllipse(QPointF(51, y), 4, 4);
    }
    return img;
}

bool write_all(const QString &folder, QString *error) {
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    for (const Picture &pic : pictures()) {
        const QString path = QDir(folder).filePath(pic.file);
        if (!render(pic).save(path, "BMP")) {
            if (error) *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace artwork
