// The floor of the STEP import: the least work that writes the same files,
// on as many threads as the import uses. One STEP read with the check reports
// the import gives (load and transfer, as the import prints them); the fine meshing and
// the whole-model files on one thread while a topology copy is meshed coarse
// and its solid and face files are written on every core; one StlAPI_Writer
// per file; no XCAF document per file, no VTK. Prints the time of each phase,
// the whole wall time, and the resident memory before the read (idle) and
// at its peak.
// Usage: orvane_import_floor MODEL.step ROOT   (ROOT prepared with tools/prepare-data-root.sh)

#include "ProcessMemory.h"
#include "app/DataPaths.h"
#include "geometry/CafModel.h"
#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"
#include "geometry/StepModel.h"

#include <BRepBuilderAPI_Copy.hxx>
#include <IFSelect_PrintCount.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <StlAPI_Writer.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XCAFApp_Application.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <thread>
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
    const double idleMebibytes = processMebibytes("VmRSS:");
    PhaseClock clock;

    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("BinXCAF", document);
    STEPCAFControl_Reader cafReader;
    cafReader.SetColorMode(true);
    cafReader.SetNameMode(true);
    if (cafReader.ReadFile(stepPath.c_str()) != IFSelect_RetDone) {
        std::cerr << "cannot read STEP file " << stepPath << "\n";
        return 1;
    }
    // The check reports the import gives: part of the read's work.
    STEPControl_Reader& reader = cafReader.ChangeReader();
    reader.WS()->TransferReader()->TransientProcess()->SetTraceLevel(1);
    reader.PrintCheckLoad(false, IFSelect_ItemsByEntity);
    if (!cafReader.Transfer(document)) {
        std::cerr << "cannot read STEP file " << stepPath << "\n";
        return 1;
    }
    reader.PrintCheckTransfer(false, IFSelect_ItemsByEntity);
    if (reader.NbShapes() == 0) {
        std::cerr << "no shape in STEP file " << stepPath << "\n";
        return 1;
    }
    clock.lap("read STEP");

    // The fine mesh of the whole model goes on while the copy is meshed
    // coarse: both need their own topology, as in the import.
    const orvane::CafModel wholeModel{document};
    const TopoDS_Compound compound = orvane::freeShapesCompound(document);
    std::atomic<bool> wholeOk{true};
    std::thread whole([&] {
        orvane::meshShape(compound, wholeModel.linearDeflection,
                          wholeModel.angularDeflectionDeg * 3.141592653589793 / 180.0);
        const std::string modelPath = dp::modelStl(dataRoot);
        wholeOk = writeStl(compound, modelPath) &&
                  orvane::CafModel::WritePointTriangleFiles(orvane::pointTriangleBase(modelPath), compound);
    });

    const TopoDS_Shape rootShape = reader.Shape(reader.NbShapes());
    const TopoDS_Shape working = BRepBuilderAPI_Copy(rootShape, false, false).Shape();
    const TopAbs_Orientation rootOrientation = working.Orientation();
    std::vector<TopoDS_Shape> solids;
    for (TopExp_Explorer solid(working, TopAbs_SOLID); solid.More(); solid.Next()) {
        solids.push_back(solid.Current().Composed(rootOrientation));
    }
    std::vector<TopoDS_Face> faces;
    for (TopExp_Explorer face(working, TopAbs_FACE); face.More(); face.Next()) {
        faces.push_back(TopoDS::Face(face.Current().Composed(rootOrientation)));
    }
    orvane::meshShape(working, orvane::kExportLinearDeflection, orvane::kExportAngularDeflection);
    clock.lap("copy, mesh 0.2/20");

    std::vector<std::array<double, 6>> boxes(faces.size());
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
    const std::size_t total = solids.size() + faces.size();
    const auto writeFiles = [&] {
        for (std::size_t i = next++; i < total; i = next++) {
            if (i < solids.size()) {
                failed += writeStl(solids[i], dp::solidStl(dataRoot, static_cast<int>(i))) ? 0 : 1;
            } else {
                const std::size_t f = i - solids.size();
                failed += writeStl(faces[f], dp::faceStl(dataRoot, static_cast<int>(f))) ? 0 : 1;
                boxes[f] = orvane::faceBox(faces[f]);
            }
        }
    };
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> writers;
    for (unsigned t = 1; t < threads; ++t) {
        writers.emplace_back(writeFiles);
    }
    writeFiles();
    for (std::thread& writer : writers) {
        writer.join();
    }
    clock.lap("write solid, face STLs");
    whole.join();
    clock.lap("rest of mesh 0.05/25, model");

    std::cout << "floor: " << solids.size() << " solids, " << faces.size() << " faces, " << threads
              << " threads\n"
              << "floor_wall_seconds " << std::fixed << std::setprecision(3) << clock.total() << std::endl;
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        std::cout << "floor_peak_rss_mib " << std::setprecision(1)
                  << static_cast<double>(usage.ru_maxrss) / 1024.0 << "\nfloor_idle_rss_mib " << idleMebibytes
                  << std::endl;
    }
    return failed == 0 && wholeOk ? 0 : 1;
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
