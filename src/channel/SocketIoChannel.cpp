#include "channel/SocketIoChannel.h"

#include "sio/sio_client.h"

namespace orvane {

SocketIoChannel::SocketIoChannel() : client_(std::make_unique<sio::client>()) {
    client_->set_socket_open_listener([this](const std::string&) { client_->socket("")->emit("ready"); });
    client_->socket("")->on(
        "message", [this](const std::string&, const sio::message::ptr& data, bool, sio::message::list&) {
            // Anything but a string argument (number, object, binary, nothing) is not a command.
            if (data && data->get_flag() == sio::message::flag_string && receiver_) {
                receiver_(data->get_string());
            }
        });
}

SocketIoChannel::~SocketIoChannel() {
    client_->sync_close();
}

void SocketIoChannel::setCommandReceiver(CommandReceiver receiver) {
    receiver_ = std::move(receiver);
}

void SocketIoChannel::connect(const std::string& url) {
    client_->connect(url);
}

void SocketIoChannel::emitEvent(const std::string& event, const std::vector<std::string>& args) {
    sio::message::list list;
    for (const std::string& arg : args) {
        list.push(sio::string_message::create(arg));
    }
    client_->socket("")->emit(event, list);
}

} // namespace orvane
