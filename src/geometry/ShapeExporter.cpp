#include "geometry/ShapeExporter.h"

#include "app/Descriptor.h"
#include "app/FileChecks.h"
#include "app/TemporarySibling.h"
#include "geometry/AsciiStl.h"
#include "geometry/CafModel.h"
#include "geometry/MeshFiles.h"

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <IGESCAFControl_Writer.hxx>
#include <IMeshTools_Parameters.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressRange.hxx>
#include <RWGltf_CafWriter.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <StlAPI_Writer.hxx>
#include <TColStd_IndexedDataMapOfStringString.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDocStd_Application.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp.hxx>
#include <gp_Ax3.hxx>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

namespace orvane {

namespace {

// OpenCASCADE's STL writer (binary STL here) parses its path, reading '|'
// as a directory separator and '^' as the parent directory, so it would
// write elsewhere or fail. Such a path is written as a sibling with a plain
// name, reached through the directory's descriptor under /proc/self/fd, and
// renamed to its own name.
std::optional<std::string> writeStlAnyPath(StlAPI_Writer& writer, const TopoDS_Shape& shape,
                                           const std::string& path) {
    if (path.find_first_of("|^") == std::string::npos) {
        if (!writer.Write(shape, path.c_str())) {
            return std::string("the STL writer failed");
        }
        return std::nullopt;
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : path.substr(0, std::max<std::size_t>(slash, 1));
    // Closed however the writer leaves, an OpenCASCADE exception included.
    const Descriptor directoryFd(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.get() < 0) {
        return "cannot open its directory: " + std::string(std::strerror(errno));
    }
    static std::atomic<unsigned> counter{0};
    const std::string plainName =
        ".orvane-stl-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    std::optional<std::string> problem;
    {
        TemporarySibling file(path, "/proc/self/fd/" + std::to_string(directoryFd.get()) + "/" + plainName);
        if (!writer.Write(shape, file.path().c_str())) {
            problem = "the STL writer failed";
        } else if (const std::optional<std::string> why = file.commit()) {
            problem = "cannot rename the written file: " + *why;
        }
    }
    return problem;
}

std::optional<std::string> writeStl(const TopoDS_Shape& shape, const std::string& path) {
    std::cout << "WriteSTL " << std::endl;
    meshShape(shape, kExportLinearDeflection, kExportAngularDeflection);
    std::cout << "Start Writing STL." << std::endl;
    return writeCheckedStl(shape, path);
}

bool writeGlb(const Handle(TDocStd_Document) & document, const TopoDS_Shape& shape, const std::string& path) {
    meshShape(shape, kExportLinearDeflection, kExportAngularDeflection);
    RWGltf_CafWriter writer(path.c_str(), true);
    // Model lengths are millimetres with Z up; glTF wants metres with Y up.
    writer.ChangeCoordinateSystemConverter().SetInputLengthUnit(0.001);
    writer.ChangeCoordinateSystemConverter().SetInputCoordinateSystem(
        gp_Ax3(gp::Origin(), gp::DZ(), gp::DX()));
    return writer.Perform(document, TColStd_IndexedDataMapOfStringString(), Message_ProgressRange());
}

// What went wrong, or nothing when the file is written.
std::optional<std::string> writeFormat(const std::string& path, const Handle(TDocStd_Document) & document,
                                       ExportFormat format, const char* name) {
    bool written = false;
    switch (format) {
    case ExportFormat::Step: {
        STEPCAFControl_Writer writer;
        writer.SetColorMode(true);
        writer.SetNameMode(true);
        written =
            writer.Transfer(document, STEPControl_AsIs) && writer.Write(path.c_str()) == IFSelect_RetDone;
        break;
    }
    case ExportFormat::Iges: {
        IGESCAFControl_Writer writer;
        writer.SetColorMode(true);
        writer.SetNameMode(true);
        written = writer.Perform(document, path.c_str());
        break;
    }
    case ExportFormat::Stl:
        return writeStl(freeShapesCompound(document), path);
    case ExportFormat::Brep:
        return writeCheckedBrep(freeShapesCompound(document), path);
    case ExportFormat::Glb:
        written = writeGlb(document, freeShapesCompound(document), path);
        break;
    }
    if (!written) {
        return "the " + std::string(name) + " writer failed";
    }
    return std::nullopt;
}

const char* formatName(ExportFormat format) {
    switch (format) {
    case ExportFormat::Step:
        return "STEP";
    case ExportFormat::Iges:
        return "IGES";
    case ExportFormat::Stl:
        return "STL";
    case ExportFormat::Brep:
        return "BRep";
    case ExportFormat::Glb:
        return "glTF";
    }
    return nullptr;
}

} // namespace

TopoDS_Compound freeShapesCompound(const Handle(TDocStd_Document) & document) {
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    if (document.IsNull()) {
        return compound;
    }
    const Handle(XCAFDoc_ShapeTool) shapeTool = XCAFDoc_DocumentTool::ShapeTool(document->Main());
    TDF_LabelSequence labels;
    shapeTool->GetFreeShapes(labels);
    for (TDF_LabelSequence::Iterator label(labels); label.More(); label.Next()) {
        const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label.Value());
        if (!shape.IsNull()) {
            builder.Add(compound, shape);
        }
    }
    return compound;
}

namespace {

// Lets the mesher ask whether to stop; it shows nothing.
class StopRequest : public Message_ProgressIndicator {
public:
    explicit StopRequest(const std::atomic<bool>& stop) : stop_(stop) {}
    Standard_Boolean UserBreak() override { return stop_.load(); }

protected:
    void Show(const Message_ProgressScope&, const Standard_Boolean) override {}

private:
    const std::atomic<bool>& stop_;
};

} // namespace

void meshShape(const TopoDS_Shape& shape, double linearDeflection, double angularDeflectionRadians,
               const std::atomic<bool>* stop) {
    IMeshTools_Parameters parameters;
    parameters.Deflection = linearDeflection;
    parameters.Angle = angularDeflectionRadians;
    parameters.InParallel = true;
    if (stop == nullptr) {
        BRepMesh_IncrementalMesh mesher(shape, parameters);
        return;
    }
    const Handle(StopRequest) indicator = new StopRequest(*stop);
    BRepMesh_IncrementalMesh mesher(shape, parameters, indicator->Start());
}

bool exportDocument(const std::string& path, const Handle(TDocStd_Document) & document, ExportFormat format) {
    const char* const name = formatName(format);
    if (name == nullptr) {
        std::cerr << "cannot export " << path << ": unknown format " << static_cast<std::int32_t>(format)
                  << '\n';
        return false;
    }
    if (document.IsNull()) {
        std::cerr << "cannot export " << path << ": no document\n";
        return false;
    }
    return writeExport(path, [&](const std::string& temporary) {
        if (const std::optional<std::string> problem = writeFormat(temporary, document, format, name)) {
            std::cerr << "cannot export " << path << ": " << *problem << '\n';
            return false;
        }
        return true;
    });
}

std::size_t triangleCount(const TopoDS_Shape& shape) {
    std::size_t count = 0;
    // Counted as the STL writer collects them: every face occurrence once.
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) triangulation =
            BRep_Tool::Triangulation(TopoDS::Face(face.Current()), location);
        if (!triangulation.IsNull()) {
            count += static_cast<std::size_t>(triangulation->NbTriangles());
        }
    }
    return count;
}

