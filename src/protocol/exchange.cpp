// Sending commands, waiting for replies, the timed wait and the command log.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "app/frm_main.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"

void frm_main::show_message(const QString &text, QMessageBox::Icon icon,
                            const QString &informative) {
    QMessageBox box(icon, windowTitle().isEmpty() ? QStringLiteral("VELDRA") : windowTitle(), text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setObjectName(QStringLiteral("message"));
    box.setInformativeText(informative);
    box.exec();
}

void frm_main::cmd_clear_Click() {
    txt_cmd->set_text(QString());
    log_count = 0;
}

void frm_main::log_entry(const QString &text) {
    if (log_count > 30) cmd_clear_Click();
    txt_cmd->append_text(text + QLatin1Char(' '));
    ++log_count;
}

void frm_main::wait_sec(float seconds) {
    waiting = FLAG_TRUE;
    const qint64 start = clock_ms();
    // Wakes the event wait at the deadline, so the loop sleeps instead of spinning.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const qint64 now = clock_ms();
        const float elapsed = static_cast<float>(static_cast<double>(now - start) / 1000.0);
        if (elapsed > seconds) break;
        // The first whole millisecond at which the strict comparison can hold.
        const qint64 due = static_cast<qint64>(static_cast<double>(seconds) * 1000.0) + 1;
        const qint64 remaining = qMax<qint64>(0, due - (now - start));
        wake.start(static_cast<int>(qMin<qint64>(remaining, 60000)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    waiting = FLAG_FALSE;
}

// Refuses a send on a link that is down; true when the link may be used.
static bool link_up(frm_main *f) {
    if (f->link_type == 0 && !f->serial_open) {
        f->show_message(QStringLiteral("RS232 port is disconnected !"), QMessageBox::Critical);
        return false;
    }
    if (f->link_type == 1 && !f->eth_connected) {
        f->show_message(QStringLiteral("Ethernet port is disconnected !"), QMessageBox::Critical);
        return false;
    }
    return true;
}

void frm_main::send_cmd(const QString &cmd) {
    reply_ok = FLAG_FALSE;
    if (!link_up(this)) return;
    if (busy) return;

    log_entry(cmd);
    rx_count = 0;
    rx_buffer.clear();
    reply_ok = FLAG_FALSE;
    busy = FLAG_TRUE;

    int limit;
    if (link_type == 0) {
        MSComm1->wait_transmit_empty();
        MSComm1->write_block(frame_command(cmd));
        limit = 300;
    } else {
        wsk_client->send_text(cmd + QLatin1Char('\r'));
        if (cmd == QLatin1String("RST001") || cmd == QLatin1String("PWR001")) {
            wait_sec(1.0f);
            show_message(QStringLiteral("Need to re-connect Ethernet after VELDRA re-boots ready !"),
                         QMessageBox::Warning);
            img_start->setVisible(true);
            cmd_keypad->setVisible(false);
            cmd_disconn_eth_Click();
            limit = 0;
        } else {
            limit = 600;
        }
    }

    for (int i = 0; i <= limit && !reply_ok; ++i) wait_sec(0.001f);
    finish_exchange(cmd);
}

void frm_main::finish_exchange(const QString &cmd) {
    reply_ok = FLAG_TRUE;
    const QString mnemonic = rx_buffer.left(3);
    if (mnemonic == QLatin1String("ERR")) {
        // answered: the device refused the command
    } else if (mnemonic != cmd.left(3)) {
        reply_ok = FLAG_FALSE;
    } else {
        dispatch_reply(mnemonic);
    }

    rx_count = 0;
    rx_buffer.clear();
    busy = FLAG_FALSE;
    if (link_type == 0) {
        tim_rx->start();
        QCoreApplication::processEvents();
    }
}

void frm_main::send_cmd_nowait(const QString &cmd) {
    if (!link_up(this)) return;
    if (busy) return;
    busy = FLAG_TRUE;
    rx_count = 0;
    rx_buffer.clear();
    if (link_type == 0) {
        MSComm1->wait_transmit_empty();
        MSComm1->write_block(frame_command(cmd));
        tim_rx->start();
        QCoreApplication::processEvents();
    } else {
        wsk_client->send_text(cmd + QLatin1Char('\r'));
        QCoreApplication::processEvents();
    }
    busy = FLAG_FALSE;
    // A click run by the event pass above may have collected a reply that a receiver
    // left for a waiting send_cmd (it saw `busy`); no send_cmd is left to take it.
    if (rx_count >= REPLY_MIN_CHARS && rx_buffer.size() == 6 && reply_digits_ok(rx_buffer)) {
        dispatch_reply(rx_buffer.left(3), link_type == 1); // handlers read rx_buffer
        rx_count = 0;
        rx_buffer.clear();
    }
    if (link_type == 0 && !tim_rx->isActive()) tim_rx->start();
}
