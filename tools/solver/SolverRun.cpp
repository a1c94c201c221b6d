#include "SolverRun.h"

#include "CalculixFiles.h"
#include "FaceLoads.h"
#include "PartMesh.h"
#include "ResultGrids.h"
#include "geometry/StepModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace orvane::solver {

const char* const resultDirectoryName = "unitfcm5-0-1e-10-451";

namespace {

const char* const surfaceStlName = "locomotive_bogieassembly_sldasm2.stl";
const char* const jobName = "job";

using Clock = std::chrono::steady_clock;

// solver.log, with the time of every phase.
class RunLog {
public:
    explicit RunLog(const fs::path& path) : file(path) {
        file.imbue(std::locale::classic());
        phases.imbue(std::locale::classic());
    }
    std::ostream& out() { return file; }
    void phase(const std::string& name) {
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - mark).count();
        phases << std::left << std::setw(10) << name << std::right << std::fixed << std::setprecision(3)
               << seconds << " s\n";
        std::ostringstream line;
        line.imbue(std::locale::classic());
        line << "phase " << name << " " << std::fixed << std::setprecision(3) << seconds << " s\n";
        file << line.str();
        mark = now;
    }
    int fail(const std::string& why) {
        file << "error: " << why << "\n";
        std::cerr << "orvane-solver: " << why << "\n";
        return 1;
    }
    std::string timings() const { return phases.str(); }

private:
    std::ofstream file;
    std::ostringstream phases;
    Clock::time_point mark = Clock::now();
};

// Runs ccx in `directory`, its output going to ccx.log there.
int runCalculix(const fs::path& directory, int cores, std::string& error) {
    const std::string threads = std::to_string(cores);
    ::setenv("OMP_NUM_THREADS", threads.c_str(), 1);
    ::setenv("CCX_NPROC_EQUATION_SOLVER", threads.c_str(), 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "ccx.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string program = "ccx";
    std::string job = jobName;
    char* argv[] = {program.data(), job.data(), nullptr};
    pid_t child = 0;
    const int spawnError = ::posix_spawnp(&child, "ccx", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        error = std::string("cannot run CalculiX (ccx on PATH): ") + std::strerror(spawnError);
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            error = "cannot wait for ccx";
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        error = "ccx ended by signal " + std::to_string(WTERMSIG(status));
        return -1;
    }
    return WEXITSTATUS(status);
}

// ccx reports input errors in its output and may still exit 0.
std::string calculixError(const fs::path& logPath) {
    std::ifstream in(logPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("*ERROR") != std::string::npos) {
            return line;
        }
    }
    return {};
}

fs::path findStepFile(const fs::path& input, const std::string& address) {
    const fs::path local = input / pathBaseName(address);
    std::error_code ignored;
    return fs::is_regular_file(local, ignored) ? local : fs::path(address);
}

std::array<double, 3> sum(const std::vector<NodalForce>& forces) {
    std::array<double, 3> total{};
    for (const NodalForce& f : forces) {
        for (std::size_t k = 0; k < 3; ++k) {
            total[k] += f.force[k];
        }
    }
    return total;
}

std::string triple(const std::array<double, 3>& v) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << v[0] << " " << v[1] << " " << v[2];
    return out.str();
}

