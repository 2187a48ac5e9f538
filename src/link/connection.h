#pragma once
// The link to the device: the serial and TCP adapters and the link state. No widgets.

#include <QObject>
#include <QString>
#include <optional>

class DeviceLink;
class Reconnect;
class SerialPort;
class TcpClient;

// The option index of the interface choice is the value the settings file stores.
enum class LinkType : int { Rs232 = 0, Ethernet = 1 };

class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(const QString &program_folder, QObject *parent = nullptr);
    ~Connection() override;

    // The adapters, for the link area's controls and the headless client's opening.
    SerialPort *MSComm1() const { return MSComm1_; }
    TcpClient *wsk_client() const { return wsk_client_; }
    // Brings the selected link back after it was lost unasked.
    Reconnect *reconnect() const { return reconnect_; }

    LinkType link_type() const { return link_type_; }
    int port_number() const { return port_number_; }
    bool serial_open() const { return serial_open_; }
    bool eth_connected() const { return eth_connected_; }
    // 0..2 while the answer to the query's step is awaited, 3 once it is in; none while
    // no network query runs.
    std::optional<int> net_query_step() const { return net_query_step_; }
    // The link that link_type selects is usable.
    bool selected_link_up() const;
    // The link that link_type selects (or the one given to use_link).
    DeviceLink &selected() const;
    // Puts another kind of link in place of both adapters (tests use a fake one); null
    // gives them back.
    void use_link(DeviceLink *link);
    // The selected link was lost and is being tried again.
    bool reconnecting() const;

    void set_link_type(LinkType t) { link_type_ = t; }
    void set_port_number(int n) { port_number_ = n; }
    void set_serial_open(bool on) { serial_open_ = on; }
    void set_eth_connected(bool on) { eth_connected_ = on; }
    void set_net_query_step(std::optional<int> step) { net_query_step_ = step; }
    // Takes the selected link down at the link level: closed, its flag cleared.
    void drop_selected();

signals:
    // What the selected link received, and its loss (see DeviceLink); the other
    // link's are not passed on.
    void received(const QByteArray &bytes);
    void lost(const QString &why);
    void greeting(const QString &text);

private:
    void follow(DeviceLink *link);

    SerialPort *MSComm1_;
    TcpClient *wsk_client_;
    Reconnect *reconnect_;
    LinkType link_type_ = LinkType::Rs232;
    int port_number_ = 1;
    bool serial_open_ = false;
    bool eth_connected_ = false;
    std::optional<int> net_query_step_;
    DeviceLink *other_link_ = nullptr;
};
