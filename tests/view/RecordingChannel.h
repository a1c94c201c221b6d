#pragma once

#include "channel/ReplyChannel.h"

#include <string>
#include <utility>
#include <vector>

// Stands in for the socket.io link: replies are kept for the test to check.
class RecordingChannel final : public orvane::ReplyChannel {
public:
    struct Event {
        std::string name;
        std::vector<std::string> args;
    };

    explicit RecordingChannel(std::vector<Event>& sink) : events(sink) {}

    void setCommandReceiver(CommandReceiver receiver) override { commandReceiver = std::move(receiver); }
    void connect(const std::string&) override {}
    void emitEvent(const std::string& event, const std::vector<std::string>& args) override {
        events.push_back({event, args});
    }

    CommandReceiver commandReceiver;

private:
    std::vector<Event>& events;
};
