#include "geometry/CafModel.h"
#include "geometry/CircleFace.h"
#include "geometry/FaceBrep.h"
#include "geometry/ModelFiles.h"
#include "geometry/ProcessRunner.h"
#include "geometry/ShapeExporter.h"
#include "geometry/SphereCut.h"
#include "geometry/StepModel.h"

#include <gtest/gtest.h>

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepGProp.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <IGESControl_Reader.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPControl_Reader.hxx>
#include <StlAPI_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax1.hxx>
#include <gp_Pln.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <locale>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using orvane::ExportFormat;

namespace {

// Like the view, adopt the environment's locale: the comma-decimal pass
// checks that OpenCASCADE's writers and readers and ours still use points.
const bool localeAdopted = [] {
    std::setlocale(LC_ALL, "");
    return true;
}();

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++n;
    }
    return n;
}

std::vector<TopoDS_Shape> faces(const TopoDS_Shape& shape) {
    std::vector<TopoDS_Shape> result;
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        result.push_back(face.Current());
    }
    return result;
}

double area(const TopoDS_Shape& shape) {
    GProp_GProps properties;
    BRepGProp::SurfaceProperties(shape, properties);
    return properties.Mass();
}

TopoDS_Shape readBrep(const fs::path& path) {
    TopoDS_Shape shape;
    BRep_Builder builder;
    EXPECT_TRUE(BRepTools::Read(shape, path.string().c_str(), builder)) << path;
    return shape;
}

TopoDS_Shape box() {
    return BRepPrimAPI_MakeBox(10, 20, 30).Shape();
}

TopoDS_Shape cube() {
    return BRepPrimAPI_MakeBox(10, 10, 10).Shape();
}

class ShapeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvane-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        for (const Handle(TDocStd_Document) & document : documents) {
            orvane::closeDocument(document);
        }
        fs::remove_all(dir);
    }

    Handle(TDocStd_Document) documentOf(const std::vector<TopoDS_Shape>& shapes) {
        Handle(TDocStd_Document) document;
        XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", document);
        for (const TopoDS_Shape& shape : shapes) {
            XCAFDoc_DocumentTool::ShapeTool(document->Main())->AddShape(shape, true, true);
        }
        documents.push_back(document);
        return document;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    long files() const { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }

    // Runs the sphere cut expecting success and reads the region back.
    TopoDS_Shape cut(const gp_Pnt& centre, double radius, const TopoDS_Shape& shape) {
        testing::internal::CaptureStdout();
        EXPECT_TRUE(orvane::extractSphereRegion(centre, radius, shape, path("cut.brep"), path("cut.stl")));
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find("Start Writing STL 5555555.\naaa\n"), std::string::npos) << printed;
        return readBrep(path("cut.brep"));
    }

    int gaussPoints(const std::vector<std::string>& args) {
        std::ostringstream diagnostics;
        return orvane::runProgram(ORVANE_GAUSS_POINTS_PROGRAM, args, diagnostics);
    }

    fs::path dir;
    std::vector<Handle(TDocStd_Document)> documents;
};

} // namespace

TEST(ShapeFilesLocale, CommaDecimalLocaleIsActiveWhenRequested) {
    ASSERT_TRUE(localeAdopted);
    if (std::getenv("ORVANE_TEST_SET_LOCALE") == nullptr) {
        GTEST_SKIP() << "runs in the comma-decimal locale pass";
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "fr_FR.UTF-8 is not installed";
}

TEST_F(ShapeFiles, EveryFormatReadsBack) {
    const TopoDS_Shape wedge = readBrep(ORVANE_OCC_DATA_DIR "/occ/wedge_ok.brep");
    const std::size_t faceCount = 6 + faces(wedge).size();
    const Handle(TDocStd_Document) document = documentOf({box(), wedge});

    ASSERT_TRUE(orvane::exportDocument(path("m.step"), document, ExportFormat::Step));
    STEPControl_Reader step;
    ASSERT_EQ(step.ReadFile(path("m.step").c_str()), IFSelect_RetDone);
    step.TransferRoots();
    EXPECT_EQ(faces(step.OneShape()).size(), faceCount);
    EXPECT_NEAR(area(step.OneShape()), area(box()) + area(wedge), 1e-6);

    ASSERT_TRUE(orvane::exportDocument(path("m.igs"), document, ExportFormat::Iges));
    IGESControl_Reader iges;
    ASSERT_EQ(iges.ReadFile(path("m.igs").c_str()), IFSelect_RetDone);
    iges.TransferRoots();
    EXPECT_EQ(faces(iges.OneShape()).size(), faceCount);

    testing::internal::CaptureStdout();
    ASSERT_TRUE(orvane::exportDocument(path("m.stl"), document, ExportFormat::Stl));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("WriteSTL \nStart Writing STL.\n"),
              std::string::npos);
    EXPECT_EQ(slurp(path("m.stl")).rfind("solid", 0), 0U);
    EXPECT_GE(occurrences(slurp(path("m.stl")), "facet normal"), 12 + faces(wedge).size());

    ASSERT_TRUE(orvane::exportDocument(path("m.brep"), document, ExportFormat::Brep));
    EXPECT_EQ(faces(readBrep(path("m.brep"))).size(), faceCount);

    ASSERT_TRUE(orvane::exportDocument(path("m.glb"), document, ExportFormat::Glb));
    const std::string glb = slurp(path("m.glb"));
    ASSERT_GE(glb.size(), 12U);
    EXPECT_EQ(glb.substr(0, 4), "glTF");
    const auto byte = [&](std::size_t i) {
        return static_cast<std::size_t>(static_cast<unsigned char>(glb[i]));
    };
    EXPECT_EQ(byte(8) | byte(9) << 8 | byte(10) << 16 | byte(11) << 24, glb.size()) << "length in the header";

    EXPECT_EQ(files(), 5) << "no temporary or side file is left";
}

