#include "geometry/IsolatedStepRead.h"
#include "geometry/ModelFiles.h"
#include "geometry/ShapeExporter.h"
#include "geometry/StepModel.h"

#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <STEPControl_Writer.hxx>
#include <TDF_LabelSequence.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shell.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kOccData = ORVANE_OCC_DATA_DIR;

std::size_t count(const TopoDS_Shape& shape, TopAbs_ShapeEnum type) {
    std::size_t n = 0;
    for (TopExp_Explorer explorer(shape, type); explorer.More(); explorer.Next()) {
        ++n;
    }
    return n;
}

TopoDS_Shape readBrep(const std::string& path) {
    TopoDS_Shape shape;
    BRep_Builder builder;
    EXPECT_TRUE(BRepTools::Read(shape, path.c_str(), builder)) << path;
    return shape;
}

int freeShapes(const Handle(TDocStd_Document) & document) {
    TDF_LabelSequence labels;
    XCAFDoc_DocumentTool::ShapeTool(document->Main())->GetFreeShapes(labels);
    return labels.Length();
}

// The plain route: a STEP reader for the shapes, a second XCAF read for the
// document.
orvane::StepModel readTwice(const std::string& path) {
    orvane::StepModel model;
    STEPControl_Reader reader;
    EXPECT_EQ(reader.ReadFile(path.c_str()), IFSelect_RetDone);
    const int roots = reader.NbRootsForTransfer();
    for (int n = 1; n <= roots; ++n) {
        reader.TransferRoot(n);
    }
    model.workingShape = reader.Shape(reader.NbShapes());
    const TopAbs_Orientation orientation = model.workingShape.Orientation();
    for (TopExp_Explorer solid(model.workingShape, TopAbs_SOLID); solid.More(); solid.Next()) {
        model.solids.push_back(solid.Current().Composed(orientation));
    }
    for (TopExp_Explorer face(model.workingShape, TopAbs_FACE); face.More(); face.Next()) {
        model.faces.push_back(TopoDS::Face(face.Current().Composed(orientation)));
    }
    XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", model.document);
    STEPCAFControl_Reader cafReader;
    cafReader.SetColorMode(true);
    cafReader.SetNameMode(true);
    EXPECT_EQ(cafReader.ReadFile(path.c_str()), IFSelect_RetDone);
    EXPECT_TRUE(cafReader.Transfer(model.document));
    return model;
}

class StepModel : public ::testing::Test {
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

    orvane::StepModel read(const std::string& path) {
        std::ostringstream console;
        std::optional<orvane::StepModel> model = orvane::readStepModel(path, console);
        EXPECT_EQ(console.str(), "Read Stp File...\n");
        if (!model) {
            ADD_FAILURE() << "cannot read " << path;
            return {};
        }
        documents.push_back(model->document);
        return *model;
    }

    // Two roots: the nut, then the wedge.
    std::string twoRoots() const {
        const std::string path = (dir / "two roots.step").string();
        STEPControl_Writer writer;
        writer.Transfer(readBrep(kOccData + "/occ/mal_ecrou.brep"), STEPControl_AsIs);
        writer.Transfer(readBrep(kOccData + "/occ/wedge_ok.brep"), STEPControl_AsIs);
        EXPECT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
        return path;
    }

    // An open shell of three box faces: surfaces without a solid.
    std::string surfaces() const {
        const std::string path = (dir / "surfaces.step").string();
        TopoDS_Shell shell;
        BRep_Builder builder;
        builder.MakeShell(shell);
        TopExp_Explorer face(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), TopAbs_FACE);
        for (int i = 0; i < 3; ++i, face.Next()) {
            builder.Add(shell, face.Current());
        }
        STEPControl_Writer writer;
        writer.Transfer(shell, STEPControl_AsIs);
        EXPECT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
        return path;
    }

    // One wedge placed twice in an assembly, with colours and names.
    std::string assembly() {
        const TopoDS_Shape part = readBrep(kOccData + "/occ/wedge_ok.brep");
        gp_Trsf shift;
        shift.SetTranslation(gp_Vec(100, 0, 0));
        TopoDS_Compound pair;
        BRep_Builder builder;
        builder.MakeCompound(pair);
        builder.Add(pair, part);
        builder.Add(pair, part.Moved(TopLoc_Location(shift)));
        Handle(TDocStd_Document) document;
        XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", document);
        documents.push_back(document);
        XCAFDoc_DocumentTool::ShapeTool(document->Main())->AddShape(pair, true, true);
        const std::string path = (dir / "assembly.step").string();
        EXPECT_TRUE(orvane::exportDocument(path, document, orvane::ExportFormat::Step));
        return path;
    }

    fs::path dir;
    std::vector<Handle(TDocStd_Document)> documents;
};

} // namespace

