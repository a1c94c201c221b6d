// The solver program as the view's remote run starts it: a STEP part and
// preFiles.txt in, the result directory (or a refusal) out. Known answers
// are the textbook's for a slender steel cantilever; the face mapping is
// checked on real parts.

#include "CalculixFiles.h"
#include "FaceLoads.h"
#include "PartMesh.h"
#include "geometry/StepModel.h"

#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <GProp_GProps.hxx>
#include <STEPControl_Writer.hxx>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace orvane::solver;

namespace {

const char* const resultName = "unitfcm5-0-1e-10-451";

// Steel cantilever, mm N t s.
constexpr double length = 200.0;
constexpr double width = 20.0;  // y
constexpr double height = 10.0; // z, the bending direction
constexpr double load = 100.0;  // N, along -z at the free end
constexpr double youngsModulus = 210000.0;
constexpr double density = 7.85e-9; // t/mm^3 (7850 kg/m^3)

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/orvane-solver-test-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBeamStep(const fs::path& path) {
    STEPControl_Writer writer;
    writer.Transfer(BRepPrimAPI_MakeBox(length, width, height).Shape(), STEPControl_AsIs);
    ASSERT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
}

// The view's face index of the face whose centroid has this x.
int faceAtX(const fs::path& step, double x) {
    std::ostringstream console;
    const auto model = orvane::readStepModel(step.string(), console);
    for (std::size_t f = 0; model && f < model->faces.size(); ++f) {
        GProp_GProps props;
        BRepGProp::SurfaceProperties(model->faces[f], props);
        if (std::fabs(props.CentreOfMass().X() - x) < 1e-6) {
            orvane::closeDocument(model->document);
            return static_cast<int>(f);
        }
    }
    return -1;
}

std::string preFiles(const std::string& address, const std::string& forces, const std::string& fixes,
                     const std::string& tail = "") {
    return "\xbd\xe1\xb9\xb9\xbe\xb2\xc1\xa6\xd1\xa7\xc7\xb0\xb4\xa6\xc0\xed\xce\xc4\xbc\xfe\r\n\r\n$ "
           "address\r\n" +
           address +
           "\r\n\r\n$ materials\r\n210000.000000 0.300000 7850.000000 235.000000 \r\n\r\n$ BPP\r\n0 0\r\n\r\n"
           "$ brepFiles\r\n\r\n$ forceFace id xn yn zn xr yr zr\r\n" +
           forces + "\r\n$ fixFace id xn yn zn xr yr zr\r\n" + fixes + "\r\n" + tail;
}

struct ProgramRun {
    int status = -1;
    std::string output;
};

// Runs the program in `directory` as the remote shell does.
ProgramRun runSolver(const fs::path& directory, const std::string& arguments) {
    const std::string command =
        "cd '" + directory.string() + "' && '" + ORVANE_SOLVER_PROGRAM + "' " + arguments + " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        run.output += buffer;
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Node coordinates of the CalculiX deck, by node id - 1.
std::vector<std::array<double, 3>> deckNodes(const fs::path& deck) {
    std::ifstream in(deck);
    std::vector<std::array<double, 3>> nodes;
    std::string line;
    bool inNodes = false;
    while (std::getline(in, line)) {
        if (line.rfind("*", 0) == 0) {
            inNodes = line.rfind("*NODE, NSET=NALL", 0) == 0;
            continue;
        }
        if (inNodes) {
            std::istringstream words(line);
            int id = 0;
            char comma = 0;
            std::array<double, 3> p{};
            words >> id >> comma >> p[0] >> comma >> p[1] >> comma >> p[2];
            nodes.push_back(p);
        }
    }
    return nodes;
}

class SolverProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v ccx >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "CalculiX (ccx) is not installed";
        }
    }
};

} // namespace