TEST_F(ShapeFiles, GlbIsInMetresWithYUp) {
    ASSERT_TRUE(orvane::exportDocument(path("box.glb"), documentOf({box()}), ExportFormat::Glb));
    // The 10 x 20 x 30 mm box with Z up spans 0.01 x 0.03 x 0.02 m with Y up
    // (Z becomes Y, Y becomes -Z); the bounds of its top face show it.
    const std::string json = slurp(path("box.glb"));
    EXPECT_NE(json.find("\"max\":[0.01,0.03,0.0],\"min\":[0.0,0.03,-0.02]"), std::string::npos);
}

TEST_F(ShapeFiles, BadExportsWriteNothing) {
    const Handle(TDocStd_Document) document = documentOf({box()});
    std::ofstream(path("kept.step")) << "old";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(orvane::exportDocument(path("kept.step"), document, static_cast<ExportFormat>(5)));
    EXPECT_FALSE(orvane::exportDocument(path("kept.step"), Handle(TDocStd_Document)(), ExportFormat::Step));
    EXPECT_FALSE(orvane::exportDocument(path("missing/m.step"), document, ExportFormat::Step));
    EXPECT_FALSE(orvane::exportDocument(path("missing/m.glb"), document, ExportFormat::Glb));
    EXPECT_FALSE(orvane::exportDocument(path("empty.stl"), documentOf({}), ExportFormat::Stl))
        << "no triangles";
    EXPECT_FALSE(orvane::exportShapeStl(TopoDS_Shape(), path("null.stl")));
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStderr(), "\n"), 6U) << "one line each";
    EXPECT_EQ(slurp(path("kept.step")), "old");
    EXPECT_EQ(files(), 1);
}

