// The TCP link in front of a serial device server: the telnet layer driven with the bytes
// a server sends (what it answers, what it passes on as the device's text, what it puts on
// the wire), and, against scripted peers, the greeting a server sends on connecting, the
// device's text right after connecting, a loss with the server's words, and the retry
// policy's telling of a server with no device from a client that takes the link.
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <optional>

#include "link/connection.h"
#include "link/reconnect.h"
#include "link/tcp_client.h"
#include "link/telnet_filter.h"

namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
} // namespace

class TestTcpLink : public QObject {
    Q_OBJECT
private slots:
    // A peer that never negotiates: every byte passes both ways untouched, 0xFF included.
    void plain_peer_passes_everything() {
        TelnetFilter t;
        QByteArray answer;
        QCOMPARE(t.from_peer("VER160\r", &answer), QByteArray("VER160\r"));
        // 0xFF at the end of a chunk waits for its next byte, which is no negotiation.
        QCOMPARE(t.from_peer(hex("41ff"), &answer), QByteArray("A"));
        QCOMPARE(t.from_peer("B", &answer), hex("ff42"));
        QVERIFY(answer.isEmpty());
        QVERIFY(!t.telnet());
        QCOMPARE(t.to_peer(hex("ff0d")), hex("ff0d"));
    }

    // ser2net in telnet mode (4.3, measured): WILL SGA, DO SGA, WILL ECHO, DONT ECHO,
    // DO BINARY, WILL BINARY, after its banner. BINARY and SGA are taken both ways,
    // ECHO refused; the banner passes on as text.
    void negotiation_answers() {
        TelnetFilter t;
        QByteArray answer;
        const QByteArray wire = "\r\nbanner\r\n" + hex("fffb03fffd03fffb01fffe01fffd00fffb00");
        QCOMPARE(t.from_peer(wire, &answer), QByteArray("\r\nbanner\r\n"));
        QVERIFY(t.telnet());
        QCOMPARE(answer, hex("fffd03"
                             "fffb03"
                             "fffe01"
                             "fffb00"
                             "fffd00"));
        QVERIFY(!t.line_set());
        // Any other option is refused, whichever way it is asked for.
        t.from_peer(hex("fffd18fffb1f"), &answer);
        QCOMPARE(answer, hex("fffc18fffe1f"));
    }

    // The scripted server offers COM-PORT-OPTION: the client takes it and sets the
    // device's line, 115200 (00 01 c2 00) 8N1 without flow control.
    void com_port_option_sets_the_line() {
        TelnetFilter t;
        QByteArray answer;
        QCOMPARE(t.from_peer(hex("fffd2c"), &answer), QByteArray());
        QCOMPARE(answer, hex("fffb2c"
                             "fffa2c0100 01c200 fff0"
                             "fffa2c0208fff0"
                             "fffa2c0301fff0"
                             "fffa2c0401fff0"
                             "fffa2c0501fff0"));
        QVERIFY(t.line_set());
        // The server's confirmation (SET-BAUDRATE answered, code 101) is not device text.
        QCOMPARE(t.from_peer(hex("fffa2c650001c200fff0") + "PWR001\r", &answer),
                 QByteArray("PWR001\r"));
    }

    // Inside a reply: a doubled IAC is one 0xFF byte, a command or a negotiation is
    // taken out, also when split over two chunks; sent 0xFF bytes are doubled.
    void iac_inside_the_stream() {
        TelnetFilter t;
        QByteArray answer;
        t.from_peer(hex("fffb03"), &answer);
        QCOMPARE(t.from_peer("VER1" + hex("fff1") + "6" + hex("ff"), &answer), QByteArray("VER16"));
        QCOMPARE(t.from_peer(hex("fb03") + "0\r", &answer), QByteArray("0\r"));
        QCOMPARE(t.from_peer(hex("41ffff42"), &answer), hex("41ff42"));
        QCOMPARE(t.to_peer(hex("41ff0d")), hex("41ffff0d"));
        // A new connection starts plain again.
        t.reset();
        QVERIFY(!t.telnet());
        QCOMPARE(t.to_peer(hex("ff")), hex("ff"));
    }

