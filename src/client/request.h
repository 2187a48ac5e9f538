#pragma once
// What veldra-ctl was asked to do: the command line parsed and checked into a
// request, and the device commands that carry it out. Pure functions, no I/O.

#include <QString>
#include <QStringList>

// Exit status of veldra-ctl.
enum ExitCode {
    EXIT_DONE = 0,
    EXIT_REFUSED = 1, // the device answered ERR
    EXIT_USAGE = 2,   // bad usage; nothing was sent
    EXIT_NO_REPLY = 3,
    EXIT_NO_LINK = 4,
    EXIT_VENUE = 5, // the venue file could not be written (or is broken)
};

enum class Verb {
    Help,
    Status,
    Route,
    Output,
    Mode,
    PresetSave,
    PresetRecall,
    Power,
    Lock,
    Mute,
    Picture,
    Bezel,
    BezelH,
    BezelV,
    AudioEdid,
    AudioDualA,
    AudioDualB,
    Resolution,
    Menu,
    Version,
    Network,
    Send,
    Watch,
    Ports,
    SceneSave,
    SceneRecall,
    SceneList,
    SceneDelete,
    SceneShow,
    Name,
};

// The link a request names; Saved means the one in the panel's settings file.
struct LinkChoice {
    enum class Kind { Saved, Com, Device, Tcp } kind = Kind::Saved;
    int port_number = 0; // Com: 1..9
    QString device;      // Device: a path such as /dev/ttyUSB0
    QString host;        // Tcp
    quint16 tcp_port = 23;
};

struct Request {
    Verb verb = Verb::Help;
    LinkChoice link;
    bool json = false;
    bool quiet = false;
    bool reconnect = false; // watch: go on across link loss
    // The command's numbers, in the order given (route: output, input; picture: row,
    // level; mode: 1..3; on/off and choices: the argument digit the device takes).
    int a = 0;
    int b = 0;
    int part = 0;     // picture: the PictureParam
    QString mnemonic; // send: the whole command
    // route: an output or input given by its venue name (a and b are then 0 until
    // resolve_route_names); scene: its name; name: the new name (a 0 input, 1 output; b N).
    QString out_name, in_name, text;
    QString venue_file; // --venue: the venue file instead of the per-user or system one
};

// The most resolution numbers a list can offer here: the two digits a RES reply carries.
constexpr int RESOLUTION_LIMIT = 99;
// The panel's picture sliders and bezel sliders.
constexpr int PICTURE_MAX = 100;
constexpr int BEZEL_MAX = 254;

// Parses the arguments (without the program name). `resolution_count` is the number
// of names in the resolution list; without one (0) `resolution` is refused, giving
// `list_fault` (which names the file) as the reason. False with a one-line reason for
// bad usage.
bool parse_request(const QStringList &args, int resolution_count, Request *r, QString *error,
                   const QString &list_fault = QString());

// The resolution list beside the programs in `folder`, which bounds `resolution N`; empty,
// with `fault` naming the file and why, when it cannot be read or lists nothing.
QStringList program_resolutions(const QString &folder, QString *fault);

// An IP address or a syntactically valid host name: anything else is refused before a
// name server is asked about it.
bool well_formed_host(const QString &host);

// The value of --port (COMn or a device path) or --host (HOST[:PORT]) into `link`.
bool parse_link_option(const QString &name, const QString &value, LinkChoice *link, QString *error);

// "COM3" for a port number, the path for a device, "host:port" for TCP.
QString link_name(const LinkChoice &link);

// The commands of a request whose form does not depend on the device's mode, in the
// order they go out; empty for status, picture, resolution, version, network, watch.
QStringList fixed_commands(const Request &r);

// Why a request cannot go out in the device's present mode (empty when it can): the
// picture rows 2..4 exist only in Dual and 2X2, resolutions 5 and 6 only in Matrix.
QString mode_refusal(const Request &r, int mode);

// The request's commands depend on the device's display mode (asked with MOD999).
bool needs_mode(const Request &r);

QString usage_text();

struct Venue;
// Turns the venue names of a route request into numbers, in any case; false (and the
// names there are) for a name that is unknown or names more than one.
bool resolve_route_names(Request *r, const Venue &v, QString *error);
// The requests that need no device: they read or change only the venue file.
bool venue_only(const Request &r);
