// Seeded random reception harness: arbitrary byte streams, cut into arbitrary
// pieces, go through both receivers and the reply dispatch in every mode, while a
// send_cmd waits and while none does. Every state the panel mirrors must stay
// within its controls, and nothing may crash or hang. FUZZ_ITERATIONS sets the
// count (the suite runs a small one; bench/ runs a million).
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include "panel_access.h"
#include "sim_fixture.h"

namespace {
const char *const MNEMONICS[] = {"AUA", "AUB", "AUD", "AUE", "BEH", "BEV", "BEZ", "BRI",
                                 "CAL", "CON", "EXT", "HUE", "INP", "LCK", "MOD", "OUT",
                                 "PWR", "RES", "RST", "SAT", "SAV", "VER", "ERR", "MNU"};
const char *const COMMANDS[] = {"VER999", "OUT001", "INP999", "MOD002", "BRI991", "BEH998",
                                "RES999", "AUD001", "CAL002", "SAV003", "RST002", "MNO001"};

QByteArray random_stream(QRandomGenerator &rng) {
    QByteArray s;
    const int parts = 1 + rng.bounded(4);
    for (int p = 0; p < parts; ++p) {
        switch (rng.bounded(5)) {
        case 0: { // random bytes
            const int n = rng.bounded(40);
            for (int i = 0; i < n; ++i) s.append(char(rng.bounded(256)));
            break;
        }
        case 1: // a network-address answer
            s.append(QByteArray::number(rng.bounded(1000)).rightJustified(15, '.') + '\r');
            break;
        default: { // a reply-shaped line with any digits
            s.append(MNEMONICS[rng.bounded(int(std::size(MNEMONICS)))]);
            for (int i = 0; i < 3; ++i)
                s.append(rng.bounded(10) ? char('0' + rng.bounded(10)) : char(rng.bounded(256)));
            if (rng.bounded(8)) s.append('\r');
        }
        }
    }
    return s;
}

// Every value a reply can have written must name something that exists.
QString broken_invariant(frm_main *f) {
    if (f->switching().cur_output() < 1 || f->switching().cur_output() > 4) return "cur_output";
    if (f->switching().cur_input() < 1 || f->switching().cur_input() > 4) return "cur_input";
    if (f->switching().mode_digit() < 1 || f->switching().mode_digit() > 3) return "cur_mode";
    if (f->adjust().cbo_output->currentIndex() < -1 ||
        f->adjust().cbo_output->currentIndex() >= f->adjust().cbo_output->count())
        return "cbo_output";
    if (f->exchange().rx_buffer().size() > Exchange::RX_KEEP) return "rx_buffer";
    if (f->exchange().log_count() > 31) return "log_count";
    if (f->txt_cmd->text().size() > 31 * (Exchange::RX_KEEP + 1)) return "txt_cmd";
    for (auto *arr :
         {&f->adjust().hsr_bri, &f->adjust().hsr_con, &f->adjust().hsr_hue, &f->adjust().hsr_sat})
        for (int n = 1; n <= 4; ++n)
            if ((*arr)[n]->value() < 0 || (*arr)[n]->value() > 100) return "picture slider";
    if (f->adjust().hsr_bezel_h->maximum() > 254 || f->adjust().hsr_bezel_v->maximum() > 254)
        return "bezel max";
    if (f->ui_ready() != true) return "ui_ready";
    return {};
}
} // namespace

class FuzzReception : public QObject {
    Q_OBJECT
private slots:
    void corpus_regressions() {
        // Inputs kept from earlier runs: each is fed whole and byte by byte, in each mode.
        QDir dir(QStringLiteral(TEVRAL_FUZZ_CORPUS));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        ProgramFolder folder(1, 1, false);
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            for (int mode = 1; mode <= 3; ++mode) {
                TestProbe::set_mode(*f, qint16(mode));
                f->exchange().serial_received(data);
                f->exchange().tcp_received(QString::fromLatin1(data));
                for (char c : data) f->exchange().serial_received(QByteArray(1, c));
                TestProbe::set_reception(*f, QString(), 0);
                const QString bad = broken_invariant(f.get());
                QVERIFY2(bad.isEmpty(), qPrintable(name + ": " + bad));
            }
        }
    }

    void random_streams() {
        const int iterations = qEnvironmentVariableIntValue("FUZZ_ITERATIONS") > 0
                                   ? qEnvironmentVariableIntValue("FUZZ_ITERATIONS")
                                   : 20000;
        const quint32 seed = qEnvironmentVariableIntValue("FUZZ_SEED") > 0
                                 ? quint32(qEnvironmentVariableIntValue("FUZZ_SEED"))
                                 : 20261208u;
        QRandomGenerator rng(seed);
        ProgramFolder folder(1, 1, true);
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QElapsedTimer clock;
        clock.start();
        qint64 slowest = 0;
        for (int it = 0; it < iterations; ++it) {
            QElapsedTimer step;
            step.start();
            TestProbe::set_mode(*f, qint16(1 + rng.bounded(3)));
            f->connection().set_link_type(LinkType(qint16(rng.bounded(2))));
            f->connection().set_net_query_step(rng.bounded(4) ? std::optional<int>()
                                                              : std::optional<int>(rng.bounded(3)));
            if (rng.bounded(6) == 0) f->adjust().set_bezel_max_pending(true);
            const bool waiting_send = rng.bounded(3) == 0;
            if (waiting_send) TestProbe::set_busy(*f, true);
            const QByteArray stream = random_stream(rng);
            for (int pos = 0; pos < stream.size();) {
                const int piece = 1 + rng.bounded(qMax(1, stream.size() - pos));
                const QByteArray chunk = stream.mid(pos, piece);
                pos += piece;
                if (f->connection().link_type() == LinkType::Rs232)
                    f->exchange().serial_received(chunk);
                else
                    f->exchange().tcp_received(QString::fromLatin1(chunk));
            }
            if (waiting_send) {
                f->exchange().finish_exchange(
                    QString::fromLatin1(COMMANDS[rng.bounded(int(std::size(COMMANDS)))]));
            } else if (rng.bounded(4) == 0) {
                TestProbe::set_reception(*f, QString(), 0);
                TestProbe::set_busy(*f, false);
            }
            f->connection().set_net_query_step(std::nullopt);
            slowest = qMax(slowest, step.elapsed());
            const QString bad = broken_invariant(f.get());
            if (!bad.isEmpty())
                QFAIL(qPrintable(QStringLiteral("iteration %1 (seed %2): %3, input %4")
                                     .arg(it)
                                     .arg(seed)
                                     .arg(bad, QString::fromLatin1(stream.toHex()))));
        }
        QVERIFY(msgs.messages.isEmpty());
        // no input may make the reception wait: each must be handled at once
        QVERIFY2(slowest < 2000, qPrintable(QString::number(slowest)));
        qInfo("%d inputs in %lld ms, slowest %lld ms", iterations, clock.elapsed(), slowest);
    }
};

QTEST_MAIN(FuzzReception)
#include "fuzz_reception.moc"
