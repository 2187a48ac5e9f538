// The window as the operator sees it: the panel runs on a real X server (Xvfb, started
// here), against the simulated device on a pseudo-terminal, and is photographed from
// the screen in each of its looks. The PNGs land in the build folder:
// screen_start.png, screen_compact.png, screen_full_matrix.png, screen_full_dual.png,
// screen_full_2x2.png, screen_keypad.png; screens_layout.txt lists captions that do
// not fit and controls that leave their frame or overlap.
//
// Without a window manager the window has no frame, so its size on the screen is the
// client area: 827 x 151 compact, 827 x 427 full (the design's outer heights 176 and
// 452 less the 25-pixel title bar).
//
// Exit code 77 (skipped) only when Xvfb is not installed.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTextStream>
#include <QWindow>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "admin/frm_keypad.h"
#include "panel_access.h"
#include "sim_fixture.h"

namespace {

constexpr int SKIP_CODE = 77;

QString find_in_path(const char *name) {
    const QStringList dirs = qEnvironmentVariable("PATH").split(QLatin1Char(':'));
    for (const QString &d : dirs) {
        const QString p = d + QLatin1Char('/') + QLatin1String(name);
        if (::access(QFile::encodeName(p).constData(), X_OK) == 0) return p;
    }
    return {};
}

// An X server of our own on the first free display (Xvfb picks it and tells us on a pipe).
class XServer {
public:
    ~XServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Empty on success, else why not.
    QString start(const QString &xvfb) {
        int fds[2];
        if (::pipe(fds) != 0) return QStringLiteral("pipe failed");
        const QByteArray exe = QFile::encodeName(xvfb);
        const QByteArray fd = QByteArray::number(fds[1]);
        pid_ = ::fork();
        if (pid_ < 0) return QStringLiteral("fork failed");
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            // 96 dpi: the sizes the panel's fonts were laid out for.
            ::execl(exe.constData(), "Xvfb", "-displayfd", fd.constData(), "-screen", "0",
                    "1280x1024x24", "-dpi", "96", "-nolisten", "tcp", "-noreset",
                    static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        QByteArray number;
        pollfd p{fds[0], POLLIN, 0};
        while (!number.endsWith('\n') && ::poll(&p, 1, 15000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1) break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.endsWith('\n')) return QStringLiteral("Xvfb did not report a display");
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return {};
    }
    QString display() const { return display_; }

private:
    pid_t pid_ = -1;
    QString display_;
};

QString out_dir() {
    const QString d = qEnvironmentVariable("TEVRAL_RUNTIME_DIR");
    return d.isEmpty() ? QDir::currentPath() : d;
}

// What the X server shows in a rectangle of the screen.
QImage screen_area(const QRect &r) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int distinct_colours(const QImage &img) {
    QSet<QRgb> s;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) s.insert(img.pixel(x, y));
    return s.size();
}

int count_pixels(const QImage &img, const QRect &area, const std::function<bool(QRgb)> &pred) {
    int n = 0;
    const QRect a = area.intersected(img.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (pred(img.pixel(x, y))) ++n;
    return n;
}

// Share of pixels that are the same in two images of one size.
double same_share(const QImage &a, const QImage &b) {
    if (a.size() != b.size()) return 0;
    qint64 same = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) == b.pixel(x, y)) ++same;
    return double(same) / (qint64(a.width()) * a.height());
}

bool pure_red(QRgb c) { return qRed(c) > 230 && qGreen(c) < 40 && qBlue(c) < 40; }
bool green(QRgb c) { return qGreen(c) > 110 && qRed(c) < 90 && qBlue(c) < 90; }

QString widget_text(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
    return {};
}

