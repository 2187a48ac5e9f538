#include "panel_mirror.h"

#include <QJsonArray>

#include "panel_access.h"
#include "protocol/reply_kinds.h"

namespace {

// Collects "name: panel X, device Y" lines for the values that differ.
class Diff {
public:
    template <typename P, typename D>
    void eq(const QString &what, const P &panel, const D &device) {
        if (!(panel == device))
            lines << QStringLiteral("%1: panel %2, device %3").arg(what, show(panel), show(device));
    }
    void check(const QString &what, bool ok, const QString &detail) {
        if (!ok) lines << QStringLiteral("%1: %2").arg(what, detail);
    }
    QStringList lines;

private:
    static QString show(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }
    static QString show(const char *s) { return show(QString::fromLatin1(s)); }
    static QString show(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }
    template <typename T> static QString show(const T &v) { return QString::number(v); }
};

template <std::size_t N> int checked_index(const std::array<QRadioButton *, N> &group) {
    for (std::size_t i = 0; i < N; ++i)
        if (group[i] && group[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

QString colour_name(const QColor &c) {
    if (c == PanelStyle::selection_colour()) return QStringLiteral("selection");
    if (c == PanelStyle::face()) return QStringLiteral("face");
    if (c == PanelStyle::busy_colour()) return QStringLiteral("busy");
    return c.name();
}

// The bitmap a button shows, as its file name ("lock.bmp"), or "(built-in)".
QString picture_name(const ColorButton *b) {
    const QString p = b->picture();
    if (p.isEmpty()) return QStringLiteral("(built-in)");
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

// A value as a reply writes it into a value box: one leading blank.
QString reply_text(int v) { return QLatin1Char(' ') + QString::number(v); }

} // namespace

QStringList mirror_mismatches(frm_main *f, const QJsonObject &st, bool with_picture) {
    Diff d;
    if (st.isEmpty()) return {QStringLiteral("device state: empty or unreadable")};

    // ---- firmware version: d.dd
    const int version = st[QLatin1String("version")].toInt();
    d.eq(QStringLiteral("txt_ver"), f->admin().txt_ver->text(),
         QStringLiteral("%1.%2").arg(version / 100).arg(version % 100, 2, 10, QLatin1Char('0')));

    // ---- audio
    const QJsonObject audio = st[QLatin1String("audio")].toObject();
    d.eq(QStringLiteral("opt_da selected"), checked_index(f->adjust().opt_da),
         audio[QLatin1String("dual_a")].toInt());
    d.eq(QStringLiteral("opt_db selected"), checked_index(f->adjust().opt_db),
         audio[QLatin1String("dual_b")].toInt());
    d.eq(QStringLiteral("opt_audio selected"), checked_index(f->adjust().opt_audio),
         audio[QLatin1String("edid")].toInt());
    const int audio_on = audio[QLatin1String("on")].toInt();
    d.eq(QStringLiteral("audio_state"), int(f->adjust().audio_state()), audio_on);
    d.eq(QStringLiteral("cmd_mute picture"), picture_name(f->adjust().cmd_mute),
         QString::fromLatin1(audio_on ? "speaker_on.bmp" : "speaker_off.bmp"));

    // ---- bezel (the frame itself follows mode and power, checked below)
    const QJsonObject bezel = st[QLatin1String("bezel")].toObject();
    const int bezel_on = bezel[QLatin1String("on")].toInt();
    d.eq(QStringLiteral("opt_bezel_onoff selected"), checked_index(f->adjust().opt_bezel_onoff),
         bezel_on);
    d.eq(QStringLiteral("hsr_bezel_h enabled"),
         f->adjust().hsr_bezel_h->isEnabledTo(f->frames().fra_bezel), bezel_on == 1);
    d.eq(QStringLiteral("hsr_bezel_v enabled"),
         f->adjust().hsr_bezel_v->isEnabledTo(f->frames().fra_bezel), bezel_on == 1);
    d.eq(QStringLiteral("hsr_bezel_h value"), f->adjust().hsr_bezel_h->value(),
         bezel[QLatin1String("h")].toInt());
    d.eq(QStringLiteral("hsr_bezel_v value"), f->adjust().hsr_bezel_v->value(),
         bezel[QLatin1String("v")].toInt());
    d.eq(QStringLiteral("txt_bezel_h"), f->adjust().txt_bezel_h->text(),
         reply_text(bezel[QLatin1String("h")].toInt()));
    d.eq(QStringLiteral("txt_bezel_v"), f->adjust().txt_bezel_v->text(),
         reply_text(bezel[QLatin1String("v")].toInt()));
    d.eq(QStringLiteral("hsr_bezel_h maximum"), f->adjust().hsr_bezel_h->maximum(),
         bezel[QLatin1String("max_h")].toInt());
    d.eq(QStringLiteral("hsr_bezel_v maximum"), f->adjust().hsr_bezel_v->maximum(),
         bezel[QLatin1String("max_v")].toInt());
    d.eq(QStringLiteral("bezel_max_pending"), int(f->adjust().bezel_max_pending()), int(false));

    // ---- output resolution
    d.eq(QStringLiteral("cbo_output index"), f->adjust().cbo_output->currentIndex(),
         st[QLatin1String("resolution")].toInt() - 1);

    // ---- power: state, picture, and the seven frames as power and mode call for
    const int power = st[QLatin1String("power")].toInt();
    const int mode = st[QLatin1String("mode")].toInt();
    const bool on = power == 1;
    d.eq(QStringLiteral("power_state"), int(f->admin().power_state()), power);
    d.eq(QStringLiteral("cmd_pwr picture"), picture_name(f->admin().cmd_pwr),
         QString::fromLatin1(on ? "power_on.bmp" : "power_standby.bmp"));
    if (on) d.eq(QStringLiteral("cmd_pwr enabled"), f->admin().cmd_pwr->isEnabled(), true);
    d.eq(QStringLiteral("cmd_fact_reset enabled"), f->admin().cmd_fact_reset->isEnabled(), true);
    d.eq(QStringLiteral("fra_btn enabled"), f->frames().fra_btn->isEnabled(), on);
    d.eq(QStringLiteral("fra_recall_save enabled"), f->frames().fra_recall_save->isEnabled(), on);
    d.eq(QStringLiteral("fra_pic enabled"), f->frames().fra_pic->isEnabled(), on);
    d.eq(QStringLiteral("fra_audio enabled"), f->frames().fra_audio->isEnabled(), on);
    d.eq(QStringLiteral("fra_dual_a enabled"), f->frames().fra_dual_a->isEnabled(),
         on && mode == 2);
    d.eq(QStringLiteral("fra_dual_b enabled"), f->frames().fra_dual_b->isEnabled(),
         on && mode == 2);
    d.eq(QStringLiteral("fra_bezel enabled"), f->frames().fra_bezel->isEnabled(), on && mode == 3);

    // ---- front-panel lock
    const int lock = st[QLatin1String("lock")].toInt();
    d.eq(QStringLiteral("lock_state"), int(f->admin().lock_state()), lock);
    d.eq(QStringLiteral("cmd_lock picture"), picture_name(f->admin().cmd_lock),
         QString::fromLatin1(lock ? "lock.bmp" : "unlock.bmp"));

    // ---- display mode and the layout it calls for
    d.eq(QStringLiteral("cur_mode"), int(f->switching().mode_digit()), mode);
    for (int m = 1; m <= 3; ++m) {
        d.eq(QStringLiteral("cmd_mode_%1 colour").arg(m),
             colour_name(f->switching().cmd_mode[m]->backColor()),
             QString::fromLatin1(m == mode ? "selection" : "face"));
        d.eq(QStringLiteral("cmd_mode_%1 enabled").arg(m),
             f->switching().cmd_mode[m]->isEnabledTo(f->frames().fra_btn), true);
    }
    static const char *const out_captions[4][4] = {
        {}, {"OUT1", "OUT2", "OUT3", "OUT4"}, {"AL", "AR", "BL", "BR"}, {"", "", "", ""}};
    static const char *const row_captions[4][4] = {
        {}, {"ALL", "", "", ""}, {"AL", "AR", "BL", "BR"}, {"OUT 1", "OUT 2", "OUT 3", "OUT 4"}};
    const bool known_mode = mode >= 1 && mode <= 3;
    d.check(QStringLiteral("device mode"), known_mode, QStringLiteral("%1 is no mode").arg(mode));
    if (known_mode) {
        for (int o = 1; o <= 4; ++o)
            d.eq(QStringLiteral("cmd_out_%1 caption").arg(o), f->switching().cmd_out[o]->text(),
                 QString::fromLatin1(out_captions[mode][o - 1]));
        for (PictureParam p :
             {PictureParam::Con, PictureParam::Bri, PictureParam::Sat, PictureParam::Hue}) {
            const PictureFamily fam = f->adjust().picture_family(p);
            const QString name = QLatin1String(picture_kind(static_cast<int>(fam.param)).key);
            for (int row = 1; row <= 4; ++row) {
                d.eq(QStringLiteral("lab_%1_%2").arg(name).arg(row), (*fam.lab)[row]->text(),
                     QString::fromLatin1(row_captions[mode][row - 1]));
                if (row == 1) continue; // row 1 is live in every mode
                d.eq(QStringLiteral("hsr_%1_%2 enabled").arg(name).arg(row),
                     (*fam.hsr)[row]->isEnabledTo(fam.fra), mode != 1);
                if (mode == 1)
                    d.eq(QStringLiteral("txt_%1_%2").arg(name).arg(row), (*fam.txt)[row]->text(),
                         QString());
            }
        }
    }

    // ---- routing: the selected output and its input; one line per output in Matrix
    // and Dual, none in 2X2
    const QJsonArray routing = st[QLatin1String("routing")].toArray();
    const int output = st[QLatin1String("output")].toInt();
    d.check(QStringLiteral("device routing"), routing.size() == 4 && output >= 1 && output <= 4,
            QStringLiteral("unexpected shape"));
    if (routing.size() == 4 && output >= 1 && output <= 4) {
        const int input = routing[output - 1].toInt();
        d.eq(QStringLiteral("cur_output"), int(f->switching().cur_output()), output);
        d.eq(QStringLiteral("cur_input"), int(f->switching().cur_input()), input);
        for (int o = 1; o <= 4; ++o)
            d.eq(QStringLiteral("cmd_out_%1 colour").arg(o),
                 colour_name(f->switching().cmd_out[o]->backColor()),
                 QString::fromLatin1(o == output ? "selection" : "face"));
        for (int i = 1; i <= 4; ++i)
            d.eq(QStringLiteral("cmd_inp_%1 colour").arg(i),
                 colour_name(f->switching().cmd_inp[i]->backColor()),
                 QString::fromLatin1(i == input ? "selection" : "face"));
        const char letters[4] = {'a', 'b', 'c', 'd'};
        for (int o = 1; o <= 4; ++o) {
            QStringList shown;
            for (int i = 1; i <= 4; ++i)
                if (!f->switching().lines_of(o)[i]->isHidden()) shown << QString::number(i);
            const QString expected =
                (mode == 1 || mode == 2) ? QString::number(routing[o - 1].toInt()) : QString();
            d.eq(QStringLiteral("line_%1 shown").arg(QLatin1Char(letters[o - 1])),
                 shown.join(QLatin1Char(',')), expected);
        }
    }

    // ---- picture values: the Matrix value in row 1, or the four rows
    if (with_picture && known_mode) {
        const QJsonObject matrix = st[QLatin1String("matrix")].toObject();
        const QJsonArray rows = st[QLatin1String("rows")].toArray();
        for (PictureParam p :
             {PictureParam::Con, PictureParam::Bri, PictureParam::Sat, PictureParam::Hue}) {
            const PictureFamily fam = f->adjust().picture_family(p);
            const QString name = QLatin1String(picture_kind(static_cast<int>(fam.param)).key);
            const int last_row = mode == 1 ? 1 : 4;
            for (int row = 1; row <= last_row; ++row) {
                const int v = (mode == 1 ? matrix : rows[row - 1].toObject())[name].toInt();
                d.eq(QStringLiteral("hsr_%1_%2 value").arg(name).arg(row), (*fam.hsr)[row]->value(),
                     v);
                d.eq(QStringLiteral("txt_%1_%2").arg(name).arg(row), (*fam.txt)[row]->text(),
                     reply_text(v));
            }
        }
    }
    return d.lines;
}