    // A banner on connecting goes to the greeting, and a command sent meanwhile leaves
    // after it; a banner that comes late (the server was slow) and arrives together with
    // the reply still never reaches the reception.
    void greeting_is_never_a_reply_data() {
        QTest::addColumn<bool>("late");
        QTest::newRow("on connecting") << false;
        QTest::newRow("late, with the reply") << true;
    }
    void greeting_is_never_a_reply() {
        QFETCH(bool, late);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.189")), 0));
        TcpClient client;
        QSignalSpy greetings(&client, &TcpClient::greeting);
        QString received;
        connect(&client, &TcpClient::received, this,
                [&](const QByteArray &b) { received += QString::fromLatin1(b); });
        client.set_remote(QStringLiteral("127.0.0.189"), server.serverPort());
        QVERIFY(client.connect_to_host());
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(QTest::qWaitFor([&] { return client.is_connected(); }, 5000));
        const QByteArray banner = "\r\nser2net port 4001 device /dev/ttyUSB0\r\n\r\n";
        if (!late) peer->write(banner);
        client.send_text(QStringLiteral("VER999\r"));
        QVERIFY(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 7; }, 5000));
        QCOMPARE(peer->readAll(), QByteArray("VER999\r"));
        QVERIFY(!client.in_greeting());
        peer->write(late ? banner + "VER160\r" : QByteArray("VER160\r"));
        QVERIFY(QTest::qWaitFor([&] { return received.size() >= 7; }, 5000));
        QCOMPARE(received, QStringLiteral("VER160\r"));
        QCOMPARE(greetings.size(), 1);
        QCOMPARE(greetings[0][0].toString().toLatin1(), banner);
    }

    // What a peer does right after accepting, and what the link makes of it: the
    // device's text (reply-shaped text is never a banner), the server's words, the loss.
    void peer_right_after_accepting_data() {
        QTest::addColumn<QByteArray>("says");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("greeting");
        QTest::addColumn<QString>("lost");
        QTest::newRow("reply at once") << QByteArray("EXT000\r") << false << "EXT000\r"
                                       << ""
                                       << "";
        QTest::newRow("banner, then a reply")
            << QByteArray("\r\nser2net port 4001\r\nEXT000\r") << false << "EXT000\r"
            << "\r\nser2net port 4001\r\n"
            << "";
        QTest::newRow("closes at once") << QByteArray() << true << ""
                                        << ""
                                        << "the server closed the connection";
        QTest::newRow("says why and closes")
            << QByteArray("Port's device already in use\r\n") << true << ""
            << "Port's device already in use\r\n"
            << "the server said \"Port's device already in use\" and closed the connection";
        QTest::newRow("says why without a line end and closes")
            << QByteArray("Port's device already in use") << true << ""
            << "Port's device already in use"
            << "the server said \"Port's device already in use\" and closed the connection";
        QTest::newRow("a reply cut short, then closes") << QByteArray("VER1") << true << "VER1"
                                                        << ""
                                                        << "the server closed the connection";
    }
    void peer_right_after_accepting() {
        QFETCH(QByteArray, says);
        QFETCH(bool, closes);
        QFETCH(QString, received);
        QFETCH(QString, greeting);
        QFETCH(QString, lost);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.180")), 0));
        TcpClient client;
        QString got, greeted;
        QStringList losses;
        connect(&client, &TcpClient::received, this,
                [&](const QByteArray &b) { got += QString::fromLatin1(b); });
        connect(&client, &TcpClient::greeting, this, [&](const QString &t) { greeted += t; });
        connect(&client, &TcpClient::lost, this, [&](const QString &why) { losses << why; });
        client.set_remote(QStringLiteral("127.0.0.180"), server.serverPort());
        QVERIFY(client.connect_to_host());
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        peer->write(says);
        peer->flush();
        if (closes) peer->disconnectFromHost();
        QVERIFY(QTest::qWaitFor([&] { return client.is_connected() || !losses.isEmpty(); }, 5000));
        if (closes) {
            QTRY_COMPARE_WITH_TIMEOUT(losses, QStringList{lost}, 5000);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(got, received, 5000);
            // A command sent now goes out at once: nothing waits for a banner any more.
            client.send_text(QStringLiteral("VER999\r"));
            QVERIFY(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 7; }, 5000));
            QCOMPARE(peer->readAll(), QByteArray("VER999\r"));
        }
        QCOMPARE(got, received);
        QCOMPARE(greeted, greeting);
        QCOMPARE(client.device_heard(), !received.isEmpty());
        // Closed by us: no loss to tell.
        const int told = int(losses.size());
        client.close();
        QCOMPARE(losses.size(), told);
    }

    // A command sent while nothing has come on a new connection goes out at once.
    void no_wait_for_a_banner_that_never_comes() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.181")), 0));
        TcpClient client;
        client.set_remote(QStringLiteral("127.0.0.181"), server.serverPort());
        QVERIFY(client.connect_to_host());
        QVERIFY(QTest::qWaitFor([&] { return client.is_connected(); }, 5000));
        QVERIFY(client.in_greeting());
        client.send_text(QStringLiteral("VER999\r"));
        QVERIFY(!client.in_greeting()); // not held: written in this call
        QVERIFY(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000));
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 7; }, 5000));
        QCOMPARE(peer->readAll(), QByteArray("VER999\r"));
    }

    // The retry policy: a server that closes before the device said anything has no
    // device behind it (retried, never counted as taken); a connection the device had
    // answered on, lost TAKEN_LOSSES times in the window, is being taken by another client.
    void server_without_device_is_not_a_taken_link() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.182")), 0));
        Connection c{QString()};
        c.set_link_type(LinkType::Ethernet);
        c.wsk_client()->set_remote(QStringLiteral("127.0.0.182"), server.serverPort());
        using Loss = std::optional<Reconnect::Loss>; // none: the scripted peer failed
        const auto lose_once = [&](bool device_answers) -> Loss {
            c.reconnect()->stop();
            if (!c.wsk_client()->connect_to_host()) return std::nullopt;
            if (!server.waitForNewConnection(5000)) return std::nullopt;
            QTcpSocket *peer = server.nextPendingConnection();
            if (!QTest::qWaitFor([&] { return c.wsk_client()->is_connected(); }, 5000))
                return std::nullopt;
            c.set_eth_connected(true);
            if (device_answers) {
                peer->write("VER160\r");
                if (!QTest::qWaitFor([&] { return c.wsk_client()->device_heard(); }, 5000))
                    return std::nullopt;
            }
            peer->disconnectFromHost();
            if (!QTest::qWaitFor([&] { return !c.wsk_client()->is_connected(); }, 5000))
                return std::nullopt;
            return c.reconnect()->lost();
        };
        for (int i = 0; i < Reconnect::TAKEN_LOSSES + 1; ++i)
            QVERIFY(lose_once(false) == Reconnect::Loss::NoDevice);
        QVERIFY(c.reconnect()->retrying());
        QVERIFY(!c.eth_connected());
        for (int i = 1; i < Reconnect::TAKEN_LOSSES; ++i)
            QVERIFY(lose_once(true) == Reconnect::Loss::Retrying);
        QVERIFY(lose_once(true) == Reconnect::Loss::Taken);
        QVERIFY(!c.reconnect()->retrying());
        c.reconnect()->stop();
    }
};

QTEST_GUILESS_MAIN(TestTcpLink)
#include "test_tcp_link.moc"