TEST_F(StepModel, OneReadMatchesTwoReads) {
    for (const std::string& path : {kOccData + "/step/screw.step", twoRoots(), surfaces(), assembly()}) {
        const orvane::StepModel once = read(path);
        const orvane::StepModel twice = readTwice(path);
        documents.push_back(twice.document);
        EXPECT_EQ(once.solids.size(), twice.solids.size()) << path;
        ASSERT_EQ(once.faces.size(), twice.faces.size()) << path;
        for (std::size_t i = 0; i < once.faces.size(); ++i) {
            EXPECT_EQ(orvane::faceBox(once.faces[i]), orvane::faceBox(twice.faces[i]))
                << path << " face " << i;
            EXPECT_EQ(once.faces[i].Orientation(), twice.faces[i].Orientation()) << path << " face " << i;
        }
        EXPECT_EQ(freeShapes(once.document), freeShapes(twice.document)) << path;

        orvane::meshShape(orvane::freeShapesCompound(once.document), 1, 0.5);
        TopLoc_Location location;
        EXPECT_TRUE(BRep_Tool::Triangulation(once.faces.front(), location).IsNull())
            << "meshes stay apart, as with two reads";
    }
}

TEST_F(StepModel, WorkingShapeIsTheLastRootAndTheDocumentHoldsAll) {
    const orvane::StepModel screw = read(kOccData + "/step/screw.step");
    EXPECT_EQ(screw.solids.size(), 1U);
    EXPECT_EQ(screw.faces.size(), 10U);

    const orvane::StepModel model = read(twoRoots());
    const TopoDS_Shape wedge = readBrep(kOccData + "/occ/wedge_ok.brep");
    const TopoDS_Shape nut = readBrep(kOccData + "/occ/mal_ecrou.brep");
    EXPECT_EQ(model.faces.size(), count(wedge, TopAbs_FACE));
    EXPECT_EQ(model.solids.size(), count(wedge, TopAbs_SOLID));
    EXPECT_EQ(freeShapes(model.document), 2);
    EXPECT_EQ(count(orvane::freeShapesCompound(model.document), TopAbs_FACE),
              count(wedge, TopAbs_FACE) + count(nut, TopAbs_FACE));

    const orvane::StepModel open = read(surfaces());
    EXPECT_TRUE(open.solids.empty());
    EXPECT_EQ(open.faces.size(), 3U);
}

TEST_F(StepModel, UnreadableFilesGiveNoModelAndDocumentsClose) {
    std::ofstream(dir / "garbage.step") << "ISO-10303-21;\nthis is not STEP\n";
    std::ofstream(dir / "empty.step")
        << "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
           "FILE_NAME('e','',(''),(''),'','','');\nFILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\n"
           "ENDSEC;\nDATA;\nENDSEC;\nEND-ISO-10303-21;\n";
    for (const fs::path& path : {dir / "missing.step", dir / "garbage.step", dir / "empty.step", dir}) {
        std::ostringstream console;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(orvane::readStepModel(path.string(), console)) << path;
        EXPECT_NE(::testing::internal::GetCapturedStderr().find(path.string()), std::string::npos);
    }

    const orvane::StepModel model = read(kOccData + "/step/screw.step");
    ASSERT_TRUE(model.document->IsOpened());
    orvane::closeDocument(model.document);
    EXPECT_FALSE(model.document->IsOpened());
    orvane::closeDocument(model.document);
    orvane::closeDocument(Handle(TDocStd_Document)());
}

TEST(FaceBox, BoundsTheFace) {
    TopExp_Explorer bottom(BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 4, 5, 6).Shape(), TopAbs_FACE);
    while (orvane::faceBox(TopoDS::Face(bottom.Current()))[5] > 3.1) {
        bottom.Next();
    }
    const std::array<double, 6> box = orvane::faceBox(TopoDS::Face(bottom.Current()));
    const std::array<double, 6> expected{1, 2, 3, 5, 7, 3};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(box[i], expected[i], 1e-6) << i;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(orvane::faceBox(TopoDS_Face()), (std::array<double, 6>{}));
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());
}

namespace {

// linkrods.step with one control point of its first B-spline surface
// replaced by a direction: OpenCASCADE's translation dereferences the
// direction as a point and crashes.
std::string splineWithWrongReference(const fs::path& dir) {
    std::ifstream in(kOccData + "/step/linkrods.step", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t surface = text.find("B_SPLINE_SURFACE(");
    const std::size_t firstPoint = text.find("#", surface);
    const std::size_t secondPoint = text.find("#", firstPoint + 1);
    const std::size_t direction = text.rfind("#", text.find("= DIRECTION"));
    EXPECT_NE(surface, std::string::npos);
    EXPECT_NE(direction, std::string::npos);
    const std::string directionId = text.substr(direction, text.find(' ', direction) - direction);
    text.replace(secondPoint, text.find(',', secondPoint) - secondPoint, directionId);
    const fs::path path = dir / "wrong reference.step";
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

bool anyChildLeft() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) >= 0;
}

} // namespace