TEST_F(SolverProgram, CantileverMatchesTheTextbook) {
    Scratch scratch;
    const fs::path input = scratch.path / "case";
    fs::create_directories(input);
    writeBeamStep(input / "beam.step");
    const int clamped = faceAtX(input / "beam.step", 0.0);
    const int free = faceAtX(input / "beam.step", length);
    ASSERT_GE(clamped, 0);
    ASSERT_GE(free, 0);
    // The address is the view's own path on another machine: the solver
    // finds the file by its base name in the input directory.
    std::ofstream(input / "preFiles.txt", std::ios::binary)
        << preFiles("C:\\Users\\me\\models\\beam.step",
                    std::to_string(free) + " 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000\r\n",
                    std::to_string(clamped) + " 0 1 1 1 0 0 0\r\n");

    const ProgramRun run = runSolver(scratch.path, "case both 2 5 2");
    ASSERT_EQ(run.status, 0) << run.output;
    const fs::path result = scratch.path / resultName;
    const fs::path calculix = result / "calculix";

    const double inertia = width * height * height * height / 12.0;
    const double tipTextbook = load * length * length * length / (3.0 * youngsModulus * inertia);
    const double frequencyTextbook =
        1.8751 * 1.8751 / (2.0 * M_PI) *
        std::sqrt(youngsModulus * inertia / (density * width * height * length * length * length * length));
    const double stressTextbook = load * length * (height / 2.0) / inertia;

    // Tip deflection: the mean over the loaded end.
    const auto nodes = deckNodes(calculix / "job.inp");
    std::string error;
    const auto blocks = readFrd((calculix / "job.frd").string(), error);
    ASSERT_TRUE(blocks) << error;
    const FrdBlock* displacement = nullptr;
    const FrdBlock* stress = nullptr;
    for (const FrdBlock& block : *blocks) {
        if (!block.modal && block.name == "DISP") {
            displacement = &block;
        } else if (!block.modal && block.name == "STRESS") {
            stress = &block;
        }
    }
    ASSERT_TRUE(displacement && stress);
    double tipSum = 0.0;
    int tipCount = 0;
    // Von Mises on the upper and lower surface 2 to 4 beam depths from the
    // clamp, scaled to the clamp section by the lever arm: the clamp's own
    // edges are singular and local constraint effects fade within a depth.
    double stressAtClamp = 0.0;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const auto& p = nodes[n];
        const int id = static_cast<int>(n + 1);
        if (std::fabs(p[0] - length) < 1e-6) {
            tipSum += displacement->values.at(id)[2];
            ++tipCount;
        }
        const bool surface = std::fabs(p[2]) < 1e-6 || std::fabs(p[2] - height) < 1e-6;
        if (surface && p[0] >= 2.0 * height && p[0] <= 4.0 * height) {
            stressAtClamp =
                std::max(stressAtClamp, vonMises(stress->values.at(id)) * length / (length - p[0]));
        }
    }
    ASSERT_GT(tipCount, 0);
    const double tip = -tipSum / tipCount;
    EXPECT_NEAR(tip / tipTextbook, 1.0, 0.03) << tip << " mm against " << tipTextbook;
    EXPECT_NEAR(stressAtClamp / stressTextbook, 1.0, 0.05)
        << stressAtClamp << " MPa against " << stressTextbook;

    // First mode: bending in z, the eigenvalue is (2 pi f)^2.
    std::istringstream eigenvalues(readText(result / "eigenvalues.txt"));
    std::string mode;
    std::string number;
    double omega2 = 0.0;
    ASSERT_TRUE(eigenvalues >> mode >> number >> omega2);
    EXPECT_EQ(mode + " " + number, "Mode 1:");
    const double frequency = std::sqrt(omega2) / (2.0 * M_PI);
    EXPECT_NEAR(frequency / frequencyTextbook, 1.0, 0.03) << frequency << " Hz against " << frequencyTextbook;

    const auto dat = readDat((calculix / "job.dat").string(), error);
    ASSERT_TRUE(dat) << error;
    ASSERT_EQ(dat->reactionTotals.size(), 1u);
    EXPECT_NEAR(dat->reactionTotals[0].second[2], load, load * 1e-3);
    EXPECT_NEAR(dat->reactionTotals[0].second[0], 0.0, load * 1e-3);

    // What the view reads, and the log.
    for (const char* file : {"postprocess0.vts", "postprocess10.vts", "postprocess20.vts",
                             "locomotive_bogieassembly_sldasm2.stl"}) {
        EXPECT_TRUE(fs::is_regular_file(result / file)) << file;
    }
    const std::string grid = readText(result / "postprocess0.vts");
    const std::size_t first = grid.find("<DataArray");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(grid.find("Name=\"displacement\" NumberOfComponents=\"3\"", first), std::string::npos);
    EXPECT_NE(grid.find("Name=\"von Mises\""), std::string::npos);
    const std::string log = readText(result / "solver.log");
    for (const char* line : {"mesh: ", "reactions ", "largest displacement ", "safety factor against yield ",
                             "mode 1: ", "phase solve "}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    for (const auto& entry : fs::directory_iterator(scratch.path)) {
        EXPECT_TRUE(entry.path().filename() == "case" || entry.path().filename() == resultName)
            << entry.path();
    }
    std::cout << "cantilever: tip " << tip << " mm (textbook " << tipTextbook << "), f1 " << frequency
              << " Hz (textbook " << frequencyTextbook << "), von Mises at the clamp " << stressAtClamp
              << " MPa (textbook " << stressTextbook << "), reaction " << dat->reactionTotals[0].second[2]
              << " N\n";
}

