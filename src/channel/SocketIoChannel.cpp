#include "channel/SocketIoChannel.h"

#include "commands/InputLimits.h"
#include "sio/sio_client.h"

#include <iostream>

namespace orvane {

SocketIoChannel::SocketIoChannel(std::string token)
    : client_(std::make_unique<sio::client>()), token_(std::move(token)) {
    client_->set_socket_open_listener([this](const std::string&) { client_->socket("")->emit("ready"); });
    client_->socket("")->on(
        "message", [this](const std::string&, const sio::message::ptr& data, bool, sio::message::list&) {
            // Anything but a string argument (number, object, binary, nothing) is not a command.
            if (!data || data->get_flag() != sio::message::flag_string || !receiver_) {
                return;
            }
            const std::string& text = data->get_string();
            if (text.size() > limits::commandBytes) {
                // Dropped here, so the connection and the commands after it are kept.
                std::cerr << "orvane: dropped a command of " << text.size() << " bytes (above the limit of "
                          << limits::commandBytes << " bytes): '" << text.substr(0, 40) << "...'\n";
                return;
            }
            receiver_(text);
        });
}

SocketIoChannel::~SocketIoChannel() {
    client_->sync_close();
}

void SocketIoChannel::setCommandReceiver(CommandReceiver receiver) {
    receiver_ = std::move(receiver);
}

void SocketIoChannel::connect(const std::string& url) {
    sio::message::ptr auth;
    if (!token_.empty()) {
        auth = sio::object_message::create();
        auth->get_map()["token"] = sio::string_message::create(token_);
    }
    client_->connect(url, auth);
}

void SocketIoChannel::emitEvent(const std::string& event, const std::vector<std::string>& args) {
    sio::message::list list;
    for (const std::string& arg : args) {
        list.push(sio::string_message::create(arg));
    }
    client_->socket("")->emit(event, list);
}

} // namespace orvane
