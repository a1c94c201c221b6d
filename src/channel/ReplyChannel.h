#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane {

// The link to the user-interface server as the view sees it: command texts
// come in, reply events go out. The socket.io implementation calls the
// command handler on its network thread.
class ReplyChannel {
public:
    using CommandReceiver = std::function<void(const std::string& commandText)>;

    virtual ~ReplyChannel() = default;

    // Set once, before connect.
    virtual void setCommandReceiver(CommandReceiver receiver) = 0;
    virtual void connect(const std::string& url) = 0;
    // Safe from any thread.
    virtual void emitEvent(const std::string& event, const std::vector<std::string>& args) = 0;
};

} // namespace orvane