// Names the layout faults a person would see: captions cut off, controls sticking out
// of their frame, visible controls covering each other (lines and value boxes laid over
// sliders are meant to).
QStringList layout_findings(QWidget *top) {
    QStringList out;
    const auto name = [](QWidget *w) {
        return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                         : w->objectName();
    };
    const QList<QWidget *> all = top->findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (!w->isVisibleTo(top) || w->objectName().isEmpty()) continue;
        if (qobject_cast<LineShape *>(w)) continue;
        QWidget *parent = w->parentWidget();
        if (parent != top && !parent->rect().contains(w->geometry()))
            out << QStringLiteral("outside its frame: %1 %2,%3 %4x%5 in %6 (%7x%8)")
                       .arg(name(w))
                       .arg(w->x())
                       .arg(w->y())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(name(parent))
                       .arg(parent->width())
                       .arg(parent->height());
        const QString text = widget_text(w);
        if (!text.isEmpty()) {
            const QFontMetrics fm(w->font());
            int need = fm.horizontalAdvance(text);
            if (qobject_cast<QGroupBox *>(w))
                need += 14;
            else if (qobject_cast<QRadioButton *>(w))
                need += 20;
            else if (qobject_cast<QPushButton *>(w))
                need += 6;
            if (need > w->width())
                out << QStringLiteral("caption cut: %1 \"%2\" needs %3 px, has %4")
                           .arg(name(w), text)
                           .arg(need)
                           .arg(w->width());
            if (!qobject_cast<QGroupBox *>(w) && fm.height() > w->height() + 1)
                out << QStringLiteral("caption too tall: %1 \"%2\" needs %3 px, has %4")
                           .arg(name(w), text)
                           .arg(fm.height())
                           .arg(w->height());
        }
    }
    for (int i = 0; i < all.size(); ++i) {
        QWidget *a = all[i];
        if (!a->isVisibleTo(top) || a->objectName().isEmpty() || qobject_cast<LineShape *>(a))
            continue;
        for (int j = i + 1; j < all.size(); ++j) {
            QWidget *b = all[j];
            if (b->parentWidget() != a->parentWidget() || !b->isVisibleTo(top) ||
                b->objectName().isEmpty() || qobject_cast<LineShape *>(b))
                continue;
            // Value boxes lie over their slider's track by design.
            const bool box_on_slider =
                (qobject_cast<QLineEdit *>(a) && qobject_cast<QScrollBar *>(b)) ||
                (qobject_cast<QLineEdit *>(b) && qobject_cast<QScrollBar *>(a));
            if (box_on_slider) continue;
            // The interface frame lies over the empty part of the routing panel, and
            // the keypad button takes the banner's place: both by design.
            const auto pair = [&](const char *x, const char *y) {
                return (a->objectName() == QLatin1String(x) &&
                        b->objectName() == QLatin1String(y)) ||
                       (a->objectName() == QLatin1String(y) && b->objectName() == QLatin1String(x));
            };
            if (pair("fra_btn", "fra_rs232") || pair("img_start", "cmd_keypad")) continue;
            const QRect overlap = a->geometry().intersected(b->geometry());
            if (overlap.width() > 1 && overlap.height() > 1)
                out << QStringLiteral("overlap: %1 and %2 (%3x%4 px)")
                           .arg(name(a), name(b))
                           .arg(overlap.width())
                           .arg(overlap.height());
        }
    }
    return out;
}

} // namespace

class Screens : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<SimDevice> sim_;
    std::unique_ptr<MessageCatcher> msgs_;
    std::unique_ptr<frm_main> f_;
    QStringList report_;
    QString shot_error_;

    QRect client_on_screen() const { return QRect(f_->mapToGlobal(QPoint(0, 0)), f_->size()); }

    // Photographs the window from the screen, saves it, and checks that the screen
    // shows what the window drew (it is mapped, where it says, uncovered) and that the
    // picture is not blank.
    QImage shoot(const QString &file, const QString &look) {
        pump_ms(300);
        const QImage shot = screen_area(client_on_screen());
        shot.save(out_dir() + QLatin1Char('/') + file);
        const QImage own = f_->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const double same = same_share(shot, own);
        if (same < 0.97)
            qWarning("%s: screen and window differ in %.1f%% of pixels", qPrintable(file),
                     100 * (1 - same));
        const int colours = distinct_colours(shot);
        if (colours < 40 || same < 0.97) {
            shot_error_ = QStringLiteral("%1: %2 colours, %3% of pixels as drawn")
                              .arg(file)
                              .arg(colours)
                              .arg(100 * same, 0, 'f', 1);
            return {};
        }
        report_ << QStringLiteral("== %1 (%2, %3x%4)")
                       .arg(look, file)
                       .arg(shot.width())
                       .arg(shot.height());
        report_ << layout_findings(f_.get());
        return shot;
    }