TEST_F(StepModel, IsolatedReadHandsTheModelBackAndRefusesWhatCrashesTheReader) {
    const fs::path scratch = dir / "scratch";
    fs::create_directories(scratch);
    setenv("TMPDIR", scratch.c_str(), 1);
    for (const std::string& path : {kOccData + "/step/screw.step", twoRoots(), assembly()}) {
        orvane::StepModel inPlace = read(path);
        orvane::meshStepModel(inPlace);
        std::ostringstream console;
        std::vector<double> fractions;
        std::optional<orvane::StepModel> isolated =
            orvane::readStepModelIsolated(path, console, [&fractions](double fraction) {
                fractions.push_back(fraction);
                return true;
            });
        ASSERT_TRUE(isolated) << path;
        EXPECT_TRUE(isolated->document.IsNull()) << "names and colours stay in the reader";
        EXPECT_TRUE(isolated->meshed);
        EXPECT_NE(console.str().find("Read Stp File...\n"), std::string::npos);
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_EQ(fractions.back(), 1.0);
        EXPECT_EQ(isolated->solids.size(), inPlace.solids.size()) << path;
        ASSERT_EQ(isolated->faces.size(), inPlace.faces.size()) << path;
        for (std::size_t i = 0; i < inPlace.faces.size(); ++i) {
            EXPECT_EQ(orvane::faceBox(isolated->faces[i]), orvane::faceBox(inPlace.faces[i]))
                << path << " face " << i;
            EXPECT_EQ(isolated->faces[i].Orientation(), inPlace.faces[i].Orientation());
        }
        EXPECT_EQ(isolated->wholeModel.NbChildren(), inPlace.wholeModel.NbChildren()) << path;
        EXPECT_EQ(count(isolated->wholeModel, TopAbs_FACE), count(inPlace.wholeModel, TopAbs_FACE)) << path;
    }

    const std::string crashing = splineWithWrongReference(dir);
    const auto refused = [&](const orvane::TransferProgress& progress,
                             const orvane::IsolatedReadOptions& options) {
        std::ostringstream console;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(orvane::readStepModelIsolated(crashing, console, progress, options));
        return ::testing::internal::GetCapturedStderr();
    };
    const std::string crash = refused({}, {});
    EXPECT_NE(crash.find("cannot read STEP file " + crashing + ": the reader crashed on it (signal 11"),
              std::string::npos)
        << crash;
    EXPECT_NE(refused([](double) { return false; }, {}).find("reading STEP file " + crashing + " stopped"),
              std::string::npos);
    orvane::IsolatedReadOptions shortTime;
    shortTime.timeLimitSeconds = 0.05;
    EXPECT_NE(refused({}, shortTime).find("took longer than 0 s and was stopped"), std::string::npos);
    // A file that makes the reader allocate past its limit costs the
    // reader alone (here a real sample under a tiny limit).
    orvane::IsolatedReadOptions littleMemory;
    littleMemory.memoryLimitMebibytes = 16;
    {
        std::ostringstream console;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(orvane::readStepModelIsolated(kOccData + "/step/screw.step", console, {}, littleMemory));
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot read STEP file " + kOccData + "/step/screw.step: the reader"),
                  std::string::npos)
            << said;
    }
    orvane::IsolatedReadOptions missingReader;
    missingReader.readerProgram = (dir / "no-such-reader").string();
    EXPECT_NE(refused({}, missingReader).find("the reader did not start"), std::string::npos);
    EXPECT_FALSE(anyChildLeft());
    // The hand-over's scratch directories are gone as well.
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch)) {
        ADD_FAILURE() << "left behind: " << entry.path();
    }
    unsetenv("TMPDIR");

    // The working shape and the whole model cross in a file each: a model
    // without either one is refused, naming the file.
    orvane::StepModel model = read(kOccData + "/step/screw.step");
    orvane::meshStepModel(model);
    for (const char* file : {"working-shape.bin", "whole-model.bin"}) {
        const fs::path handOver = dir / "hand-over";
        fs::create_directories(handOver);
        std::ostringstream diagnostics;
        ASSERT_TRUE(orvane::saveStepModel(model, handOver.string(), diagnostics)) << diagnostics.str();
        ASSERT_TRUE(orvane::loadStepModel(handOver.string(), diagnostics)) << diagnostics.str();
        fs::remove(handOver / file);
        EXPECT_FALSE(orvane::loadStepModel(handOver.string(), diagnostics));
        EXPECT_EQ(diagnostics.str(), "cannot read the model from " + (handOver / file).string() + "\n");
        fs::remove_all(handOver);
    }
}
