// The solver's pure parts: the view's preFiles.txt, the run arguments, the
// CalculiX deck and result files, and the nodal loads of a face.

#include "CalculixFiles.h"
#include "FaceLoads.h"
#include "SolverInput.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <sstream>

using namespace orvane::solver;

namespace {

const std::string title = "\xbd\xe1\xb9\xb9\xbe\xb2\xc1\xa6\xd1\xa7\xc7\xb0\xb4\xa6\xc0\xed\xce\xc4\xbc\xfe";

std::string preFiles(const std::string& materials, const std::string& forces, const std::string& fixes,
                     const std::string& tail = "") {
    return title + "\r\n\r\n$ address\r\nC:\\models\\my part.step\r\n\r\n$ materials\r\n" + materials +
           "\r\n\r\n$ BPP\r\n0 0\r\n\r\n$ brepFiles\r\n\r\n$ forceFace id xn yn zn xr yr zr\r\n" + forces +
           "\r\n$ fixFace id xn yn zn xr yr zr\r\n" + fixes + "\r\n" + tail;
}

std::optional<SolverInput> parse(const std::string& text, std::string& error) {
    std::istringstream in(text);
    return parseSolverInput(in, error);
}

class SolverFiles : public ::testing::Test {
protected:
    void SetUp() override {
        // The fr_FR run of this suite checks that numbers ignore the locale,
        // the C one and the streams' global one.
        if (std::getenv("ORVANE_TEST_SET_LOCALE")) {
            std::locale::global(std::locale(""));
            ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "fr_FR.UTF-8 is not installed";
        }
    }
};

} // namespace

TEST_F(SolverFiles, ReadsTheViewsFileWithItsLoadsSupportsAndCouplings) {
    const std::string rb3 =
        "$ id RB3\r\n4\r\n5\r\n\r\n$ type id ids x y z RB3\r\nP 0 5 10.000000 20.000000 "
        "30.500000\r\n\r\n$ con type id ids xd yd zd xr yr zr RB3\r\nP 0 5 1 0 1 0 0 0\r\n\r\n"
        "$ arrow type id ids xn yn zn xr yr zr RB3\r\nP 0 5 1.500000 0.000000 0.000000 "
        "0.000000 0.000000 -2.000000\r\n\r\n";
    std::string error;
    const auto input = parse(preFiles("1.000000 210000.000000 0.300000 7850.000000 235.000000 ",
                                      "7 0.000000 0.000000 -100.000000 0.000000 25.000000 0.000000\r\n",
                                      "3 0 1 1 1 0 0 1\r\n", rb3),
                             error);
    ASSERT_TRUE(input) << error;
    EXPECT_EQ(input->address, "C:\\models\\my part.step");
    EXPECT_EQ(pathBaseName(input->address), "my part.step");
    EXPECT_EQ(input->material.youngsModulus, 210000.0); // the last four values
    EXPECT_EQ(input->material.yieldStrength, 235.0);
    EXPECT_DOUBLE_EQ(densityTonnesPerCubicMillimetre(input->material.density), 7.85e-9);
    ASSERT_EQ(input->loads.size(), 1u);
    EXPECT_EQ(input->loads[0].face, 7);
    EXPECT_EQ(input->loads[0].force[2], -100.0);
    EXPECT_EQ(input->loads[0].moment[1], 25.0);
    ASSERT_EQ(input->supports.size(), 1u);
    EXPECT_EQ(input->supports[0].face, 3);
    EXPECT_EQ(input->supports[0].rotation[2], 1);
    ASSERT_EQ(input->couplings.size(), 1u);
    const Rb3Coupling& c = input->couplings[0];
    EXPECT_EQ(c.faces, (std::vector<int>{4, 5}));
    EXPECT_EQ(c.centre[2], 30.5);
    ASSERT_EQ(c.supports.size(), 1u);
    EXPECT_EQ(c.supports[0].translation, (std::array<int, 3>{1, 0, 1}));
    ASSERT_EQ(c.loads.size(), 1u);
    EXPECT_EQ(c.loads[0].moment[2], -2.0);
    EXPECT_TRUE(input->unsupported.empty());
}