private slots:
    void initTestCase() {
        folder_ = std::make_unique<ProgramFolder>(0, 1, false);
        sim_ = std::make_unique<SimDevice>();
        QVERIFY(sim_->start_pty(*folder_, 1));
        msgs_ = std::make_unique<MessageCatcher>();
        f_ = load_panel(*folder_);
        QVERIFY(f_);
        QVERIFY(QTest::qWaitForWindowExposed(f_.get()));
        QVERIFY2(msgs_->messages.isEmpty(), qPrintable(msgs_->texts().join(QLatin1Char('|'))));
    }

    void start_look() {
        QCOMPARE(f_->size(),
                 QSize(frm_main::WINDOW_WIDTH, frm_main::HEIGHT_COMPACT - frm_main::TITLE_BAR));
        const QImage shot = shoot(QStringLiteral("screen_start.png"), QStringLiteral("start"));
        QVERIFY2(!shot.isNull(), qPrintable(shot_error_));
        QCOMPARE(shot.size(), QSize(827, 151));
        // The banner is on the screen: its red words right of Refresh.
        QVERIFY(f_->switching().img_start->isVisible());
        const QRect banner(f_->switching().img_start->mapTo(f_.get(), QPoint(0, 0)),
                           f_->switching().img_start->size());
        // The frame is disabled before the first power reply; the banner must stay red.
        QVERIFY(!f_->frames().fra_btn->isEnabled());
        QVERIFY2(count_pixels(shot, banner, pure_red) > 60, "start banner not red on the screen");
        // Whatever its colour, the banner's words are drawn there (not an empty label).
        QVERIFY(count_pixels(shot, banner, [](QRgb c) { return qGray(c) < 170; }) > 60);
    }

    void compact_after_refresh() {
        f_->switching().cmd_refresh_Click();
        QVERIFY(pump_until([&] { return f_->switching().cmd_refresh->isEnabled(); }, 20000));
        const QImage shot = shoot(QStringLiteral("screen_compact.png"), QStringLiteral("compact"));
        QVERIFY2(!shot.isNull(), qPrintable(shot_error_));
        QCOMPARE(shot.size(), QSize(827, 151));
        QVERIFY(!f_->switching().img_start->isVisible());
        // The device is on: the power button shows the green symbol on the screen.
        QVERIFY(f_->admin().cmd_pwr->picture().endsWith(QLatin1String("/bmp/power_on.bmp")));
        const QRect pwr(f_->admin().cmd_pwr->pos(), f_->admin().cmd_pwr->size());
        QVERIFY2(count_pixels(shot, pwr, green) > 100, "power_on picture not on the screen");
    }

    void full_height_matrix() {
        f_->link().cmd_advance_Click();
        QCOMPARE(f_->size(),
                 QSize(frm_main::WINDOW_WIDTH, frm_main::HEIGHT_FULL - frm_main::TITLE_BAR));
        f_->switching().cmd_mode_Click(1);
        const QImage shot =
            shoot(QStringLiteral("screen_full_matrix.png"), QStringLiteral("full, Matrix"));
        QVERIFY2(!shot.isNull(), qPrintable(shot_error_));
        QCOMPARE(shot.size(), QSize(827, 427));
        QCOMPARE(f_->switching().mode_digit(), qint16(1));
    }

    void full_height_dual() {
        f_->switching().cmd_mode_Click(2);
        QCOMPARE(f_->switching().mode_digit(), qint16(2));
        const QImage shot =
            shoot(QStringLiteral("screen_full_dual.png"), QStringLiteral("full, Dual"));
        QVERIFY2(!shot.isNull(), qPrintable(shot_error_));
        QCOMPARE(shot.size(), QSize(827, 427));
    }

    void full_height_2x2() {
        f_->switching().cmd_mode_Click(3);
        QCOMPARE(f_->switching().mode_digit(), qint16(3));
        const QImage shot =
            shoot(QStringLiteral("screen_full_2x2.png"), QStringLiteral("full, 2X2"));
        QVERIFY2(!shot.isNull(), qPrintable(shot_error_));
        QCOMPARE(shot.size(), QSize(827, 427));
    }

    // The bands fit the full height; only the command log lies below it.
    void bands_fit_the_window() {
        const QRect client(0, 0, 827, 427);
        for (QWidget *w : f_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!w->isVisibleTo(f_.get()) || w->isWindow()) continue;
            if (w == f_->txt_cmd || w == f_->cmd_clear) {
                QVERIFY2(w->y() >= 427, qPrintable(w->objectName()));
                continue;
            }
            QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
        }
    }

    void keypad_window() {
        f_->admin().cmd_keypad_Click();
        QVERIFY(f_->admin().keypad);
        QVERIFY(QTest::qWaitForWindowExposed(f_->admin().keypad.data()));
        pump_ms(300);
        frm_keypad *k = f_->admin().keypad.data();
        QCOMPARE(k->size(), QSize(frm_keypad::CLIENT_WIDTH, frm_keypad::CLIENT_HEIGHT));
        // Directly above the main window, no frame: its bottom meets the window's top.
        const QRect kr(k->mapToGlobal(QPoint(0, 0)), k->size());
        QCOMPARE(kr.left(), client_on_screen().left());
        QCOMPARE(kr.bottom() + 1, client_on_screen().top());
        const QRect both = kr.united(client_on_screen());
        const QImage shot = screen_area(both);
        QVERIFY(shot.save(out_dir() + QStringLiteral("/screen_keypad.png")));
        QVERIFY(distinct_colours(shot) > 40);
        // The key picture is on the screen: its white key caps.
        const QRect pic(kr.topLeft() - both.topLeft() + QPoint(7, 8), QSize(339, 96));
        QVERIFY2(count_pixels(shot, pic, [](QRgb c) { return qGray(c) >= 245; }) > 20 * 150,
                 "keypad picture not on the screen");
        f_->admin().cmd_keypad_Click();
        QVERIFY(pump_until([&] { return !f_->admin().keypad; }, 2000));
    }

    // The real program from a folder of its own, driven through the X server.
    void real_program() {
        const QString xdotool = find_in_path("xdotool");
        if (xdotool.isEmpty()) QSKIP("xdotool is not installed");
        ProgramFolder demo(0, 1, false);
        const QString exe = demo.file(QStringLiteral("tevral-qx"));
        QVERIFY(QFile::copy(out_dir() + QStringLiteral("/tevral-qx"), exe));
        SimDevice device;
        QVERIFY(device.start_pty(demo, 1));
        QProcess prog;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        prog.setProcessEnvironment(env);
        prog.start(exe, {});
        QVERIFY(prog.waitForStarted(5000));
        const auto xdo = [&](const QStringList &args) {
            QProcess p;
            p.start(xdotool, args);
            p.waitForFinished(5000);
            return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        };
        QString id;
        QVERIFY(pump_until(
            [&] {
                // This test's own panel has the same title: only the program's windows.
                id =
                    xdo({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--pid"),
                         QString::number(prog.processId()), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--name"), QStringLiteral("^TEVRAL-QX v1\\.6A $")});
                return !id.isEmpty() || prog.state() != QProcess::Running;
            },
            15000));
        QVERIFY2(!id.isEmpty(), "the program's window did not appear");
        id = id.section(QLatin1Char('\n'), 0, 0);
        const QString geometry = xdo({QStringLiteral("getwindowgeometry"), id});
        QVERIFY2(geometry.contains(QLatin1String("Geometry: 827x151")), qPrintable(geometry));
        // Click Refresh (top left) as the operator would: the device is read.
        device.mark();
        xdo({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QStringLiteral("40"),
             QStringLiteral("20"), QStringLiteral("click"), QStringLiteral("1")});
        QVERIFY(device.wait_commands(1, 10000));
        QCOMPARE(device.commands_since_mark().first(), QStringLiteral("VER999"));
        prog.terminate();
        QVERIFY(prog.waitForFinished(5000));
    }

    void cleanupTestCase() {
        QFile f(out_dir() + QStringLiteral("/screens_layout.txt"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream(&f) << report_.join(QLatin1Char('\n')) << '\n';
        }
        for (const QString &line : report_) qInfo("%s", qPrintable(line));
        f_.reset();
    }
};

int main(int argc, char **argv) {
    const QString xvfb = find_in_path("Xvfb");
    if (xvfb.isEmpty()) {
        std::printf("SKIP: Xvfb is not installed\n");
        return SKIP_CODE;
    }
    XServer x;
    const QString err = x.start(xvfb);
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    qputenv("DISPLAY", x.display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int rc;
    {
        QApplication app(argc, argv);
        Screens tc;
        rc = QTest::qExec(&tc, argc, argv);
    }
    return rc;
}

#include "test_window.moc"
