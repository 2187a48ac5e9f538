#pragma once
// Bringing a lost link back. When the link to the device went down without anyone
// asking (the device closed or reset the TCP connection, the serial device vanished),
// the owner calls lost(); the same link is then tried again (TCP every 2 s, serial as
// soon as the device path is back) until it is up, or until stop(). No widgets: the
// panel, veldra-ctl and the bridge share this policy and only show what it does.

#include <QElapsedTimer>
#include <QList>
#include <QObject>

class Connection;
class QTimer;

class Reconnect : public QObject {
    Q_OBJECT
public:
    static constexpr int TCP_RETRY_MS = 2000;
    // How often a vanished serial device's path is looked at.
    static constexpr int SERIAL_POLL_MS = 250;
    // The device serves one TCP client, and a new client takes the connection from the
    // old one: a link lost this often within the window is being taken by another
    // program, and retrying would only take it back and forth.
    static constexpr int TAKEN_LOSSES = 3;
    static constexpr int TAKEN_WINDOW_MS = 60000;

    explicit Reconnect(Connection &link, QObject *parent = nullptr);

    enum class Loss {
        Retrying, // the link is tried again
        NoDevice, // a server took the connection and closed it before the device said
                  // anything (a device server with no device behind it): tried again,
                  // and not counted as taken
        Taken     // the TAKEN_LOSSES-th loss of a connection the device had answered on,
                  // within the window: another client keeps taking it; not retried
    };
    // The selected link went down unasked: takes it down at the link level (socket
    // closed, port closed, flags cleared) and, unless it was taken, starts retrying.
    Loss lost();
    // Ends the retries (the operator disconnected, connected by hand or chose
    // another link).
    void stop();
    bool retrying() const { return retrying_; }

signals:
    // The link is up again (flags set, serial input discarded); not emitted for a
    // link brought up by anyone else.
    void restored();

private:
    void attempt();
    void tcp_connected();

    Connection &link_;
    QTimer *timer_;
    bool retrying_ = false;
    QElapsedTimer clock_;
    QList<qint64> tcp_losses_; // clock_ times of the recent TCP losses
};