TEST_F(SolverFiles, RefusesWrongMaterialsAndListsBeamsSpringsAndConnections) {
    std::string error;
    const std::string force = "1 0.000000 0.000000 -1.000000 0.000000 0.000000 0.000000\r\n";
    const std::string fix = "0 0 1 1 1 0 0 0\r\n";
    EXPECT_FALSE(parse(preFiles("210000.000000 0.300000 7850.000000 ", force, fix), error));
    EXPECT_NE(error.find("needs four"), std::string::npos) << error;
    EXPECT_FALSE(parse(preFiles("0.000000 0.300000 7850.000000 235.000000 ", force, fix), error));
    EXPECT_NE(error.find("Young"), std::string::npos) << error;
    EXPECT_FALSE(parse(preFiles("210000.000000 0.500000 7850.000000 235.000000 ", force, fix), error));
    EXPECT_NE(error.find("Poisson"), std::string::npos) << error;
    EXPECT_FALSE(parse(preFiles("210000.000000 0.300000 0.000000 235.000000 ", force, fix), error));
    EXPECT_NE(error.find("density"), std::string::npos) << error;
    EXPECT_FALSE(
        parse(preFiles("210000.000000 0.300000 7850.000000 235.000000 ", "7 0 0 x\r\n", fix), error));
    EXPECT_NE(error.find("line 15"), std::string::npos) << error;

    // The view's full golden file: two beams, their constraints and forces,
    // two springs and two connections.
    std::ifstream golden(std::string(ORVANE_MODEL_GOLDEN_DIR) + "/full_preFiles.txt", std::ios::binary);
    std::stringstream text;
    text << golden.rdbuf();
    std::string full = text.str();
    const std::string shortMaterials = "210000.000000 0.300000 7850.000000 ";
    full.replace(full.find(shortMaterials), shortMaterials.size(), shortMaterials + "235.000000 ");
    const auto input = parse(full, error);
    ASSERT_TRUE(input) << error;
    ASSERT_EQ(input->unsupported.size(), 12u);
    EXPECT_EQ(input->unsupported[0], "beam 1");
    EXPECT_EQ(input->unsupported[1], "beam 2");
    EXPECT_NE(input->unsupported[6].find("spring"), std::string::npos);
    EXPECT_NE(input->unsupported[9].find("connection 'P 0 4"), std::string::npos);
    EXPECT_EQ(input->unsupported[10], "constraint on a point that is no RB3 centre 'P 0 2 0 1 0 1 1 1'");
    EXPECT_EQ(input->unsupported[11].rfind("force on a point", 0), 0u);
}

TEST_F(SolverFiles, RunArgumentsAreCheckedWordByWord) {
    std::string error;
    const auto both = parseRunOptions("both", "6", "2.5", "1", error);
    ASSERT_TRUE(both) << error;
    EXPECT_TRUE(wantsStatic(*both) && wantsModal(*both));
    EXPECT_EQ(both->elementSize, 2.5);
    EXPECT_EQ(both->elementOrder, 1);
    EXPECT_TRUE(parseRunOptions("static", "0", "0", "2", error)); // modes unused
    for (const auto& words : std::vector<std::array<const char*, 5>>{{"dynamic", "1", "0", "2", "dynamic"},
                                                                     {"modal", "0", "0", "2", "'0'"},
                                                                     {"modal", "51", "0", "2", "'51'"},
                                                                     {"modal", "3", "-1", "2", "'-1'"},
                                                                     {"modal", "3", "1mm", "2", "'1mm'"},
                                                                     {"modal", "3", "0", "3", "'3'"}}) {
        EXPECT_FALSE(parseRunOptions(words[0], words[1], words[2], words[3], error)) << words[4];
        EXPECT_NE(error.find(words[4]), std::string::npos) << error;
    }
}

TEST_F(SolverFiles, DeckAndResultFilesOfCalculix) {
    TetMesh mesh;
    mesh.order = 1;
    mesh.nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    mesh.elements = {{1, 2, 3, 4}};
    Deck deck;
    deck.mesh = &mesh;
    deck.material = {210000.0, 0.3, 7850.0, 235.0};
    deck.forces = {{4, {0.0, 0.0, -10.0}}};
    deck.supports = {{"NFIX1", {1, 2, 3}, {1, 0, 1}}};
    deck.modeCount = 2;
    std::ostringstream out;
    writeDeck(deck, out);
    const std::string text = out.str();
    for (const char* wanted :
         {"*ELEMENT, TYPE=C3D4, ELSET=EALL\n1, 1, 2, 3, 4\n", "*NSET, NSET=NFIX1\n1, 2, 3,\n",
          "*DENSITY\n7.85e-09\n", "NFIX1, 1, 1\nNFIX1, 3, 3\n*STEP\n*STATIC\n*CLOAD\n4, 3, -10\n",
          "*NODE PRINT, NSET=NFIX1, TOTALS=ONLY\nRF\n", "*FREQUENCY\n2\n"}) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted << "\nin\n" << text;
    }
    EXPECT_EQ(text.find("NFIX1, 2, 2"), std::string::npos);
    EXPECT_EQ(calculixTet10FromGmsh({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 10, 9}));

    // Fields touch when a value is negative; DISP names four components
    // (with its magnitude) but writes three.
    std::istringstream frd(
        "    2C                             2                                     1\n"
        " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n -3\n"
        "  100CL  101 1.000000000           2                     0    1           1\n"
        " -4  DISP        4    1\n -5  D1          1    2    1    0\n"
        " -1         1 1.52172E-02-2.03924E-04-1.03449E-01\n"
        " -1     12345-1.00000E+00 2.00000E+00-3.00000E+00\n -3\n"
        "  100CL  101 1.000000000           2                     0    1           1\n"
        " -4  STRESS      6    1\n"
        " -1         1-2.57143E+01-2.57143E+01-6.00000E+01 0.00000E+00 0.00000E+00 1.00000E+01\n"
        " -3\n"
        "  100CL  102 2.74000E+02           2                     2    2MODAL      1\n"
        " -4  DISP        4    1\n -1         1 1.00000E+00 0.00000E+00 0.00000E+00\n -3\n");
    std::string error;
    const auto blocks = parseFrd(frd, error);
    ASSERT_TRUE(blocks) << error;
    ASSERT_EQ(blocks->size(), 3u);
    EXPECT_EQ((*blocks)[0].values.at(1), (std::vector<double>{1.52172e-2, -2.03924e-4, -1.03449e-1}));
    EXPECT_EQ((*blocks)[0].values.at(12345)[2], -3.0);
    EXPECT_FALSE((*blocks)[1].modal);
    EXPECT_NEAR(vonMises((*blocks)[1].values.at(1)), std::sqrt(34.2857 * 34.2857 + 300.0), 1e-3);
    EXPECT_TRUE((*blocks)[2].modal);
    std::istringstream broken(" -4  DISP        4    1\n -1         1 abc\n");
    EXPECT_FALSE(parseFrd(broken, error));

    std::istringstream dat("\n total force (fx,fy,fz) for set NFIX1 and time  0.1000000E+01\n\n"
                           "        1.000000E-03  0.000000E+00  1.000000E+02\n\n"
                           "     E I G E N V A L U E   O U T P U T\n\n MODE NO    EIGENVALUE  FREQUENCY\n"
                           "                                     REAL PART            IMAGINARY PART\n\n"
                           "      1   0.1733092E+07   0.1316E+04   0.2095E+03   0.0E+00\n"
                           "      2   0.6828694E+07   0.2613E+04   0.4159E+03   0.0E+00\n\n"
                           "     P A R T I C I P A T I O N   F A C T O R S\n\n"
                           "      1   0.5000000E+00   0.0000000E+00   0.0000000E+00   0.0000000E+00\n"
                           " total force (fx,fy,fz) for set NFIX1 and time  0.2000000E+01\n\n"
                           "        0.000000E+00  0.000000E+00  5.000000E+00\n");
    const DatSummary summary = parseDat(dat);
    EXPECT_EQ(summary.eigenvalues, (std::vector<double>{1.733092e6, 6.828694e6}));
    ASSERT_EQ(summary.reactionTotals.size(), 1u);
    EXPECT_EQ(summary.reactionTotals[0].first, "NFIX1");
    EXPECT_EQ(summary.reactionTotals[0].second[2], 100.0);
}

