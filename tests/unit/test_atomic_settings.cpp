// The settings file is replaced whole: a writer killed at any moment leaves the old
// or the new content, never a torn file.
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/types.h>

#include "platform/value_list.h"

class AtomicSettings : public QObject {
    Q_OBJECT
private slots:
    void kill_at_any_moment() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("TEVRAL_QX.ini"));
        const QByteArray a =
            format_settings({0, 1, 0, QStringLiteral("first address, written in full")});
        const QByteArray b = format_settings({1, 9, true, QString(200, QLatin1Char('x'))});
        QRandomGenerator rng(42);
        int seen_a = 0, seen_b = 0;
        for (int round = 0; round < 40; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(TEVRAL_SETTINGS_WRITER), {path});
            QVERIFY(writer.waitForStarted());
            QFile::remove(path);
            // once it is writing, kill it at a random moment
            for (int i = 0; i < 5000 && !QFile::exists(path); ++i) QTest::qSleep(1);
            QTest::qSleep(rng.bounded(25));
            ::kill(pid_t(writer.processId()), SIGKILL);
            writer.waitForFinished();
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray got = f.readAll();
            QVERIFY2(got == a || got == b, got.left(80).constData());
            (got == a ? seen_a : seen_b)++;
            Settings s;
            QString err;
            QVERIFY(read_settings_file(path, &s, &err));
        }
        QCOMPARE(seen_a + seen_b, 40);
    }
};

QTEST_GUILESS_MAIN(AtomicSettings)
#include "test_atomic_settings.moc"
