#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

// How an argument word is converted before the handler sees it.
enum class ArgKind { Text, Int, Real };

// The converted argument words of one command, addressed by their word
// number (1 is the first word after the command word).
class CommandArguments {
public:
    CommandArguments(std::vector<std::string> words, std::vector<ArgKind> kinds);

    const std::string& text(int wordNumber) const;
    int integer(int wordNumber) const;
    double real(int wordNumber) const;

private:
    struct Value {
        ArgKind kind;
        std::string text;
        int integer = 0;
        double real = 0.0;
    };
    const Value& at(int wordNumber, ArgKind expected) const;

    std::vector<Value> values_;
};

using CommandHandler = std::function<void(const CommandArguments&)>;

// One row of the command table. When `selector` is set, word 1 must equal it
// exactly for the row to apply; the row's conversions then start at word 2.
// A word whose word 1 matches none of its rows' selectors is ignored silently.
// `usage` is the whole command line with one upper-case name per argument word
// (for example "readStl 1 STL_FILE"); `description` says in one line what the
// command does. Both are what the command reference shows.
struct CommandRow {
    std::string word;
    std::string selector;
    std::vector<ArgKind> args;
    std::string usage;
    std::string description;
    CommandHandler handler;
};

// Selects a handler by the command word, converts the argument words and runs
// the handler. It is the one error boundary of the command path: nothing a
// handler throws gets past `execute`.
class CommandDispatcher {
public:
    // Throws std::logic_error when a (word, selector) pair is registered twice,
    // or when one word mixes rows with and without a selector.
    explicit CommandDispatcher(std::vector<CommandRow> rows, std::ostream& diagnostics);

    void execute(std::string_view commandText) const;

    // Runs work that the event loop starts on its own (a timer tick, the end
    // of an import) inside the same boundary: whatever it throws becomes a
    // line "orvane: WHAT failed: ..." on the diagnostics stream.
    void runGuarded(const std::string& what, const std::function<void()>& work) const;

    bool knows(const std::string& word) const { return rows_.count(word) != 0; }

private:
    std::map<std::string, std::vector<CommandRow>> rows_;
    std::ostream& diagnostics_;
};

} // namespace orvane
