// The artwork generator: every picture of the bmp folder, at its size, as a 24-bit BMP,
// with the colours and shapes its state calls for; and the build's own bmp folder holds
// exactly what the generator draws.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>
#include <algorithm>

namespace {

struct Expected {
    const char *file;
    int width;
    int height;
};

// The program loads the first seven by path; the windows carry the others.
const Expected kPictures[] = {
    {"power_none.bmp", 64, 60},  {"power_on.bmp", 64, 60},     {"power_standby.bmp", 64, 60},
    {"lock.bmp", 46, 32},        {"unlock.bmp", 46, 32},       {"speaker_on.bmp", 46, 32},
    {"speaker_off.bmp", 46, 32}, {"power.bmp", 64, 60},        {"remote_speaker.bmp", 46, 32},
    {"remote_lock.bmp", 46, 32}, {"remote_up.bmp", 46, 32},    {"remote_down.bmp", 46, 32},
    {"remote_left.bmp", 46, 32}, {"remote_right.bmp", 46, 32}, {"remote_ok.bmp", 46, 32},
    {"remote_exit.bmp", 46, 32}, {"remote_menu.bmp", 46, 32},  {"start.bmp", 170, 13},
    {"keypad.bmp", 339, 96},
};

const QRgb GROUND = qRgb(192, 192, 192);

// Pixels of a clearly red, green or neutral hue.
bool reddish(QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90; }
bool greenish(QRgb c) { return qGreen(c) > 110 && qRed(c) < 90 && qBlue(c) < 90; }
bool dark(QRgb c) { return qGray(c) < 80; }

int count(const QImage &img, const std::function<bool(QRgb)> &pred, QRect area = {}) {
    if (area.isNull()) area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pred(img.pixel(x, y))) ++n;
    return n;
}

// Row (or column) that holds the most ink: where an arrow's head is widest.
int widest_row(const QImage &img) {
    int best = -1, most = -1;
    for (int y = 0; y < img.height(); ++y) {
        const int n = count(img, dark, QRect(0, y, img.width(), 1));
        if (n > most) most = n, best = y;
    }
    return best;
}
int widest_column(const QImage &img) {
    int best = -1, most = -1;
    for (int x = 0; x < img.width(); ++x) {
        const int n = count(img, dark, QRect(x, 0, 1, img.height()));
        if (n > most) most = n, best = x;
    }
    return best;
}

// Largest difference of one colour channel between two images of one size.
int largest_difference(const QImage &a, const QImage &b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q))});
        }
    return most;
}

} // namespace

class Artwork : public QObject {
    Q_OBJECT
    QTemporaryDir out_;

