#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Checks made on a path word before a file is opened or replaced. Each returns
// nullopt when the path may be used, or a short reason (for a diagnostic line
// "cannot read FILE: REASON") when it may not.

// A byte below 0x20 or 0x7f: a NUL would cut the path short where it reaches
// the operating system, and the other control characters never belong in the
// names the UI server sends.
bool hasControlCharacter(std::string_view word);

// An empty path or one holding a control character.
std::optional<std::string> pathProblem(std::string_view path);

// A path to read from: it must name a regular file (a link to one counts).
// A directory, FIFO, socket or device is refused before anything opens it,
// so nothing blocks in open or reads without end.
std::optional<std::string> readableFileProblem(const std::string& path);

// True when the path is usable but names nothing (no such file or directory).
bool pathMissing(const std::string& path);

// A path to write by replacing: it may be missing or a regular file, never a
// directory, FIFO, socket or device.
std::optional<std::string> replaceableFileProblem(const std::string& path);

// Appends name to directory with exactly one "/" between them (a directory
// that already ends in "/" or "\" keeps its separator).
std::string joinPath(const std::string& directory, const std::string& name);

// Whether the first bytes of a file look like text, the way VTK's STL reader
// decides between its ASCII and binary readers (5 % or more bytes outside
// printable ASCII, tab, CR and LF make it binary; an empty file counts as
// binary).
bool looksBinary(std::string_view head);

// An STL file that the reader must not be given: not a regular file, empty,
// or binary with fewer bytes than the facet count of its header needs
// (84 + 50 per facet), which would make the reader allocate for facets that
// are not there.
std::optional<std::string> stlFileProblem(const std::string& path);

// A binary STL file that a writer reported as written but that is not
// whole: it must be 84 + 50 * facets bytes long with that count in its
// header. A writer that ignores a failed final flush (a full disk) leaves a
// short file behind and still reports success.
std::optional<std::string> writtenBinaryStlProblem(const std::string& path, std::size_t facets);

// The deepest bracket nesting of STEP text, brackets inside strings and
// comments not counted. Scanning stops as soon as maxDepth is exceeded, so a
// hostile file costs one pass and no memory.
struct StepNesting {
    int deepest = 0;
    bool exceeded = false;
};
StepNesting scanStepNesting(std::istream& in, int maxDepth);

// A STEP file the parser must not be given: not a regular file, or nested
// deeper than maxDepth (the parser recurses once per level).
std::optional<std::string> stepFileProblem(const std::string& path, int maxDepth);

} // namespace orvane
