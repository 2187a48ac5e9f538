// The window's widget tree as a text snapshot: names, classes, parents, geometry,
// visibility, enabled state, texts, colours, pictures, fonts and line ends in creation
// order, the focus chain and the command log. It is the one check of the layout; a
// restructuring of the code must leave it unchanged.
// TEVRAL_UPDATE_SNAPSHOT=1 rewrites the stored snapshot.

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include "panel_access.h"
#include "sim_fixture.h"

namespace {

bool own_widget(const QWidget *w) {
    const QString n = w->objectName();
    return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

QString describe(const QWidget *w, const QWidget *top) {
    const QRect g = w->geometry();
    QString line = QStringLiteral("%1 %2 parent=%3 geo=%4,%5,%6x%7 vis=%8 en=%9")
                       .arg(w->objectName(), QLatin1String(w->metaObject()->className()),
                            w->parentWidget() ? w->parentWidget()->objectName() : QString())
                       .arg(g.x())
                       .arg(g.y())
                       .arg(g.width())
                       .arg(g.height())
                       .arg(w == top || w->isVisibleTo(top) ? 1 : 0)
                       .arg(w->isEnabled() ? 1 : 0);
    QString text;
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        text = b->text() +
               (b->isCheckable() ? QStringLiteral(" checked=%1").arg(b->isChecked()) : QString());
    else if (auto *l = qobject_cast<const QLabel *>(w))
        text = l->text();
    else if (auto *e = qobject_cast<const QLineEdit *>(w))
        text = e->text();
    else if (auto *gb = qobject_cast<const QGroupBox *>(w))
        text = gb->title();
    else if (auto *c = qobject_cast<const QComboBox *>(w))
        text = QStringLiteral("%1/%2").arg(c->currentIndex()).arg(c->count());
    else if (auto *log = qobject_cast<const QPlainTextEdit *>(w))
        text = log->toPlainText(); // the commands and replies, in order
    else if (auto *s = qobject_cast<const QScrollBar *>(w))
        text = QStringLiteral("%1..%2=%3").arg(s->minimum()).arg(s->maximum()).arg(s->value());
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    line += QStringLiteral(" text=\"%1\"").arg(text);
    const QVariant colour = w->property("backColor");
    if (colour.isValid()) line += QStringLiteral(" back=%1").arg(colour.value<QColor>().name());
    const QVariant picture = w->property("picture");
    if (picture.isValid() && !picture.toString().isEmpty())
        line +=
            QStringLiteral(" picture=%1")
                .arg(picture.toString().section(QLatin1Char('/'), -2)); // folder differs per run
    if (auto *b = qobject_cast<const QAbstractButton *>(w); b && !b->icon().isNull())
        line += QStringLiteral(" icon");
    if (auto *l = qobject_cast<const LineShape *>(w))
        line += QStringLiteral(" line=%1,%2-%3,%4 %5")
                    .arg(l->p1().x())
                    .arg(l->p1().y())
                    .arg(l->p2().x())
                    .arg(l->p2().y())
                    .arg(l->color().name());
    if (auto *e = qobject_cast<const QLineEdit *>(w); e && e->isReadOnly())
        line += QStringLiteral(" read-only");
    const QFont font = w->font();
    line += QStringLiteral(" font=%1/%2%3")
                .arg(font.family())
                .arg(font.pointSizeF())
                .arg(font.bold() ? QStringLiteral("/bold") : QString());
    return line;
}

void walk(const QWidget *w, const QWidget *top, QStringList *out) {
    if (own_widget(w)) *out << describe(w, top);
    for (const QObject *c : w->children())
        if (auto *cw = qobject_cast<const QWidget *>(c)) walk(cw, top, out);
}

QStringList snapshot(frm_main *f, const QString &stage) {
    QStringList out{QStringLiteral("== %1 size=%2x%3").arg(stage).arg(f->width()).arg(f->height())};
    walk(f, f, &out);
    QStringList chain;
    QWidget *w = f;
    for (int guard = 0; guard < 1000; ++guard) {
        w = w->nextInFocusChain();
        if (w == f) break;
        if (own_widget(w)) chain << w->objectName();
    }
    out << QStringLiteral("focus: ") + chain.join(QLatin1Char(' '));
    return out;
}

QAbstractButton *button(frm_main *f, const char *name) {
    return f->findChild<QAbstractButton *>(QLatin1String(name));
}

} // namespace

class TestWidgetTree : public QObject {
    Q_OBJECT
private slots:
    void unchanged_through_a_session() {
        ProgramFolder folder(1, 1, false, QStringLiteral("127.0.0.60"));
        SimDevice sim;
        QVERIFY(sim.start_tcp(QStringLiteral("127.0.0.60")));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QStringList lines = snapshot(f.get(), QStringLiteral("loaded"));

        button(f.get(), "cmd_conn_eth")->click();
        QVERIFY(pump_until([&] {
            return button(f.get(), "cmd_conn_eth")->property("backColor").value<QColor>() ==
                   PanelStyle::green_colour();
        }));
        button(f.get(), "cmd_advance")->click();
        button(f.get(), "cmd_refresh")->click();
        pump_ms(20);
        lines << snapshot(f.get(), QStringLiteral("refreshed at full height"));
        button(f.get(), "cmd_mode_2")->click();
        pump_ms(20);
        lines << snapshot(f.get(), QStringLiteral("dual"));
        button(f.get(), "cmd_mode_3")->click();
        pump_ms(20);
        lines << snapshot(f.get(), QStringLiteral("2x2"));
        QVERIFY2(msgs.messages.isEmpty(), qPrintable(msgs.texts().join(QLatin1Char('|'))));

        const QString stored = qEnvironmentVariable("TEVRAL_SOURCE_DIR") +
                               QStringLiteral("/tests/screens/widget_tree.txt");
        const QByteArray now = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
        if (qEnvironmentVariableIntValue("TEVRAL_UPDATE_SNAPSHOT")) {
            QFile out(stored);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(now);
            return;
        }
        QFile in(stored);
        QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(stored));
        const QStringList expected = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
        const QStringList actual = QString::fromUtf8(now).split(QLatin1Char('\n'));
        for (int i = 0; i < qMin(expected.size(), actual.size()); ++i)
            QCOMPARE(actual[i], expected[i]);
        QCOMPARE(actual.size(), expected.size());
    }
};

QTEST_MAIN(TestWidgetTree)
#include "test_widget_tree.moc"