TEST_F(SolverProgram, RefusedRunsLeaveNoResultDirectory) {
    Scratch scratch;
    const fs::path input = scratch.path / "case";
    fs::create_directories(input);
    writeBeamStep(input / "beam.step");
    const std::string force = "1 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000\r\n";
    const std::string fix = "0 0 1 1 1 0 0 0\r\n";
    const std::string beam = "$ mat poi radius len seg Beam\r\n210000.000000 0.300000 5.000000 50.000000 "
                             "10.000000\r\n\r\n$ x y z Beam\r\n0.000000 0.000000 0.000000\r\n\r\n";
    struct Case {
        std::string preFiles;
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {preFiles("beam.step", force, ""), "case static 1 10 1",
         "no constraint holds the part (a free body)"},
        {preFiles("beam.step", force, "0 0 0 0 0 1 1 1\r\n"), "case static 1 10 1", "a free body"},
        {preFiles("beam.step", force, "9 0 1 1 1 0 0 0\r\n"), "case static 1 10 1",
         "a constraint names face 9, but the part has faces 0 to 5"},
        {preFiles("beam.step", force, fix, beam), "case static 1 10 1",
         "beams, springs and connections are not analysed; the model holds:\n  beam 1"},
        {preFiles("missing.step", force, fix), "case static 1 10 1",
         "cannot read the STEP file missing.step"},
        // An RB3 centre held in translation only lets the part turn about it.
        {preFiles(
             "beam.step", force, "",
             "$ id RB3\r\n0\r\n\r\n$ type id ids x y z RB3\r\nP 0 1 -10.000000 10.000000 5.000000\r\n\r\n"
             "$ con type id ids xd yd zd xr yr zr RB3\r\nP 0 1 1 1 1 0 0 0\r\n\r\n"),
         "case static 1 10 1",
         "do not balance the applied force 0 0 -100 N: the constraints leave the part free"},
    };
    for (const Case& c : cases) {
        fs::create_directories(scratch.path / resultName / "stale");
        std::ofstream(input / "preFiles.txt", std::ios::binary) << c.preFiles;
        const ProgramRun run = runSolver(scratch.path, c.arguments);
        EXPECT_NE(run.status, 0) << c.message;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_NE(readText(scratch.path / "solver.log").find(c.message), std::string::npos) << c.message;
        EXPECT_FALSE(fs::exists(scratch.path / resultName)) << c.message;
        for (const auto& entry : fs::directory_iterator(scratch.path)) {
            EXPECT_TRUE(entry.path().filename() == "case" || entry.path().filename() == "solver.log")
                << entry.path();
        }
    }

    // A wrong word stops the run before any work, with status 2.
    fs::remove(scratch.path / "solver.log");
    const ProgramRun unknown = runSolver(scratch.path, "case dynamic 1 10 1");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("unknown analysis 'dynamic'"), std::string::npos) << unknown.output;
    EXPECT_FALSE(fs::exists(scratch.path / "solver.log"));
    EXPECT_EQ(runSolver(scratch.path, "case static 1 10").status, 2);
    // Ranks other than 0 of an mpirun leave at once and touch nothing.
    const std::string rankOne = "cd '" + scratch.path.string() + "' && OMPI_COMM_WORLD_RANK=1 '" +
                                ORVANE_SOLVER_PROGRAM + "' case dynamic";
    EXPECT_EQ(std::system(rankOne.c_str()), 0);
    EXPECT_FALSE(fs::exists(scratch.path / "solver.log"));
}

// A force on face N lands on nodes of face N and of no other, for every face
// of real parts.
TEST_F(SolverProgram, EveryFaceOfRealPartsIsFoundInTheMesh) {
    for (const char* name : {"screw.step", "linkrods.step"}) {
        const std::string path = std::string(ORVANE_OCC_DATA_DIR) + "/step/" + name;
        if (!fs::exists(path)) {
            GTEST_SKIP() << path << " is missing (Debian package occt-misc)";
        }
        std::ostringstream console;
        const auto model = orvane::readStepModel(path, console);
        ASSERT_TRUE(model) << name;
        std::ostringstream log;
        std::string error;
        const auto part = meshPart(model->workingShape, model->faces, 0.0, 1, 1, log, error);
        ASSERT_TRUE(part) << name << ": " << error;
        ASSERT_EQ(part->faces.size(), model->faces.size());
        for (std::size_t f = 0; f < model->faces.size(); ++f) {
            const SurfacePatch& patch = part->faces[f];
            ASSERT_FALSE(patch.triangles.empty()) << name << " face " << f;
            GProp_GProps props;
            BRepGProp::SurfaceProperties(model->faces[f], props);
            // The patch covers the face, roughly: a coarse mesh's flat
            // triangles cut the chords of curved edges and thin fillets.
            const double covered = patchProperties(part->mesh.nodes, patch).area / props.Mass();
            EXPECT_NEAR(covered, 1.0, 0.3) << name << " face " << f;
            const auto forces = consistentNodalForces(part->mesh.nodes, patch, {0.0, 0.0, 1.0}, {}, {});
            ASSERT_FALSE(forces.empty()) << name << " face " << f;
            const double tolerance = 1e-4 * std::sqrt(props.Mass());
            for (std::size_t n = 0; n < forces.size(); ++n) {
                if (forces[n] == std::array<double, 3>{}) {
                    continue;
                }
                const auto& p = part->mesh.nodes[n];
                BRepExtrema_DistShapeShape distance(
                    BRepBuilderAPI_MakeVertex(gp_Pnt(p[0], p[1], p[2])).Vertex(), model->faces[f]);
                ASSERT_TRUE(distance.IsDone());
                EXPECT_LT(distance.Value(), tolerance) << name << " face " << f << " node " << n + 1;
            }
        }
        orvane::closeDocument(model->document);
    }
}