// Key and command words reach the disc unchecked: a NaN or a value beyond
// OpenCASCADE's range crashed its plane fitting.
TEST_F(ShapeFiles, CircleFacesOutsideTheModellingRangeAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(orvane::writeCircleFaceBrep(path("circle0.brep"), {2.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, 1.5));
    BRep_Builder builder;
    TopoDS_Shape disc;
    ASSERT_TRUE(BRepTools::Read(disc, path("circle0.brep").c_str(), builder));
    GProp_GProps area;
    BRepGProp::SurfaceProperties(disc, area);
    EXPECT_NEAR(area.Mass(), M_PI * 1.5 * 1.5, 1e-6);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        orvane::writeCircleFaceBrep(path("nan.brep"), {nan, 4.9e-324, -1e300}, {1.0, 0.0, 0.0}, 1.5));
    EXPECT_FALSE(orvane::writeCircleFaceBrep(path("far.brep"), {0.0, 0.0, 1e300}, {1.0, 0.0, 0.0}, 1.5));
    EXPECT_FALSE(orvane::writeCircleFaceBrep(path("normal.brep"), {0.0, 0.0, 0.0}, {nan, 0.0, 1.0}, 1.5));
    EXPECT_FALSE(orvane::writeCircleFaceBrep(path("zero.brep"), {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, 1.5));
    EXPECT_FALSE(orvane::writeCircleFaceBrep(path("tiny.brep"), {0.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, 1e-300));
    EXPECT_FALSE(orvane::writeCircleFaceBrep(path("huge.brep"), {0.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, 1e300));
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStderr(), "Failed to create face!"), 6U);
    EXPECT_EQ(files(), 1) << "only the good disc";
}

TEST_F(ShapeFiles, SingleShapeStlHasItsTriangles) {
    ASSERT_TRUE(orvane::exportShapeStl(box(), path("model3.stl")));
    EXPECT_EQ(occurrences(slurp(path("model3.stl")), "facet normal"), 12U) << "two triangles a side";
}

TEST_F(ShapeFiles, AsciiStlHasTheBytesOfOpenCascadesWriter) {
    std::optional<orvane::StepModel> screw =
        orvane::readStepModel(std::string(ORVANE_OCC_DATA_DIR) + "/step/screw.step", std::cout);
    ASSERT_TRUE(screw);
    orvane::meshStepModel(*screw);
    orvane::closeDocument(screw->document);
    // Boxes placed by a rotation, turned inside out, and one left unmeshed.
    const TopoDS_Shape meshed = box();
    BRepMesh_IncrementalMesh mesher(meshed, 0.5);
    gp_Trsf turn;
    turn.SetRotation(gp_Ax1(gp_Pnt(1, 2, 3), gp_Dir(1, 1, 0)), 0.7);
    TopoDS_Compound mixed;
    BRep_Builder builder;
    builder.MakeCompound(mixed);
    builder.Add(mixed, meshed.Moved(TopLoc_Location(turn)));
    builder.Add(mixed, meshed.Reversed());
    builder.Add(mixed, cube());
    builder.Add(mixed, faces(meshed)[2].Reversed());

    const std::vector<std::pair<std::string, TopoDS_Shape>> shapes = {
        {"screw-working", screw->workingShape}, {"screw-whole", screw->wholeModel}, {"mixed", mixed}};
    for (const auto& [name, shape] : shapes) {
        StlAPI_Writer reference;
        ASSERT_TRUE(reference.Write(shape, path(name + "-occt.stl").c_str())) << name;
        EXPECT_EQ(orvane::writeCheckedStl(shape, path(name + ".stl")), std::nullopt) << name;
        const std::string expected = slurp(path(name + "-occt.stl"));
        EXPECT_GE(occurrences(expected, "facet normal"), 26U) << name;
        EXPECT_TRUE(slurp(path(name + ".stl")) == expected) << name << " differs";
    }
    // Neither writes a file for a shape without triangles.
    StlAPI_Writer reference;
    EXPECT_FALSE(reference.Write(cube(), path("unmeshed-occt.stl").c_str()));
    EXPECT_EQ(orvane::writeCheckedStl(cube(), path("unmeshed.stl")), "the STL writer failed");
    EXPECT_EQ(files(), 6);
}

TEST_F(ShapeFiles, WholeModelStlWithPointAndTriangleFiles) {
    gp_Trsf shift;
    shift.SetTranslation(gp_Vec(100, 0, 0));
    orvane::CafModel model;
    model.document = documentOf({box().Moved(TopLoc_Location(shift))});

    testing::internal::CaptureStdout();
    ASSERT_TRUE(model.WriteStl(path("whole.model.stl"), true, true));
    EXPECT_NE(testing::internal::GetCapturedStdout().find(path("whole.model") + "\n"), std::string::npos);
    EXPECT_EQ(occurrences(slurp(path("whole.model.stl")), "facet normal"), 12U);
    std::ifstream points(path("whole.model.pts"));
    int nodes = 0;
    for (double x = 0, y = 0, z = 0; points >> x >> y >> z; ++nodes) {
        EXPECT_TRUE(x >= 100 && x <= 110 && y >= 0 && y <= 20 && z >= 0 && z <= 30)
            << "placed by the location";
    }
    EXPECT_EQ(nodes, 24) << "four corners a side";
    std::ifstream triangles(path("whole.model.tri"));
    int triangleCount = 0;
    for (int a = 0, b = 0, c = 0; triangles >> a >> b >> c; ++triangleCount) {
        const int first = triangleCount / 2 * 4 + 1; // each side: two triangles on its own four nodes
        EXPECT_TRUE(std::min({a, b, c}) >= first && std::max({a, b, c}) < first + 4)
            << a << " " << b << " " << c;
    }
    EXPECT_EQ(triangleCount, 12);

    ASSERT_TRUE(model.WriteStl(path("binary.stl"), false, false));
    EXPECT_EQ(fs::file_size(path("binary.stl")), 84U + 50U * 12U);
    EXPECT_FALSE(fs::exists(path("binary.pts")));
}

TEST_F(ShapeFiles, PointTriangleFilesSkipUnmeshedFacesAndKeepStoredTriangleOrder) {
    const TopoDS_Shape meshed = box();
    BRepMesh_IncrementalMesh mesher(meshed, 0.5);
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    builder.Add(both, meshed.Reversed());
    builder.Add(both, cube());

    const std::vector<orvane::MeshFace> result = orvane::meshFaces(both);
    ASSERT_EQ(result.size(), 12U);
    for (std::size_t i = 0; i < 6; ++i) {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) stored =
            BRep_Tool::Triangulation(TopoDS::Face(faces(meshed)[i]), location);
        ASSERT_TRUE(result[i].triangulated);
        ASSERT_EQ(result[i].triangles.size(), static_cast<std::size_t>(stored->NbTriangles()));
        std::array<int, 3> first{};
        stored->Triangle(1).Get(first[0], first[1], first[2]);
        EXPECT_EQ(result[i].triangles[0], first) << "the reversed face keeps the stored order";
        EXPECT_FALSE(result[i + 6].triangulated);
    }
    testing::internal::CaptureStdout();
    ASSERT_TRUE(orvane::CafModel::WritePointTriangleFiles(path("half"), both));
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStdout(), "triFace is Null\n"), 6U);
    EXPECT_EQ(occurrences(slurp(path("half.pts")), "\n"), 24U);
}