    QImage load(const char *file) const {
        QImage img(out_.filePath(QStringLiteral("bmp/") + QLatin1String(file)));
        return img.convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void initTestCase() {
        QVERIFY(out_.isValid());
        QProcess gen;
        gen.start(qEnvironmentVariable("TEVRAL_ARTWORK"),
                  {out_.filePath(QStringLiteral("bmp")), out_.filePath(QStringLiteral("icons"))});
        QVERIFY2(gen.waitForFinished(60000), "tevral-artwork did not finish");
        QCOMPARE(gen.exitStatus(), QProcess::NormalExit);
        QVERIFY2(gen.exitCode() == 0, gen.readAllStandardError().constData());
    }

    void every_picture_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        for (const Expected &e : kPictures)
            QTest::newRow(e.file) << QString::fromLatin1(e.file) << QSize(e.width, e.height);
    }
    void every_picture() {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        const QString path = out_.filePath(QStringLiteral("bmp/") + file);
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() > 54);
        QCOMPARE(bytes.left(2), QByteArray("BM"));
        const auto le16 = [&](int at) { return quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8); };
        QCOMPARE(le16(28), 24); // bits per pixel
        QCOMPARE(le16(30), 0);  // not compressed

        QImage img(path);
        QVERIFY(!img.isNull());
        QCOMPARE(img.size(), size);
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
        // Antialiased drawing gives many shades; a blank or flat picture gives one or two.
        QVERIFY2(colours.size() > 8, qPrintable(QStringLiteral("%1 colours").arg(colours.size())));
        // Every picture sits on the panel's grey, so it blends with its button.
        QCOMPARE(img.pixel(0, 0), GROUND);
        QCOMPARE(img.pixel(img.width() - 1, img.height() - 1), GROUND);
    }

    void generator_writes_exactly_the_set() {
        QStringList expected;
        for (const Expected &e : kPictures) expected << QString::fromLatin1(e.file);
        expected.sort();
        QStringList written = QDir(out_.filePath(QStringLiteral("bmp"))).entryList(QDir::Files);
        written.sort();
        QCOMPARE(written, expected);
    }

    // The build ran the same generator into the program's own bmp folder.
    void build_folder_holds_the_same_pictures() {
        const QString built = qEnvironmentVariable("TEVRAL_RUNTIME_DIR") + QStringLiteral("/bmp/");
        for (const Expected &e : kPictures) {
            QFile a(built + QLatin1String(e.file));
            QFile b(out_.filePath(QStringLiteral("bmp/") + QLatin1String(e.file)));
            QVERIFY2(a.open(QIODevice::ReadOnly), qPrintable(a.fileName()));
            QVERIFY(b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), e.file);
        }
    }

    void start_banner() {
        const QImage img = load("start.bmp");
        const int red = count(img, [](QRgb c) { return c == qRgb(255, 0, 0); });
        const int grey = count(img, [](QRgb c) { return c == GROUND; });
        QVERIFY2(red > 60, qPrintable(QString::number(red)));
        // Light grey ground: most of the banner.
        QVERIFY(grey > img.width() * img.height() / 2);
        // Nothing but red ink on grey: every pixel lies between the two.
        QCOMPARE(count(img, [](QRgb c) { return qGreen(c) != qBlue(c) || qRed(c) < qGreen(c); }),
                 0);
        // An arrow at the left pointing left: its head (tall) left of its shaft (thin),
        // then a gap, then the words across the rest of the banner.
        const QRect head(0, 0, 6, 13), shaft(10, 0, 6, 13);
        const auto rows_hit = [&](QRect r) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                if (count(img, reddish, QRect(r.left(), y, r.width(), 1)) > 0) ++n;
            return n;
        };
        QVERIFY(rows_hit(head) >= 7);
        QVERIFY(rows_hit(shaft) >= 1 && rows_hit(shaft) <= 3);
        QCOMPARE(count(img, reddish, QRect(18, 0, 2, 13)), 0);
        QVERIFY(count(img, reddish, QRect(21, 0, 70, 13)) > 40);
        QVERIFY(count(img, reddish, QRect(91, 0, 70, 13)) > 40);
    }

    void state_colours() {
        // On green, standby red, unreported grey; the design-time symbol plain dark.
        const QImage on = load("power_on.bmp"), standby = load("power_standby.bmp"),
                     none = load("power_none.bmp"), plain = load("power.bmp");
        QVERIFY(count(on, greenish) > 150);
        QCOMPARE(count(on, reddish), 0);
        QVERIFY(count(standby, reddish) > 150);
        QCOMPARE(count(standby, greenish), 0);
        for (const QImage &img : {none, plain}) {
            QCOMPARE(count(img, reddish) + count(img, greenish), 0);
            QVERIFY(count(img, [](QRgb c) { return qGray(c) < 150; }) > 150);
        }
        QVERIFY(count(plain, dark) > count(none, dark));

        QVERIFY(count(load("speaker_off.bmp"), reddish) > 10);
        QCOMPARE(count(load("speaker_off.bmp"), greenish), 0);
        QVERIFY(count(load("speaker_on.bmp"), greenish) > 10);
        QVERIFY(count(load("lock.bmp"), reddish) > 40);
        QVERIFY(count(load("unlock.bmp"), greenish) > 40);
        for (const char *neutral : {"remote_speaker.bmp", "remote_lock.bmp", "remote_ok.bmp",
                                    "remote_exit.bmp", "remote_menu.bmp", "remote_up.bmp"})
            QCOMPARE(count(load(neutral), [](QRgb c) { return reddish(c) || greenish(c); }), 0);
    }

    void pictures_differ() {
        // Each state must be told apart from the others on its button.
        const char *const groups[][3] = {
            {"power_none.bmp", "power_on.bmp", "power_standby.bmp"},
            {"lock.bmp", "unlock.bmp", "remote_lock.bmp"},
            {"speaker_on.bmp", "speaker_off.bmp", "remote_speaker.bmp"},
            {"remote_ok.bmp", "remote_exit.bmp", "remote_menu.bmp"}};
        for (const auto &g : groups)
            for (int i = 0; i < 3; ++i)
                for (int j = i + 1; j < 3; ++j) QVERIFY2(load(g[i]) != load(g[j]), g[i]);
    }

    void arrows_point_their_way() {
        const QImage up = load("remote_up.bmp"), down = load("remote_down.bmp"),
                     left = load("remote_left.bmp"), right = load("remote_right.bmp");
        QVERIFY(widest_row(up) < 16);
        QVERIFY(widest_row(down) > 16);
        QVERIFY(widest_column(left) < 23);
        QVERIFY(widest_column(right) > 23);
        // Up and down are mirror images; so are left and right (up to antialiasing).
        QVERIFY2(largest_difference(up.mirrored(false, true), down) <= 40,
                 qPrintable(QString::number(largest_difference(up.mirrored(false, true), down))));
        QVERIFY2(
            largest_difference(left.mirrored(true, false), right) <= 40,
            qPrintable(QString::number(largest_difference(left.mirrored(true, false), right))));
        // A quarter turn of the up arrow is the right arrow.
        QTransform quarter;
        quarter.rotate(90);
        const QImage turned = up.copy(7, 0, 32, 32).transformed(quarter);
        QVERIFY2(largest_difference(turned, right.copy(7, 0, 32, 32)) <= 40,
                 qPrintable(QString::number(largest_difference(turned, right.copy(7, 0, 32, 32)))));
    }

    void keypad_has_its_keys() {
        const QImage img = load("keypad.bmp");
        // Key caps: light rounded boxes, 3 + 4 + 4 on the left and 3 x 3 on the right.
        const auto cap = [](QRgb c) { return qGray(c) >= 245; };
        QVERIFY(count(img, cap, QRect(0, 0, 230, 96)) > 11 * 150);
        QVERIFY(count(img, cap, QRect(232, 0, 107, 96)) > 9 * 150);
        // Row 1 has three keys only: the fourth column stays empty.
        QCOMPARE(count(img, cap, QRect(175, 0, 50, 32)), 0);
        QVERIFY(count(img, dark, QRect(175, 32, 50, 64)) > 40);
    }

    // The icon theme's sizes: the same picture at each (transparent corners, an opaque
    // body, the routing lines where the 64-pixel drawing has them).
    void application_icon_data() {
        QTest::addColumn<int>("size");
        for (int size : {48, 64, 256}) QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void application_icon() {
        QFETCH(int, size);
        const QImage icon(
            out_.filePath(QStringLiteral("icons/%1x%1/apps/tevral-qx.png").arg(size)));
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
        const QImage reference =
            QImage(out_.filePath(QStringLiteral("icons/64x64/apps/tevral-qx.png")))
                .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int differ = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                differ += qAbs(qGray(icon.pixel(x, y)) - qGray(reference.pixel(x, y))) > 64;
        QVERIFY2(differ < size * size / 20, qPrintable(QString::number(differ)));
    }
};

QTEST_GUILESS_MAIN(Artwork)
#include "test_artwork.moc"
