// The floor of the STEP import: the least work that writes the same files.
// One STEP read, one meshing per parameter set, one StlAPI_Writer per file;
// no XCAF document per file, no VTK. Prints the time of each phase and the
// whole wall time.
// Usage: orvane_import_floor MODEL.step ROOT   (ROOT prepared with tools/prepare-data-root.sh)

#include "app/DataPaths.h"
#include "geometry/CafModel.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"
#include "geometry/StepModel.h"

#include <IFSelect_ReturnStatus.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <StlAPI_Writer.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>

#include <array>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace dp = orvane::datapaths;

namespace {

using Clock = std::chrono::steady_clock;

class PhaseClock {
public:
    // Prints the time since the previous lap (or the start) under the name.
    void lap(const char* name) {
        const Clock::time_point now = Clock::now();
        std::cout << "floor: " << std::left << std::setw(26) << name << std::right << std::fixed
                  << std::setprecision(3) << seconds(last, now) << " s" << std::endl;
        last = now;
    }
    double total() const { return seconds(start, Clock::now()); }

private:
    static double seconds(Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double>(to - from).count();
    }
    Clock::time_point start = Clock::now();
    Clock::time_point last = start;
};

bool writeStl(const TopoDS_Shape& shape, const std::string& path) {
    StlAPI_Writer writer;
    if (!writer.Write(shape, path.c_str())) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

int run(const std::string& stepPath, const std::string& dataRoot) {
    PhaseClock clock;

    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", document);
    STEPCAFControl_Reader cafReader;
    cafReader.SetColorMode(true);
    cafReader.SetNameMode(true);
    if (cafReader.ReadFile(stepPath.c_str()) != IFSelect_RetDone || !cafReader.Transfer(document)) {
        std::cerr << "cannot read STEP file " << stepPath << "\n";
        return 1;
    }
    STEPControl_Reader& reader = cafReader.ChangeReader();
    if (reader.NbShapes() == 0) {
        std::cerr << "no shape in STEP file " << stepPath << "\n";
        return 1;
    }
    // The import's working shape is a topology-only copy of this root; the
    // floor needs no copy, as its per-solid and per-face files are written
    // before the whole model is meshed more finely.
    const TopoDS_Shape rootShape = reader.Shape(reader.NbShapes());
    const TopAbs_Orientation rootOrientation = rootShape.Orientation();
    std::vector<TopoDS_Shape> solids;
    for (TopExp_Explorer solid(rootShape, TopAbs_SOLID); solid.More(); solid.Next()) {
        solids.push_back(solid.Current().Composed(rootOrientation));
    }
    std::vector<TopoDS_Face> faces;
    for (TopExp_Explorer face(rootShape, TopAbs_FACE); face.More(); face.Next()) {
        faces.push_back(TopoDS::Face(face.Current().Composed(rootOrientation)));
    }
    clock.lap("read STEP");

    orvane::meshShape(rootShape, orvane::kExportLinearDeflection, orvane::kExportAngularDeflection);
    clock.lap("mesh 0.2/20");

    bool ok = true;
    for (std::size_t i = 0; i < solids.size(); ++i) {
        ok = writeStl(solids[i], dp::solidStl(dataRoot, static_cast<int>(i))) && ok;
    }
    clock.lap("write solid STLs");

    std::vector<std::array<double, 6>> boxes;
    boxes.reserve(faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i) {
        ok = writeStl(faces[i], dp::faceStl(dataRoot, static_cast<int>(i))) && ok;
        boxes.push_back(orvane::faceBox(faces[i]));
    }
    clock.lap("write face STLs + boxes");

    const orvane::CafModel wholeModel{document};
    const TopoDS_Compound compound = orvane::freeShapesCompound(document);
    orvane::meshShape(compound, wholeModel.linearDeflection,
                      wholeModel.angularDeflectionDeg * 3.141592653589793 / 180.0);
    clock.lap("mesh 0.05/25");

    const std::string modelPath = dp::modelStl(dataRoot);
    ok = writeStl(compound, modelPath) && ok;
    clock.lap("write model STL");
    ok = orvane::CafModel::WritePointTriangleFiles(orvane::pointTriangleBase(modelPath), compound) && ok;
    clock.lap("write .pts/.tri");

    std::cout << "floor: " << solids.size() << " solids, " << faces.size() << " faces\n"
              << "floor_wall_seconds " << std::fixed << std::setprecision(3) << clock.total() << std::endl;
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        std::cout << "floor_peak_rss_mib " << std::setprecision(1)
                  << static_cast<double>(usage.ru_maxrss) / 1024.0 << std::endl;
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " MODEL.step ROOT\n";
        return 2;
    }
    try {
        return run(argv[1], argv[2]);
    } catch (const Standard_Failure& e) {
        std::cerr << "floor failed: " << e.GetMessageString() << "\n";
    }
    return 1;
}