std::optional<std::string> writeCheckedStl(const TopoDS_Shape& shape, const std::string& path, bool ascii) {
    if (!ascii) {
        StlAPI_Writer writer;
        writer.ASCIIMode() = false;
        if (std::optional<std::string> problem = writeStlAnyPath(writer, shape, path)) {
            return problem;
        }
        return writtenBinaryStlProblem(path, triangleCount(shape));
    }
    // Like OpenCASCADE's writer: no triangles, no file.
    if (triangleCount(shape) == 0) {
        return std::string("the STL writer failed");
    }
    return writeAsciiStl(meshFaces(shape), path);
}

std::optional<std::string> writeCheckedBrep(const TopoDS_Shape& shape, const std::string& path) {
    try {
        if (BRepTools::Write(shape, path.c_str())) {
            return std::nullopt;
        }
        return std::string("the BRep writer failed");
    } catch (const Standard_Failure& e) {
        return "the BRep writer failed: " + std::string(e.GetMessageString());
    } catch (const std::exception& e) {
        return "the BRep writer failed: " + std::string(e.what());
    }
}

bool writeBrepReplacing(const TopoDS_Shape& shape, const std::string& path) {
    return writeFileReplacing(
        path,
        [&](const std::string& temporary) {
            if (const std::optional<std::string> problem = writeCheckedBrep(shape, temporary)) {
                std::cerr << "cannot write " << path << ": " << *problem << '\n';
                return false;
            }
            return true;
        },
        std::cerr);
}

bool writeExport(const std::string& path,
                 const std::function<bool(const std::string& temporaryPath)>& write) {
    try {
        return writeFileReplacing(path, write, std::cerr);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot export " << path << ": " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot export " << path << ": " << e.what() << '\n';
    }
    return false;
}

bool exportShapeStl(const TopoDS_Shape& shape, const std::string& path) {
    if (shape.IsNull()) {
        std::cerr << "cannot export " << path << ": no shape\n";
        return false;
    }
    const Handle(TDocStd_Application) application = new TDocStd_Application();
    Handle(TDocStd_Document) document;
    try {
        application->NewDocument("BinXCAF", document);
        XCAFDoc_DocumentTool::ShapeTool(document->Main())->AddShape(shape, true, true);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot export " << path << ": " << e.GetMessageString() << '\n';
        if (!document.IsNull()) {
            application->Close(document);
        }
        return false;
    }
    const bool written = exportDocument(path, document, ExportFormat::Stl);
    application->Close(document);
    return written;
}

} // namespace orvane
