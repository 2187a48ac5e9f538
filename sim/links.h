// The two ways a panel reaches the simulated device: a pseudo-terminal that
// stands in for the RS-232 port, and one accepted TCP connection.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;
class QTcpSocket;

namespace veldra {

class Link : public QObject {
    Q_OBJECT
public:
    Link(const QString &name, QObject *parent) : QObject(parent), m_name(name) {}
    QString name() const { return m_name; }

    virtual void write(const QByteArray &bytes) = 0;
    // Ends the link after what was written has gone out. A pty cannot be
    // "hung up" by the device, so it ignores this.
    virtual void closeLink() = 0;
    virtual bool isTcp() const = 0;

signals:
    void received(const QByteArray &bytes);
    void closed();

private:
    QString m_name;
};

class PtyLink : public Link {
    Q_OBJECT
public:
    // Opens a pseudo-terminal pair in raw mode and points `linkPath` at the
    // slave. Returns nullptr and sets `error` on failure.
    static PtyLink *create(const QString &linkPath, QString *error, QObject *parent);
    ~PtyLink() override;

    QString slavePath() const { return m_slavePath; }
    void write(const QByteArray &bytes) override;
    void closeLink() override {}
    bool isTcp() const override { return false; }

    // Removes the symlink if it still points at our slave.
    void removeLink();

private:
    PtyLink(QObject *parent);
    void onReadable();
    void onWritable();

    int m_master = -1;
    int m_slave = -1; // held open for the whole run: see create()
    QString m_linkPath;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
};

class TcpLink : public Link {
    Q_OBJECT
public:
    TcpLink(QTcpSocket *socket, QObject *parent);
    ~TcpLink() override;

    void write(const QByteArray &bytes) override;
    void closeLink() override;
    bool isTcp() const override { return true; }

private:
    QPointer<QTcpSocket> m_socket;
    bool m_closedEmitted = false;
};

} // namespace veldra
