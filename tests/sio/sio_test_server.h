#pragma once

// Runs tests/support/sio-test-server.mjs as a child process: commands go to
// its stdin, its JSON log lines are collected from its stdout.

#include "sio/sio_packet.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sio_test {

using namespace std::chrono_literals;
using log_lines = std::vector<sio::message::ptr>;

// A member of a log line, or a null message when absent.
inline sio::message::ptr field(const sio::message::ptr& line, const std::string& key) {
    const auto& map = line->get_map();
    const auto it = map.find(key);
    return it != map.end() && it->second ? it->second : sio::null_message::create();
}

struct server_options {
    int port = 0;
    int ping_interval_ms = 0;
    int ping_timeout_ms = 0;
};

class test_server {
public:
    using options = server_options;

    explicit test_server(options opt = {}) {
        std::vector<std::string> args = {ORVANE_NODE_EXECUTABLE, ORVANE_SIO_TEST_SERVER, "--port",
                                         std::to_string(opt.port)};
        if (opt.ping_interval_ms > 0) {
            args.insert(args.end(), {"--ping-interval", std::to_string(opt.ping_interval_ms)});
        }
        if (opt.ping_timeout_ms > 0) {
            args.insert(args.end(), {"--ping-timeout", std::to_string(opt.ping_timeout_ms)});
        }
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);

        int to_child[2];
        int from_child[2];
        if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        pid_ = fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            dup2(to_child[0], STDIN_FILENO);
            dup2(from_child[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        stdin_fd_ = to_child[1];
        stdout_fd_ = from_child[0];
        reader_ = std::thread([this] { read_loop(); });

        const bool listening = wait_for(
            [this](const log_lines& lines) {
                for (const auto& l : lines) {
                    port_ = static_cast<int>(field(l, "listening")->get_int());
                    if (port_ > 0) {
                        return true;
                    }
                }
                return false;
            },
            20s);
        if (!listening) {
            kill();
            close(stdin_fd_);
            reader_.join();
            close(stdout_fd_);
            throw std::runtime_error("the test server did not start listening");
        }
    }

    ~test_server() {
        kill();
        close(stdin_fd_);
        reader_.join();
        close(stdout_fd_);
    }

    test_server(const test_server&) = delete;
    test_server& operator=(const test_server&) = delete;

    int port() const { return port_; }
    std::string uri() const { return "ws://127.0.0.1:" + std::to_string(port_); }

    void command(const std::string& json) {
        const std::string line = json + "\n";
        if (write(stdin_fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            throw std::runtime_error("cannot write to the test server");
        }
    }

    // Sends a command and waits until the server has carried it out.
    void run(const std::string& json) {
        const auto cmd = sio::packet::from_json(json, error_)->get_map().at("cmd")->get_string();
        const size_t before =
            count([&](const sio::message::ptr& l) { return field(l, "done")->get_string() == cmd; });
        command(json);
        const bool done = wait_for(
            [&](const log_lines& lines) {
                size_t n = 0;
                for (const auto& l : lines) {
                    n += field(l, "done")->get_string() == cmd ? 1 : 0;
                }
                return n > before;
            },
            10s);
        if (!done) {
            throw std::runtime_error("the test server did not carry out " + json);
        }
    }

    // Simulates a crash: SIGKILL, then reap.
    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    void freeze() { ::kill(pid_, SIGSTOP); }
    void thaw() { ::kill(pid_, SIGCONT); }

    log_lines lines() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    bool wait_for(const std::function<bool(const log_lines&)>& done, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return done(lines_); });
    }

    size_t count(const std::function<bool(const sio::message::ptr&)>& match) {
        size_t n = 0;
        for (const auto& l : lines()) {
            n += match(l) ? 1 : 0;
        }
        return n;
    }

    // The log lines of received events named `name`, once there are at least n.
    log_lines events(const std::string& name, size_t n, std::chrono::milliseconds timeout = 10s) {
        log_lines found;
        wait_for(
            [&](const log_lines& lines) {
                found.clear();
                for (const auto& l : lines) {
                    if (field(l, "event")->get_string() == name) {
                        found.push_back(l);
                    }
                }
                return found.size() >= n;
            },
            timeout);
        return found;
    }

    size_t connections(const std::string& nsp = "/") {
        return count([&](const sio::message::ptr& l) {
            return field(field(l, "connect"), "nsp")->get_string() == nsp;
        });
    }

    bool wait_connections(size_t n, const std::string& nsp = "/", std::chrono::milliseconds timeout = 10s) {
        return wait_for(
            [&](const log_lines& lines) {
                size_t found = 0;
                for (const auto& l : lines) {
                    found += field(field(l, "connect"), "nsp")->get_string() == nsp ? 1 : 0;
                }
                return found >= n;
            },
            timeout);
    }

private:
    void read_loop() {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(stdout_fd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t newline;
            while ((newline = pending.find('\n')) != std::string::npos) {
                std::string error;
                auto line = sio::packet::from_json(pending.substr(0, newline), error);
                pending.erase(0, newline + 1);
                if (!line || line->get_flag() != sio::message::flag_object) {
                    continue;
                }
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    lines_.push_back(line);
                }
                cv_.notify_all();
            }
        }
    }

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int port_ = 0;
    std::string error_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable cv_;
    log_lines lines_;
};

} // namespace sio_test