TEST_F(SolverFiles, FaceLoadsAddUpToTheForceAndMomentAskedFor) {
    // A 20 x 10 rectangle at x = 200 in two linear and two quadratic
    // triangles (edge nodes after the corners).
    const Points nodes = {{200, 0, 0},  {200, 20, 0}, {200, 20, 10}, {200, 0, 10}, {200, 10, 0},
                          {200, 20, 5}, {200, 10, 5}, {200, 10, 10}, {200, 0, 5}};
    for (const SurfacePatch& patch :
         {SurfacePatch{{{1, 2, 3}, {1, 3, 4}}}, SurfacePatch{{{1, 2, 3, 5, 6, 7}, {1, 3, 4, 7, 8, 9}}}}) {
        const PatchProperties p = patchProperties(nodes, patch);
        EXPECT_DOUBLE_EQ(p.area, 200.0);
        EXPECT_NEAR(p.centroid[1], 10.0, 1e-12);
        EXPECT_NEAR(p.centroid[2], 5.0, 1e-12);
        const std::array<double, 3> force{3.0, -4.0, -100.0};
        const std::array<double, 3> moment{50.0, 7.0, -9.0};
        for (const std::array<double, 3>& about : {p.centroid, std::array<double, 3>{0.0, 10.0, 5.0}}) {
            const auto f = consistentNodalForces(nodes, patch, force, moment, about);
            ASSERT_EQ(f.size(), nodes.size());
            std::array<double, 3> total{};
            std::array<double, 3> turning{};
            for (std::size_t n = 0; n < nodes.size(); ++n) {
                const std::array<double, 3> r{nodes[n][0] - about[0], nodes[n][1] - about[1],
                                              nodes[n][2] - about[2]};
                for (std::size_t k = 0; k < 3; ++k) {
                    total[k] += f[n][k];
                }
                turning[0] += r[1] * f[n][2] - r[2] * f[n][1];
                turning[1] += r[2] * f[n][0] - r[0] * f[n][2];
                turning[2] += r[0] * f[n][1] - r[1] * f[n][0];
            }
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_NEAR(total[k], force[k], 1e-9);
                EXPECT_NEAR(turning[k], moment[k], 1e-8);
            }
        }
        // A uniform load leaves the corners of quadratic triangles unloaded.
        if (patch.triangles[0].size() == 6) {
            const auto f = consistentNodalForces(nodes, patch, {0.0, 0.0, -6.0}, {}, p.centroid);
            EXPECT_NEAR(f[0][2], 0.0, 1e-12);
            EXPECT_NEAR(f[6][2], -2.0, 1e-12); // shared edge node: a third of each half
        }
    }
    EXPECT_TRUE(consistentNodalForces(nodes, SurfacePatch{{{1, 5, 2}}}, {1.0, 0.0, 0.0}, {}, {}).empty());
}