// The work of one run in `work` (the result directory under its temporary
// name); returns 0 or the exit status of the failure.
int solve(const fs::path& input, const RunOptions& options, int cores, const fs::path& work, RunLog& log) {
    std::ostream& out = log.out();
    std::string error;
    out << "orvane-solver: input " << input.string() << ", analysis "
        << (options.analysis == Analysis::Static  ? "static"
            : options.analysis == Analysis::Modal ? "modal"
                                                  : "both")
        << ", modes " << options.modeCount << ", element size " << options.elementSize << ", order "
        << options.elementOrder << ", " << cores << " core(s)\n";

    const auto model = readSolverInput((input / "preFiles.txt").string(), error);
    if (!model) {
        return log.fail(error);
    }
    if (!model->unsupported.empty()) {
        std::string list;
        for (const std::string& item : model->unsupported) {
            list += "\n  " + item;
        }
        return log.fail("beams, springs and connections are not analysed; the model holds:" + list);
    }
    const Material& material = model->material;
    out << "material: E " << material.youngsModulus << " MPa, nu " << material.poisson << ", density "
        << material.density << " kg/m3 (" << densityTonnesPerCubicMillimetre(material.density)
        << " t/mm3), yield " << material.yieldStrength << " MPa\n";
    const bool supported =
        std::any_of(model->supports.begin(), model->supports.end(),
                    [](const FaceSupport& s) { return s.translation != std::array<int, 3>{}; }) ||
        std::any_of(model->couplings.begin(), model->couplings.end(), [](const Rb3Coupling& c) {
            return std::any_of(c.supports.begin(), c.supports.end(),
                               [](const FaceSupport& s) { return s.translation != std::array<int, 3>{}; });
        });
    if (!supported) {
        return log.fail("no constraint holds the part (a free body): fix at least one face");
    }

    const fs::path stepPath = findStepFile(input, model->address);
    out << "STEP file: " << stepPath.string() << "\n";
    const auto step = orvane::readStepModel(stepPath.string(), out);
    if (!step) {
        return log.fail("cannot read the STEP file " + stepPath.string());
    }
    const int faceCount = static_cast<int>(step->faces.size());
    out << "part: " << step->solids.size() << " solid(s), " << faceCount << " faces\n";
    const auto checkFace = [&](int face, const char* what) {
        if (face < 0 || face >= faceCount) {
            error = std::string(what) + " names face " + std::to_string(face) +
                    ", but the part has faces 0 to " + std::to_string(faceCount - 1);
            return false;
        }
        return true;
    };
    for (const FaceLoad& load : model->loads) {
        if (!checkFace(load.face, "a force")) {
            return log.fail(error);
        }
    }
    for (const FaceSupport& support : model->supports) {
        if (!checkFace(support.face, "a constraint")) {
            return log.fail(error);
        }
    }
    for (const Rb3Coupling& coupling : model->couplings) {
        for (const int face : coupling.faces) {
            if (!checkFace(face, "an RB3 element")) {
                return log.fail(error);
            }
        }
    }
    log.phase("read");

    const auto part = meshPart(step->workingShape, step->faces, options.elementSize, options.elementOrder,
                               cores, out, error);
    orvane::closeDocument(step->document);
    if (!part) {
        return log.fail("meshing failed: " + error);
    }
    log.phase("mesh");

    Deck deck;
    deck.mesh = &part->mesh;
    deck.material = material;
    deck.staticStep = wantsStatic(options);
    deck.modeCount = wantsModal(options) ? options.modeCount : 0;
    std::vector<std::array<double, 3>> nodal(part->mesh.nodes.size(), std::array<double, 3>{});
    const auto addLoad = [&](const SurfacePatch& patch, const std::array<double, 3>& force,
                             const std::array<double, 3>& moment, const std::array<double, 3>& about) {
        const auto forces = consistentNodalForces(part->mesh.nodes, patch, force, moment, about);
        if (forces.empty()) {
            return false;
        }
        for (std::size_t n = 0; n < forces.size(); ++n) {
            for (std::size_t k = 0; k < 3; ++k) {
                nodal[n][k] += forces[n][k];
            }
        }
        return true;
    };
    for (const FaceLoad& load : model->loads) {
        const SurfacePatch& patch = part->faces[static_cast<std::size_t>(load.face)];
        const PatchProperties p = patchProperties(part->mesh.nodes, patch);
        if (!addLoad(patch, load.force, load.moment, p.centroid)) {
            return log.fail("face " + std::to_string(load.face) + " has no area to carry its force");
        }
        out << "force on face " << load.face << ": " << triple(load.force) << " N, moment "
            << triple(load.moment) << " N mm about " << triple(p.centroid) << ", over "
            << patch.triangles.size() << " triangles\n";
    }
    for (std::size_t s = 0; s < model->supports.size(); ++s) {
        const FaceSupport& support = model->supports[s];
        NodeSupport fixed;
        fixed.name = "NFIX" + std::to_string(s + 1);
        fixed.nodes = part->faceNodes[static_cast<std::size_t>(support.face)];
        fixed.translation = support.translation;
        out << "constraint " << fixed.name << " on face " << support.face << ": directions "
            << support.translation[0] << " " << support.translation[1] << " " << support.translation[2]
            << " on " << fixed.nodes.size() << " nodes\n";
        if (support.rotation != std::array<int, 3>{}) {
            out << "  rotation flags on a solid face have no effect\n";
        }
        deck.supports.push_back(std::move(fixed));
    }
    for (std::size_t c = 0; c < model->couplings.size(); ++c) {
        const Rb3Coupling& rb3 = model->couplings[c];
        Coupling coupling;
        coupling.name = "NRB" + std::to_string(c + 1);
        coupling.centre = rb3.centre;
        SurfacePatch faces;
        for (const int face : rb3.faces) {
            const auto& f = part->faces[static_cast<std::size_t>(face)];
            faces.triangles.insert(faces.triangles.end(), f.triangles.begin(), f.triangles.end());
            const auto& nodes = part->faceNodes[static_cast<std::size_t>(face)];
            coupling.nodes.insert(coupling.nodes.end(), nodes.begin(), nodes.end());
        }
        std::sort(coupling.nodes.begin(), coupling.nodes.end());
        coupling.nodes.erase(std::unique(coupling.nodes.begin(), coupling.nodes.end()), coupling.nodes.end());
        for (const FaceSupport& support : rb3.supports) {
            for (std::size_t k = 0; k < 3; ++k) {
                coupling.translation[k] |= support.translation[k];
            }
            if (support.rotation != std::array<int, 3>{}) {
                out << "RB3 " << c + 1
                    << ": rotation flags have no effect (the coupling holds translations)\n";
            }
        }
        // The centre's loads reach the faces as the same traction a force
        // on the faces would give, with the moment of its offset.
        for (const FaceLoad& load : rb3.loads) {
            if (!addLoad(faces, load.force, load.moment, rb3.centre)) {
                return log.fail("the faces of RB3 element " + std::to_string(c + 1) + " have no area");
            }
            out << "RB3 " << c + 1 << " force " << triple(load.force) << " N, moment " << triple(load.moment)
                << " N mm at " << triple(rb3.centre) << "\n";
        }
        if (coupling.translation != std::array<int, 3>{}) {
            out << "RB3 " << c + 1 << " centre held in directions " << coupling.translation[0] << " "
                << coupling.translation[1] << " " << coupling.translation[2] << ", coupled to "
                << coupling.nodes.size() << " nodes\n";
            deck.couplings.push_back(std::move(coupling));
        }
    }
    for (std::size_t n = 0; n < nodal.size(); ++n) {
        if (nodal[n] != std::array<double, 3>{}) {
            deck.forces.push_back({static_cast<int>(n + 1), nodal[n]});
        }
    }
    const std::array<double, 3> applied = sum(deck.forces);
    out << "applied force total: " << triple(applied) << " N on " << deck.forces.size() << " nodes\n";
    // A load on a held direction of a node goes straight into the support;
    // CalculiX's reactions leave it out.
    std::array<double, 3> onSupports{};
    {
        std::vector<std::array<int, 3>> held(part->mesh.nodes.size(), std::array<int, 3>{});
        for (const NodeSupport& support : deck.supports) {
            for (const int node : support.nodes) {
                for (std::size_t k = 0; k < 3; ++k) {
                    held[static_cast<std::size_t>(node - 1)][k] |= support.translation[k];
                }
            }
        }
        for (const NodalForce& f : deck.forces) {
            for (std::size_t k = 0; k < 3; ++k) {
                if (held[static_cast<std::size_t>(f.node - 1)][k] != 0) {
                    onSupports[k] += f.force[k];
                }
            }
        }
    }
    if (onSupports != std::array<double, 3>{}) {
        out << "  of which " << triple(onSupports) << " N act on constrained nodes\n";
    }

    const fs::path calculix = work / "calculix";
    fs::create_directories(calculix);
    {
        std::ofstream deckFile(calculix / (std::string(jobName) + ".inp"));
        writeDeck(deck, deckFile);
        if (!deckFile.flush()) {
            return log.fail("cannot write the CalculiX input deck");
        }
    }
    log.phase("deck");

    const int status = runCalculix(calculix, cores, error);
    const std::string reported = calculixError(calculix / "ccx.log");
    if (status != 0 || !reported.empty()) {
        return log.fail("CalculiX failed" +
                        (status > 0 ? " (exit status " + std::to_string(status) + ")" : "") +
                        (error.empty() ? "" : ": " + error) + (reported.empty() ? "" : ": " + reported));
    }
    log.phase("solve");

    const auto blocks = readFrd((calculix / (std::string(jobName) + ".frd")).string(), error);
    const auto dat = readDat((calculix / (std::string(jobName) + ".dat")).string(), error);
    if (!blocks || !dat) {
        return log.fail("cannot read CalculiX's results: " + error);
    }
    const std::size_t nodeCount = part->mesh.nodes.size();
    const auto nodalVectors = [&](const FrdBlock& block) {
        std::vector<std::array<double, 3>> v(nodeCount, std::array<double, 3>{});
        for (const auto& [node, values] : block.values) {
            if (node >= 1 && static_cast<std::size_t>(node) <= nodeCount && values.size() >= 3) {
                v[static_cast<std::size_t>(node - 1)] = {values[0], values[1], values[2]};
            }
        }
        return v;
    };
    ResultLattice lattice(part->mesh, 60);
    const auto dims = lattice.dimensions();
    out << "result lattice: " << dims[0] << " x " << dims[1] << " x " << dims[2] << " points, "
        << lattice.pointsInside() << " inside the part\n";

    if (wantsStatic(options)) {
        const FrdBlock* displacement = nullptr;
        const FrdBlock* stress = nullptr;
        for (const FrdBlock& block : *blocks) {
            if (!block.modal && block.name == "DISP" && !displacement) {
                displacement = &block;
            } else if (!block.modal && block.name == "STRESS" && !stress) {
                stress = &block;
            }
        }
        if (!displacement || !stress || stress->components < 6) {
            return log.fail("CalculiX wrote no static displacement and stress");
        }
        const auto u = nodalVectors(*displacement);
        std::vector<double> mises(nodeCount, 0.0);
        for (const auto& [node, values] : stress->values) {
            if (node >= 1 && static_cast<std::size_t>(node) <= nodeCount) {
                mises[static_cast<std::size_t>(node - 1)] = vonMises(values);
            }
        }
        std::array<double, 3> reaction{};
        for (const auto& [set, total] : dat->reactionTotals) {
            out << "reaction total on " << set << ": " << triple(total) << " N\n";
            for (std::size_t k = 0; k < 3; ++k) {
                reaction[k] += total[k];
            }
        }
        out << "reactions " << triple(reaction) << " N against applied " << triple(applied) << " N\n";
        // Supports that leave the part free to move (a mechanism) give a
        // solution without reactions: no result is better than that one.
        const double load =
            std::sqrt(applied[0] * applied[0] + applied[1] * applied[1] + applied[2] * applied[2]);
        double imbalance = 0.0;
        for (std::size_t k = 0; k < 3; ++k) {
            const double d = reaction[k] + applied[k] - onSupports[k];
            imbalance += d * d;
        }
        if (load > 0.0 && std::sqrt(imbalance) > 1e-3 * load) {
            return log.fail("the reactions " + triple(reaction) + " N do not balance the applied force " +
                            triple(applied) + " N: the constraints leave the part free to move");
        }
        double largestU = 0.0;
        for (const auto& v : u) {
            largestU = std::max(largestU, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
        }
        const double largestMises = *std::max_element(mises.begin(), mises.end());
        out << "largest displacement " << largestU << " mm, largest von Mises stress " << largestMises
            << " MPa\n";
        if (material.yieldStrength > 0.0 && largestMises > 0.0) {
            out << "safety factor against yield " << material.yieldStrength / largestMises << "\n";
        }
        if (!lattice.write((work / "postprocess0.vts").string(), "displacement", u, "von Mises", &mises,
                           error) ||
            !writeSurfaceStl((work / surfaceStlName).string(), part->mesh, part->surface, error)) {
            return log.fail(error);
        }
    }
    if (wantsModal(options)) {
        std::vector<const FrdBlock*> modes;
        for (const FrdBlock& block : *blocks) {
            if (block.modal && block.name == "DISP") {
                modes.push_back(&block);
            }
        }
        if (modes.empty() || dat->eigenvalues.size() < modes.size()) {
            return log.fail("CalculiX wrote no mode shapes");
        }
        std::ofstream eigenvalues(work / "eigenvalues.txt");
        eigenvalues.imbue(std::locale::classic());
        eigenvalues << std::setprecision(10);
        for (std::size_t m = 0; m < modes.size(); ++m) {
            auto shape = nodalVectors(*modes[m]);
            double largest = 0.0;
            for (const auto& v : shape) {
                largest = std::max(largest, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
            }
            for (auto& v : shape) {
                for (double& c : v) {
                    c = largest > 0.0 ? c / largest : 0.0;
                }
            }
            const double omega2 = dat->eigenvalues[m];
            eigenvalues << "Mode " << m + 1 << ": " << omega2 << "\n";
            out << "mode " << m + 1 << ": " << std::sqrt(std::max(0.0, omega2)) / (2.0 * M_PI) << " Hz\n";
            if (!lattice.write((work / ("postprocess" + std::to_string(m + 1) + "0.vts")).string(),
                               "mode shape", shape, nullptr, nullptr, error)) {
                return log.fail(error);
            }
        }
        if (!eigenvalues.flush()) {
            return log.fail("cannot write eigenvalues.txt");
        }
        if (modes.size() < static_cast<std::size_t>(options.modeCount)) {
            out << "CalculiX found " << modes.size() << " of the " << options.modeCount
                << " modes asked for\n";
        }
    }
    log.phase("results");
    return 0;
}

} // namespace

int runSolver(const std::string& input, const RunOptions& options, int cores) {
    const fs::path target = resultDirectoryName;
    const fs::path work = std::string(resultDirectoryName) + ".partial-" + std::to_string(::getpid());
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (!fs::create_directory(work, ignored)) {
        std::cerr << "orvane-solver: cannot create " << fs::absolute(work).string() << "\n";
        return 1;
    }
    int status = 0;
    {
        RunLog log(work / "solver.log");
        try {
            status = solve(input, options, cores, work, log);
        } catch (const std::exception& e) {
            status = log.fail(std::string("unexpected failure: ") + e.what());
        }
        log.out() << "phase times:\n" << log.timings();
    }
    if (status != 0) {
        // A failed run leaves no result directory, old or new, and its log
        // beside where the results would have been.
        fs::rename(work / "solver.log", "solver.log", ignored);
        fs::remove_all(work, ignored);
        fs::remove_all(target, ignored);
        return status;
    }
    fs::remove(fs::path("solver.log"), ignored); // of an earlier failed run
    fs::remove_all(target, ignored);
    std::error_code renameError;
    fs::rename(work, target, renameError);
    if (renameError) {
        std::cerr << "orvane-solver: cannot rename " << work.string() << " to " << target.string() << ": "
                  << renameError.message() << "\n";
        fs::remove_all(work, ignored);
        return 1;
    }
    std::cout << "orvane-solver: results in " << fs::absolute(target).string() << "\n";
    return 0;
}

} // namespace orvane::solver
