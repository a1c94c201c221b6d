#pragma once

#include "channel/ReplyChannel.h"

#include <memory>
#include <string>

namespace sio {
class client;
}

namespace orvane {

// The command channel over socket.io: "message" events with one string
// argument are commands, "ready" is emitted each time the default namespace
// (re)opens, replies are events on the default namespace. A non-empty token
// is sent as the handshake's auth {"token": T}; without one no auth is sent,
// as servers that know nothing of tokens expect.
class SocketIoChannel final : public ReplyChannel {
public:
    explicit SocketIoChannel(std::string token = {});
    ~SocketIoChannel() override;

    void setCommandReceiver(CommandReceiver receiver) override;
    void connect(const std::string& url) override;
    void emitEvent(const std::string& event, const std::vector<std::string>& args) override;

private:
    std::unique_ptr<sio::client> client_;
    CommandReceiver receiver_;
    std::string token_;
};

} // namespace orvane
