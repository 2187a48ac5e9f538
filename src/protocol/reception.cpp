// Collecting replies from either link, cutting them out and dispatching them.

#include <QCoreApplication>

#include "app/frm_main.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"

bool frm_main::dispatch_reply(const QString &m, bool include_ext) {
    using Handler = void (frm_main::*)();
    struct Entry {
        const char *mnemonic;
        Handler handler;
    };
    static const Entry table[] = {
        {"AUA", &frm_main::rx_aua}, {"AUB", &frm_main::rx_aub}, {"AUD", &frm_main::rx_aud},
        {"AUE", &frm_main::rx_aue}, {"BEH", &frm_main::rx_beh}, {"BEV", &frm_main::rx_bev},
        {"BEZ", &frm_main::rx_bez}, {"BRI", &frm_main::rx_bri}, {"CAL", &frm_main::rx_cal},
        {"CON", &frm_main::rx_con}, {"EXT", &frm_main::rx_ext}, {"HUE", &frm_main::rx_hue},
        {"INP", &frm_main::rx_inp}, {"LCK", &frm_main::rx_lck}, {"MOD", &frm_main::rx_mod},
        {"OUT", &frm_main::rx_out}, {"PWR", &frm_main::rx_pwr}, {"RES", &frm_main::rx_res},
        {"RST", &frm_main::rx_rst}, {"SAT", &frm_main::rx_sat}, {"SAV", &frm_main::rx_sav},
        {"VER", &frm_main::rx_ver},
    };
    for (const Entry &e : table) {
        if (m != QLatin1String(e.mnemonic)) continue;
        if (e.handler == &frm_main::rx_ext && !include_ext) break;
        ++dispatch_count;
        last_dispatch = m;
        (this->*e.handler)();
        return true;
    }
    return false;
}

// Shared by both receivers once 7 or more characters are collected: log, test the
// digits, and either leave the reply to a waiting send_cmd or dispatch it here.
// Returns true when the reply was left to send_cmd.
static bool accept_collected(frm_main *f, bool tcp) {
    f->log_entry(f->rx_buffer);
    if (!reply_digits_ok(f->rx_buffer)) {
        f->reply_ok = FLAG_FALSE;
        return false;
    }
    f->rx_buffer.truncate(6);
    const QString mnemonic = f->rx_buffer.left(3);
    f->reply_ok = FLAG_TRUE;
    if (f->busy) return true;
    if (!f->dispatch_reply(mnemonic, tcp) && mnemonic != QLatin1String("ERR"))
        f->reply_ok = FLAG_FALSE;
    return false;
}

void frm_main::tim_rx_Timer() {
    if (MSComm1->in_buffer_count() == 0) return;
    tim_rx->stop();
    QCoreApplication::processEvents();
    serial_received(MSComm1->read_all());
}

void frm_main::serial_received(const QByteArray &bytes) {
    for (char b : bytes) {
        ++rx_count;
        rx_buffer.append(QChar::fromLatin1(b));
        // Only the first characters of a collection are ever used, so a device that
        // floods never grows the buffer (or a log entry) past this.
        if (rx_buffer.size() >= RX_KEEP) break;
    }

    if (rx_count <= 6) {
        tim_rx->start();
        QCoreApplication::processEvents();
        return;
    }

    if (net_query_step != NOT_REPORTED && rx_count == 16) {
        log_entry(rx_buffer);
        net_query_step = 3;
        busy = FLAG_FALSE;
        tim_rx->start();
        QCoreApplication::processEvents();
        return;
    }

    if (accept_collected(this, false)) return; // send_cmd dispatches and re-enables the poll

    rx_count = 0;
    rx_buffer.clear();
    busy = FLAG_FALSE;
    tim_rx->start();
    QCoreApplication::processEvents();
}

void frm_main::wsk_client_DataArrival() { tcp_received(wsk_client->get_data()); }

void frm_main::tcp_received(const QString &data) {
    rx_count = static_cast<qint16>(qMin<qint64>(qint64(rx_count) + data.size(), 30000));
    if (rx_buffer.size() < RX_KEEP) rx_buffer.append(data.left(RX_KEEP - rx_buffer.size()));
    if (rx_count < 7) return;
    if (accept_collected(this, true)) return;
    rx_count = 0;
    rx_buffer.clear();
    busy = FLAG_FALSE;
}
