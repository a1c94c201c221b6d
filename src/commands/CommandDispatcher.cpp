#include "commands/CommandDispatcher.h"

#include "commands/CommandWords.h"

#include <stdexcept>

namespace orvane {

CommandArguments::CommandArguments(std::vector<std::string> words, std::vector<ArgKind> kinds) {
    values_.reserve(kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        Value value{kinds[i], std::move(words[i])};
        if (kinds[i] == ArgKind::Int) {
            value.integer = toInt(value.text);
        } else if (kinds[i] == ArgKind::Real) {
            value.real = toReal(value.text);
        }
        values_.push_back(std::move(value));
    }
}

const CommandArguments::Value& CommandArguments::at(int wordNumber, ArgKind expected) const {
    const auto index = static_cast<std::size_t>(wordNumber - 1);
    if (wordNumber < 1 || index >= values_.size() || values_[index].kind != expected) {
        throw std::logic_error("handler reads argument word " + std::to_string(wordNumber) +
                               " that its command row does not declare with that conversion");
    }
    return values_[index];
}

const std::string& CommandArguments::text(int wordNumber) const {
    return at(wordNumber, ArgKind::Text).text;
}

int CommandArguments::integer(int wordNumber) const {
    return at(wordNumber, ArgKind::Int).integer;
}

double CommandArguments::real(int wordNumber) const {
    return at(wordNumber, ArgKind::Real).real;
}

CommandDispatcher::CommandDispatcher(std::vector<CommandRow> rows, std::ostream& diagnostics)
    : diagnostics_(diagnostics) {
    for (CommandRow& row : rows) {
        if (row.word.empty() || !row.handler) {
            throw std::logic_error("command row without a word or a handler");
        }
        std::vector<CommandRow>& existing = rows_[row.word];
        for (const CommandRow& other : existing) {
            if (other.selector == row.selector) {
                throw std::logic_error("command word registered twice: " + row.word +
                                       (row.selector.empty() ? "" : " " + row.selector));
            }
            if (other.selector.empty() != row.selector.empty()) {
                throw std::logic_error("command word with and without a selector: " + row.word);
            }
        }
        existing.push_back(std::move(row));
    }
}

void CommandDispatcher::execute(std::string_view commandText) const {
    std::vector<std::string> words = splitCommandWords(commandText);
    const auto found = rows_.find(words.front());
    if (found == rows_.end()) {
        return;
    }
    const std::string& commandWord = found->first;
    const std::vector<CommandRow>& candidates = found->second;
    const bool selects = !candidates.front().selector.empty();
    if (selects && words.size() < 2) {
        diagnostics_ << "orvane: ignored '" << commandWord << "': missing argument word 1\n";
        return;
    }

    const CommandRow* row = &candidates.front();
    if (selects) {
        row = nullptr;
        for (const CommandRow& candidate : candidates) {
            if (candidate.selector == words[1]) {
                row = &candidate;
            }
        }
        if (row == nullptr) {
            return;
        }
    }

    const std::size_t firstArgument = selects ? 2 : 1;
    const std::size_t needed = firstArgument + row->args.size();
    if (words.size() < needed) {
        diagnostics_ << "orvane: ignored '" << commandWord << "': it needs " << (needed - 1)
                     << " argument words, got " << (words.size() - 1) << "\n";
        return;
    }

    // Word numbers stay those of the command text, so a selector row's first
    // converted word is word 2; word 1 (the selector) is kept as text.
    std::vector<std::string> argumentWords(words.begin() + 1, words.begin() + static_cast<long>(needed));
    std::vector<ArgKind> kinds;
    if (selects) {
        kinds.push_back(ArgKind::Text);
    }
    kinds.insert(kinds.end(), row->args.begin(), row->args.end());

    runGuarded("command '" + commandWord + "'",
               [&] { row->handler(CommandArguments(std::move(argumentWords), std::move(kinds))); });
}

void CommandDispatcher::runGuarded(const std::string& what, const std::function<void()>& work) const {
    try {
        work();
    } catch (const std::exception& error) {
        diagnostics_ << "orvane: " << what << " failed: " << error.what() << "\n";
    } catch (...) {
        diagnostics_ << "orvane: " << what << " failed with an unknown error\n";
    }
}

} // namespace orvane