TEST_F(ShapeFiles, FaceBrepAndGaussPointFiles) {
    const TopoDS_Shape face = faces(box()).front();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(orvane::writeFaceBrep(face, path("face 1.brep")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Successfully saved face to " + path("face 1.brep") + "\n");
    EXPECT_NEAR(area(readBrep(path("face 1.brep"))), area(face), 1e-9);
    for (const std::string& target : {path("missing/f.brep"), path("null.brep")}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(orvane::writeFaceBrep(target == path("null.brep") ? TopoDS_Shape() : face, target));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to save face to " + target + "\n"),
                  std::string::npos);
    }

    std::ofstream(path("guass_data_3.txt")) << "1 2 3\n4.5 -5 6e-1\n7\n";
    const std::vector<orvane::GaussPoint> points = orvane::readGaussPoints(path("guass_data_3.txt"), 3);
    ASSERT_EQ(points.size(), 2U);
    EXPECT_TRUE(points[1].faceIndex == 3 && points[1].x == 4.5 && points[1].y == -5 && points[1].z == 0.6);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(orvane::readGaussPoints(path("missing.txt"), 0).empty());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing.txt"), std::string::npos);
    EXPECT_EQ(files(), 2);
}

TEST_F(ShapeFiles, SphereRegionKeepsTheCutsOfFacesInside) {
    const std::vector<TopoDS_Shape> whole = faces(cut(gp_Pnt(5, 5, 5), 9, cube()));
    ASSERT_EQ(whole.size(), 6U) << "the ball holds the cube";
    for (const TopoDS_Shape& face : whole) {
        EXPECT_NEAR(area(face), 100, 1e-6);
    }
    EXPECT_NE(slurp(path("cut.stl")).find("facet normal"), std::string::npos);

    const std::vector<TopoDS_Shape> corner = faces(cut(gp_Pnt(0, 0, 0), 2, cube()));
    ASSERT_EQ(corner.size(), 3U);
    for (const TopoDS_Shape& face : corner) {
        EXPECT_NEAR(area(face), 3.141592653589793, 1e-6) << "a quarter disc";
    }
}

TEST_F(ShapeFiles, SphereRegionOfTheScrewStaysInTheBall) {
    std::ostringstream console;
    const std::optional<orvane::StepModel> model =
        orvane::readStepModel(ORVANE_OCC_DATA_DIR "/step/screw.step", console);
    ASSERT_TRUE(model);
    documents.push_back(model->document);
    const std::array<double, 6> box = orvane::faceBox(model->faces[0]);
    const gp_Pnt centre((box[0] + box[3]) / 2, (box[1] + box[4]) / 2, (box[2] + box[5]) / 2);
    const TopoDS_Shape region = cut(centre, 2, model->workingShape);
    EXPECT_FALSE(faces(region).empty());
    for (TopExp_Explorer vertex(region, TopAbs_VERTEX); vertex.More(); vertex.Next()) {
        EXPECT_LE(BRep_Tool::Pnt(TopoDS::Vertex(vertex.Current())).Distance(centre), 2 + 1e-3);
    }
}

TEST_F(ShapeFiles, EmptySphereRegionStillReplacesBothFiles) {
    std::ofstream(path("cut.stl")) << "solid earlier cut\n facet normal 0 0 1\n";
    EXPECT_TRUE(faces(cut(gp_Pnt(100, 100, 100), 1, cube())).empty());
    EXPECT_EQ(slurp(path("cut.stl")), "solid \nendsolid\n");
    fs::remove(path("cut.stl"));
    EXPECT_TRUE(faces(cut(gp_Pnt(0, 0, 0), 1, TopoDS_Shape())).empty()) << "a null shape";
    EXPECT_EQ(slurp(path("cut.stl")), "solid \nendsolid\n");
}

TEST_F(ShapeFiles, BadSphereRegionWritesNothing) {
    for (const double radius : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(
            orvane::extractSphereRegion(gp_Pnt(5, 5, 5), radius, cube(), path("cut.brep"), path("cut.stl")));
        EXPECT_EQ(occurrences(testing::internal::GetCapturedStderr(), "radius"), 1U) << radius;
    }
    std::ofstream(path("cut.brep")) << "old";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        orvane::extractSphereRegion(gp_Pnt(5, 5, 5), 9, cube(), path("cut.brep"), path("missing/cut.stl")));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing/cut.stl"), std::string::npos);
    EXPECT_EQ(slurp(path("cut.brep")), "old") << "the pair is replaced together or not at all";
    EXPECT_EQ(files(), 1);
}

