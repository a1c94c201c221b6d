// The import's file writer against the sequential route (one export per
// solid and face, then the whole model): the same files with the same bytes,
// also when a face cannot be meshed, and also for a model read and meshed
// in the reader process and handed over.

#include "app/DataPaths.h"
#include "geometry/CafModel.h"
#include "geometry/IsolatedStepRead.h"
#include "geometry/ModelFiles.h"
#include "geometry/ShapeExporter.h"
#include "geometry/StepModel.h"

#include <gtest/gtest.h>

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Pln.hxx>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
namespace dp = orvane::datapaths;

namespace {

const std::string kOccData = ORVANE_OCC_DATA_DIR;

// Every file below the directory, by relative path, with its bytes.
std::map<std::string, std::string> filesBelow(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files[fs::relative(entry.path(), dir).string()] = bytes.str();
        }
    }
    return files;
}

// A box, a second box and a face without bounds, which no mesher can cover.
orvane::StepModel modelWithAnUnmeshableFace() {
    BRep_Builder builder;
    TopoDS_Compound shape;
    builder.MakeCompound(shape);
    builder.Add(shape, BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Solid());
    builder.Add(shape, BRepBuilderAPI_MakeFace(gp_Pln()).Face());
    builder.Add(shape, BRepPrimAPI_MakeBox(gp_Pnt(50, 0, 0), 5.0, 5.0, 5.0).Solid());
    orvane::StepModel model;
    // As an import does: the document keeps its own topology, meshed apart.
    model.workingShape = BRepBuilderAPI_Copy(shape, false, false).Shape();
    for (TopExp_Explorer solid(model.workingShape, TopAbs_SOLID); solid.More(); solid.Next()) {
        model.solids.push_back(solid.Current());
    }
    for (TopExp_Explorer face(model.workingShape, TopAbs_FACE); face.More(); face.Next()) {
        model.faces.push_back(TopoDS::Face(face.Current()));
    }
    XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", model.document);
    XCAFDoc_DocumentTool::ShapeTool(model.document->Main())->AddShape(shape, true, true);
    model.wholeModel = orvane::freeShapesCompound(model.document);
    return model;
}

class ModelFiles : public ::testing::Test {
protected:
    void SetUp() override {
        base = fs::temp_directory_path() / ("orvane-model-files-" + std::to_string(::getpid()));
        fs::remove_all(base);
    }
    void TearDown() override { fs::remove_all(base); }

    fs::path root(const std::string& name) const {
        const fs::path dir = base / name;
        fs::create_directories(dir / "data/step");
        fs::create_directories(dir / "data/solid");
        return dir;
    }

    // Writes the model both ways, each from its own copy (the import's from
    // loadForImport when given), and compares.
    void expectSameFiles(const std::function<orvane::StepModel()>& load, const std::string& name,
                         const std::function<orvane::StepModel()>& loadForImport = {}) {
        const fs::path sequential = root(name + "-sequential");
        const fs::path parallel = root(name + "-parallel");
        // The writers print from several threads: the console stays the
        // synchronised standard output, not a string buffer.
        orvane::StepModel one = load();
        for (std::size_t i = 0; i < one.solids.size(); ++i) {
            orvane::exportShapeStl(one.solids[i], dp::solidStl(sequential.string(), static_cast<int>(i)));
        }
        std::vector<std::array<double, 6>> boxes;
        for (std::size_t i = 0; i < one.faces.size(); ++i) {
            orvane::exportShapeStl(one.faces[i], dp::faceStl(sequential.string(), static_cast<int>(i)));
            boxes.push_back(orvane::faceBox(one.faces[i]));
        }
        orvane::CafModel wholeModel;
        wholeModel.document = one.document;
        wholeModel.WriteStl(dp::modelStl(sequential.string()), true, true);

        orvane::StepModel other = loadForImport ? loadForImport() : load();
        const std::atomic<bool> noStop{false};
        const orvane::WrittenModelFiles written =
            orvane::writeModelFiles(other, parallel.string(), 3, std::cout, noStop);
        orvane::closeDocument(one.document);
        orvane::closeDocument(other.document);

        const auto expected = filesBelow(sequential);
        const auto actual = filesBelow(parallel);
        ASSERT_EQ(actual.size(), expected.size()) << name;
        for (const auto& [file, bytes] : expected) {
            const auto found = actual.find(file);
            ASSERT_NE(found, actual.end()) << name << ": " << file;
            EXPECT_TRUE(found->second == bytes) << name << ": " << file << " differs";
        }
        EXPECT_EQ(written.faceBoxes, boxes) << name;
        ASSERT_EQ(written.faceWritten.size(), one.faces.size());
        for (std::size_t i = 0; i < one.faces.size(); ++i) {
            EXPECT_EQ(written.faceWritten[i], fs::exists(dp::faceStl(parallel.string(), static_cast<int>(i))))
                << name << " face " << i;
        }
        EXPECT_TRUE(written.wholeModelWritten) << name;
    }

    fs::path base;
};

TEST_F(ModelFiles, SameFilesAndBytesAsOneExportPerShape) {
    for (const char* file : {"/step/screw.step", "/step/linkrods.step"}) {
        expectSameFiles([&] { return *orvane::readStepModel(kOccData + file, std::cout); },
                        fs::path(file).stem());
    }
    const orvane::StepModel probe = modelWithAnUnmeshableFace();
    orvane::closeDocument(probe.document);
    ASSERT_EQ(probe.faces.size(), 13u);
    expectSameFiles(modelWithAnUnmeshableFace, "unmeshable");
    EXPECT_FALSE(fs::exists(base / "unmeshable-parallel/data/step/model6.stl")) << "the face without bounds";
    EXPECT_TRUE(fs::exists(base / "unmeshable-parallel/data/step/model7.stl"));
}

TEST_F(ModelFiles, ModelHandedOverByTheReaderProcessWritesTheSameBytes) {
    // A part whose planes and circles do not cross a B-rep file bit for bit:
    // meshed after the hand-over, a tenth of its faces had their triangles
    // in another order.
    TopoDS_Shape part;
    BRep_Builder builder;
    ASSERT_TRUE(BRepTools::Read(part, (kOccData + "/occ/Bottom.brep").c_str(), builder));
    const std::string step = (base / "bottom.step").string();
    fs::create_directories(base);
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(part, STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(writer.Write(step.c_str()), IFSelect_RetDone);
    std::ostringstream console;
    expectSameFiles([&] { return *orvane::readStepModel(step, console); }, "bottom",
                    [&] {
                        std::optional<orvane::StepModel> model = orvane::readStepModelIsolated(step, console);
                        EXPECT_TRUE(model && model->meshed);
                        return model ? *model : orvane::StepModel{};
                    });
}

} // namespace
