#include "geometry/StepModel.h"

#include "geometry/JoinedThreads.h"
#include "geometry/ModelFiles.h"
#include "geometry/ShapeExporter.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Copy.hxx>
#include <BinTools.hxx>
#include <BinXCAFDrivers.hxx>
#include <Bnd_Box.hxx>
#include <IFSelect_PrintCount.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressScope.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TDocStd_Application.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XCAFApp_Application.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

namespace orvane {

namespace {

const Handle(XCAFApp_Application) & xcafApplication() {
    static const Handle(XCAFApp_Application) application = [] {
        const Handle(XCAFApp_Application) xcaf = XCAFApp_Application::GetApplication();
        BinXCAFDrivers::DefineFormat(xcaf);
        return xcaf;
    }();
    return application;
}

Handle(TDocStd_Document) newXcafDocument() {
    Handle(TDocStd_Document) document;
    xcafApplication()->NewDocument("BinXCAF", document);
    return document;
}

// The working shape and the whole model cross in a file each, written and
// read on two threads at once: one file took 0.26 s to write and 0.23 s to
// read on one core (40 MiB, the benchmark model), while the other waited.
const char* const workingShapeFile = "/working-shape.bin";
const char* const wholeModelFile = "/whole-model.bin";

// Nothing when `transfer` (a B-rep read or write) succeeded; else why not,
// empty when it only said no.
std::optional<std::string> problemOf(const std::function<bool()>& transfer) {
    bool done = false;
    if (std::optional<std::string> failure = failureOf([&] { done = transfer(); })) {
        return failure;
    }
    return done ? std::nullopt : std::optional<std::string>(std::string());
}

// Both at once: `second` on a thread of its own, `first` on this one.
std::pair<std::optional<std::string>, std::optional<std::string>>
problemsOfBoth(const std::function<bool()>& first, const std::function<bool()>& second) {
    std::optional<std::string> firstProblem;
    std::optional<std::string> secondProblem;
    JoinedThreads other;
    other.start([&] { secondProblem = problemOf(second); });
    firstProblem = problemOf(first);
    other.joinAll();
    return {std::move(firstProblem), std::move(secondProblem)};
}

void reportProblem(std::ostream& diagnostics, const char* what, const std::string& path,
                   const std::optional<std::string>& problem) {
    if (problem) {
        diagnostics << what << path << (problem->empty() ? std::string() : ": " + *problem) << '\n';
    }
}

// Closes the document unless the model that holds it is handed out.
class DocumentGuard {
public:
    explicit DocumentGuard(Handle(TDocStd_Document) document) : document_(std::move(document)) {}
    DocumentGuard(const DocumentGuard&) = delete;
    DocumentGuard& operator=(const DocumentGuard&) = delete;
    ~DocumentGuard() {
        if (!released_) {
            closeDocument(document_);
        }
    }
    void release() { released_ = true; }

private:
    Handle(TDocStd_Document) document_;
    bool released_ = false;
};

// Hands OpenCASCADE's progress position on; OpenCASCADE serialises the calls.
class ProgressForwarder : public Message_ProgressIndicator {
public:
    explicit ProgressForwarder(TransferProgress progress) : progress_(std::move(progress)) {}