TEST_F(ShapeFiles, GaussPointsOfASquareIntegrateItExactly) {
    // A 10 x 10 square in the XY plane, lifted to z = 5 by its location.
    gp_Trsf lift;
    lift.SetTranslation(gp_Vec(0, 0, 5));
    const TopoDS_Shape square = BRepBuilderAPI_MakeFace(gp_Pln(gp::Origin(), gp::DZ()), 0, 10, 0, 10)
                                    .Shape()
                                    .Moved(TopLoc_Location(lift));
    ASSERT_TRUE(BRepTools::Write(square, path("square face.brep").c_str()));
    ASSERT_EQ(gaussPoints({path("square face.brep"), path("points.txt")}), 0);
    std::vector<gp_Pnt> points;
    for (const orvane::GaussPoint& point : orvane::readGaussPoints(path("points.txt"), 0)) {
        points.emplace_back(point.x, point.y, point.z);
    }

    const TopoDS_Shape meshed = readBrep(path("square face.brep"));
    orvane::meshShape(meshed, 0.2, 20 * 3.141592653589793 / 180);
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(faces(meshed).front()), location);
    ASSERT_FALSE(mesh.IsNull());
    ASSERT_EQ(points.size(), 3U * static_cast<std::size_t>(mesh->NbTriangles()));

    // A triangle's three points span a triangle a quarter of its area, so the
    // areas add up to the square's and the rule integrates x exactly.
    double total = 0;
    double integralOfX = 0;
    for (std::size_t i = 0; i < points.size(); i += 3) {
        const double triangleArea =
            2 * gp_Vec(points[i], points[i + 1]).Crossed(gp_Vec(points[i], points[i + 2])).Magnitude();
        total += triangleArea;
        integralOfX += triangleArea * (points[i].X() + points[i + 1].X() + points[i + 2].X()) / 3;
    }
    EXPECT_NEAR(total, 100, 1e-9);
    EXPECT_NEAR(integralOfX, 500, 1e-9);
    for (const gp_Pnt& point : points) {
        EXPECT_TRUE(std::abs(point.Z() - 5) < 1e-12 && point.X() > 0 && point.X() < 10 && point.Y() > 0 &&
                    point.Y() < 10)
            << point.X() << " " << point.Y() << " " << point.Z();
    }
}

TEST_F(ShapeFiles, GaussPointsProgramRejectsBadInputWithoutTouchingTheOutput) {
    std::ofstream(path("out.txt")) << "1 2 3\n";
    std::ofstream(path("garbage.brep")) << "CASCADE Topology V1, (c) Matra-Datavision\nLocations 3\n1\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{path("missing.brep"), path("out.txt")},
                                               {path("garbage.brep"), path("out.txt")},
                                               {ORVANE_OCC_DATA_DIR "/occ/edge.brep", path("out.txt")},
                                               {path("out.txt")},
                                               {path("garbage.brep"), path("out.txt"), "extra"}}) {
        EXPECT_NE(gaussPoints(args), 0) << args.front();
        EXPECT_EQ(slurp(path("out.txt")), "1 2 3\n") << args.front();
    }
    EXPECT_EQ(files(), 2) << "nothing new";
}