    Standard_Boolean UserBreak() override { return stopped_; }

protected:
    void Show(const Message_ProgressScope&, const Standard_Boolean) override {
        if (!progress_(GetPosition())) {
            stopped_ = true;
        }
    }

private:
    TransferProgress progress_;
    bool stopped_ = false;
};

// One read serves both the per-root shapes and the document: the XCAF reader
// transfers every root, in order, through the plain reader it wraps.
std::optional<StepModel> read(const std::string& stepPath, std::ostream& console,
                              const TransferProgress& progress) {
    StepModel model;
    model.document = newXcafDocument();
    DocumentGuard guard(model.document);

    STEPCAFControl_Reader cafReader;
    cafReader.SetColorMode(true);
    cafReader.SetNameMode(true);
    console << "Read Stp File..." << std::endl;
    if (cafReader.ReadFile(stepPath.c_str()) != IFSelect_RetDone) {
        std::cerr << "cannot read STEP file " << stepPath << '\n';
        return std::nullopt;
    }
    STEPControl_Reader& reader = cafReader.ChangeReader();
    const Handle(Transfer_TransientProcess) process = reader.WS()->TransferReader()->TransientProcess();
    if (!process.IsNull()) {
        process->SetTraceLevel(1);
    }
    reader.PrintCheckLoad(false, IFSelect_ItemsByEntity);
    if (progress) {
        const Handle(ProgressForwarder) forwarder = new ProgressForwarder(progress);
        cafReader.Transfer(model.document, forwarder->Start());
        if (forwarder->UserBreak()) {
            std::cerr << "reading STEP file " << stepPath << " stopped\n";
            return std::nullopt;
        }
    } else {
        cafReader.Transfer(model.document);
    }
    reader.PrintCheckTransfer(false, IFSelect_ItemsByEntity);
    if (reader.NbShapes() == 0) {
        std::cerr << "no shape in STEP file " << stepPath << '\n';
        return std::nullopt;
    }

    // The document holds the same topology; a copy keeps meshes made for the
    // whole-model files off the faces the view picks and exports one by one.
    model.workingShape = BRepBuilderAPI_Copy(reader.Shape(reader.NbShapes()), false, false).Shape();
    splitWorkingShape(model);
    model.wholeModel = freeShapesCompound(model.document);
    guard.release();
    return model;
}

} // namespace

std::optional<StepModel> readStepModel(const std::string& stepPath, std::ostream& console,
                                       const TransferProgress& progress) {
    try {
        return read(stepPath, console, progress);
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot read STEP file " << stepPath << ": " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot read STEP file " << stepPath << ": " << e.what() << '\n';
    }
    return std::nullopt;
}

void splitWorkingShape(StepModel& model) {
    model.solids.clear();
    model.faces.clear();
    const TopAbs_Orientation rootOrientation = model.workingShape.Orientation();
    for (TopExp_Explorer solid(model.workingShape, TopAbs_SOLID); solid.More(); solid.Next()) {
        model.solids.push_back(solid.Current().Composed(rootOrientation));
    }
    for (TopExp_Explorer face(model.workingShape, TopAbs_FACE); face.More(); face.Next()) {
        model.faces.push_back(TopoDS::Face(face.Current().Composed(rootOrientation)));
    }
}

bool saveStepModel(const StepModel& model, const std::string& directory, std::ostream& diagnostics) {
    const std::string workingPath = directory + workingShapeFile;
    const std::string wholePath = directory + wholeModelFile;
    if (!model.meshed) {
        diagnostics << "cannot write the model into " << directory << ": it is not meshed\n";
        return false;
    }
    const auto write = [](const TopoDS_Shape& shape, const std::string& path) {
        return [&shape, path] {
            return BinTools::Write(shape, path.c_str(), true, false, BinTools_FormatVersion_CURRENT);
        };
    };
    const auto [workingProblem, wholeProblem] =
        problemsOfBoth(write(model.workingShape, workingPath), write(model.wholeModel, wholePath));
    reportProblem(diagnostics, "cannot write the model into ", workingPath, workingProblem);
    reportProblem(diagnostics, "cannot write the model into ", wholePath, wholeProblem);
    return !workingProblem && !wholeProblem;
}

std::optional<StepModel> loadStepModel(const std::string& directory, std::ostream& diagnostics) {
    const std::string workingPath = directory + workingShapeFile;
    const std::string wholePath = directory + wholeModelFile;
    TopoDS_Shape working;
    TopoDS_Shape whole;
    const auto read = [](TopoDS_Shape& shape, const std::string& path) {
        return [&shape, path] { return BinTools::Read(shape, path.c_str()) && !shape.IsNull(); };
    };
    auto [workingProblem, wholeProblem] = problemsOfBoth(read(working, workingPath), read(whole, wholePath));
    if (!wholeProblem && whole.ShapeType() != TopAbs_COMPOUND) {
        wholeProblem = "no whole model";
    }
    reportProblem(diagnostics, "cannot read the model from ", workingPath, workingProblem);
    reportProblem(diagnostics, "cannot read the model from ", wholePath, wholeProblem);
    if (workingProblem || wholeProblem) {
        return std::nullopt;
    }
    try {
        StepModel model;
        model.workingShape = working;
        model.wholeModel = TopoDS::Compound(whole);
        model.meshed = true;
        splitWorkingShape(model);
        return model;
    } catch (const Standard_Failure& e) {
        diagnostics << "cannot read the model from " << directory << ": " << e.GetMessageString() << '\n';
    }
    return std::nullopt;
}

void closeDocument(const Handle(TDocStd_Document) & document) {
    if (document.IsNull() || !document->IsOpened()) {
        return;
    }
    const Handle(TDocStd_Application) application =
        Handle(TDocStd_Application)::DownCast(document->Application());
    if (!application.IsNull()) {
        application->Close(document);
    }
}

std::array<double, 6> faceBox(const TopoDS_Face& face) {
    std::array<double, 6> box{};
    try {
        Bnd_Box bounds;
        BRepBndLib::Add(face, bounds, true);
        if (bounds.IsVoid()) {
            std::cerr << "face has no bounding box\n";
            return box;
        }
        bounds.Get(box[0], box[1], box[2], box[3], box[4], box[5]);
    } catch (const Standard_Failure& e) {
        std::cerr << "face has no bounding box: " << e.GetMessageString() << '\n';
        box = {};
    }
    return box;
}

} // namespace orvane
