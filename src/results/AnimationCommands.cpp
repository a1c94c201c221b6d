// Result animation: the modes of a modal result played by a timer, and a
// series of legacy VTK frames opened by rendererVTK and stepped by command.

#include "app/DataPaths.h"
#include "app/FileSnapshot.h"
#include "app/Orvane.h"
#include "commands/CommandDispatcher.h"
#include "commands/CommandTable.h"
#include "commands/InputLimits.h"
#include "results/AnimationRules.h"
#include "results/ErrorCounter.h"
#include "results/GridFileChecks.h"
#include "results/ResultAnimation.h"
#include "results/ResultCalculations.h"
#include "results/ResultFiles.h"
#include "results/ResultLoad.h"
#include "results/ResultPipeline.h"

#include <QTimerEvent>

#include <vtkActor.h>
#include <vtkColorTransferFunction.h>
#include <vtkCoordinate.h>
#include <vtkDataSet.h>
#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>
#include <vtkStructuredGrid.h>
#include <vtkTextActor.h>
#include <vtkTextProperty.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

using orvane::ArgKind;
using orvane::CommandArguments;
using orvane::CommandRow;
using orvane::ResultAnimation;
using orvane::ResultPipeline;
using orvane::SeriesStep;

namespace {

// A series is coloured over this fixed range, whatever a frame holds, so
// that frames compare at a glance.
constexpr std::array<double, 2> seriesColourRange{-228.129, 63.7251};
constexpr int modeTimerIntervalMs = 1000;

// A legacy VTK file read with all its arrays, and the snapshot of the file
// that its reader reads: the reader reads it again when the scalars change.
struct LegacyFile {
    orvane::FileSnapshot snapshot;
    vtkSmartPointer<vtkDataSetReader> reader;
};

// Reads one legacy VTK file, the named scalars active; nullopt with a
// diagnostic when the file is missing, malformed or does not read.
std::optional<LegacyFile> readLegacyFile(const std::string& command, const std::string& path,
                                         const std::string& scalarsName) {
    const auto fail = [&](const std::string& why) {
        std::cerr << "orvane: " << command << ": cannot read the legacy VTK file '" << path << "'"
                  << (why.empty() ? "" : ": " + why) << "\n";
        return std::nullopt;
    };
    if (!orvane::isRegularFile(path)) {
        return fail("");
    }
    // The reader parses the very bytes that were checked, whatever happens
    // to the file under its name meanwhile.
    std::string why;
    std::optional<orvane::FileSnapshot> snapshot =
        orvane::FileSnapshot::take(path, orvane::limits::resultFileBytes, why);
    if (!snapshot) {
        return fail(why);
    }
    {
        orvane::ByteInput checked(snapshot->bytes());
        // The whole keyword structure, block by block.
        if (std::optional<std::string> problem =
                orvane::legacyVtkStructureProblem(checked, snapshot->size())) {
            return fail(*problem);
        }
    }
    snapshot->unmap();
    auto reader = vtkSmartPointer<vtkDataSetReader>::New();
    auto errors = vtkSmartPointer<orvane::ErrorCounter>::New();
    reader->AddObserver(vtkCommand::ErrorEvent, errors);
    reader->SetFileName(snapshot->readerPath().c_str());
    reader->ReadAllVectorsOn();
    reader->ReadAllScalarsOn();
    reader->ReadAllFieldsOn();
    reader->SetScalarsName(scalarsName.c_str());
    reader->Update();
    vtkDataSet* data = reader->GetOutput();
    if (errors->count > 0 || data == nullptr || data->GetNumberOfPoints() == 0) {
        return fail("");
    }
    return LegacyFile{std::move(*snapshot), reader};
}

// The model surface moved by a mode shape on it, as a load shows a mode.
bool warpBy(const orvane::ModeTransfer& transfer, vtkDoubleArray* shape, vtkPolyData& shown) {
    if (shape == nullptr) {
        return false;
    }
    shown.Initialize();
    shown.CopyStructure(transfer.surface);
    shown.GetPointData()->SetVectors(shape);
    return orvane::warpByModeShape(shown);
}

} // namespace

namespace orvane {

std::vector<CommandRow> animationCommands(Orvane* view) {
    constexpr ArgKind text = ArgKind::Text;
    std::vector<CommandRow> rows{
        {"playModel",
         "",
         {text},
         "playModel DATA_ROOT",
         "Play the modes of the modal result one per second, labelled with mode number and frequency",
         [view](const CommandArguments& a) { view->playModel(a.text(1)); }},
        {"endModel",
         "",
         {},
         "endModel",
         "Stop the mode animation",
         [view](const CommandArguments&) { view->endModel(); }},
        {"rendererVTK",
         "",
         {text},
         "rendererVTK VTK_FILE",
         "Open a legacy VTK result series, count its frames, reply its scalar names and show it",
         [view](const CommandArguments& a) { view->rendererVTK(a.text(1)); }},
        {"attri",
         "",
         {text, text},
         "attri ARRAY_NAME FLAG",
         "With FLAG 1, colour the series by a named scalar array and show its scalar bar",
         [view](const CommandArguments& a) {
             if (a.text(2) == "1") {
                 view->attri(a.text(1));
             }
         }},
    };
    struct StepRow {
        const char* word;
        SeriesStep step;
        const char* description;
    };
    const StepRow steps[] = {
        {"play", SeriesStep::Play,
         "Show the current series frame, then advance (wrapping); replies the frame"},
        {"leftFastPlay", SeriesStep::LeftFastPlay, "Show the first series frame; replies the frame"},
        {"rightFastPlay", SeriesStep::RightFastPlay, "Show the last series frame; replies the frame"},
        {"leftPlay", SeriesStep::LeftPlay, "Show the previous series frame (wrapping); replies the frame"},
        {"rightPlay", SeriesStep::RightPlay, "Show the next series frame (wrapping); replies the frame"}};
    for (const StepRow& row : steps) {
        const std::string word = row.word;
        rows.push_back(
            {word,
             "1",
             {},
             word + " 1",
             row.description,
             [view, word, step = row.step](const CommandArguments&) { view->stepSeries(step, word); }});
    }
    return rows;
}

} // namespace orvane

void Orvane::playModel(const std::string& root) {
    ResultAnimation& a = *animation;
    a.animationRoot = root;
    // One timer at most: a second playModel restarts it with the new root.
    if (a.modeTimerRunning()) {
        killTimer(a.modeTimerId);
    }
    a.modeTimerId = startTimer(modeTimerIntervalMs, Qt::CoarseTimer);
    if (a.modeTimerId == 0) {
        std::cerr << "orvane: playModel: no timer could be started\n";
        return;
    }
    // The first tick comes a timer interval from now: its mode is read
    // meanwhile, with the surface and its weights unless those are kept.
    const std::string gridPath = orvane::datapaths::animatedModeResult(root, results->modeIndex);
    const std::string surfacePath = orvane::datapaths::modelStl(root);
    const std::optional<orvane::FileStamp> surfaceFile = orvane::FileStamp::of(surfacePath);
    const std::optional<orvane::FileStamp> modeFile = orvane::FileStamp::of(gridPath);
    if (!surfaceFile || !modeFile) {
        return;
    }
    if (!(a.modeTransfer.surfaceFile == surfaceFile)) {
        a.readAhead(gridPath, surfacePath);
    } else if (a.modeTransfer.keptShape(*modeFile) == nullptr) {
        a.readAhead(gridPath);
    }
}

void Orvane::endModel() {
    ResultAnimation& a = *animation;
    if (a.modeTimerRunning()) {
        killTimer(a.modeTimerId);
        a.modeTimerId = 0;
    }
    // No tick takes a mode read ahead any more: its grid is let go.
    a.takeReadAhead({});
}

void Orvane::timerEvent(QTimerEvent* event) {
    if (animation->modeTimerRunning() && event->timerId() == animation->modeTimerId) {
        dispatcher->runGuarded("playModel tick", [this] { showNextMode(); });
        return;
    }
    QWidget::timerEvent(event);
}

void Orvane::showNextMode() {
    ResultAnimation& a = *animation;
    ResultPipeline& r = *results;
    const int mode = r.modeIndex;
    // Whatever happens to this frame (a failure, an exception), the next
    // tick shows the next mode.
    struct TickScope {
        ResultPipeline& pipeline;
        int mode;
        TickScope(ResultPipeline& r, int m) : pipeline(r), mode(m) {}
        ~TickScope() { pipeline.modeIndex = orvane::nextModeIndex(mode, pipeline.eigenvalues.size()); }
        TickScope(const TickScope&) = delete;
        TickScope& operator=(const TickScope&) = delete;
    } tick(r, mode);
    clearScene();
    const std::string gridPath = orvane::datapaths::animatedModeResult(a.animationRoot, mode);
    const std::string surfacePath = orvane::datapaths::modelStl(a.animationRoot);
    // The surface is read again only when its file changed since the weights were made.
    const std::optional<orvane::FileStamp> surfaceFile = orvane::FileStamp::of(surfacePath);
    bool surfaceKept = surfaceFile && a.modeTransfer.surfaceFile == surfaceFile;
    std::optional<orvane::ModeReadAhead> ahead = a.takeReadAhead(gridPath);
    // Weights made on a worker for the surface file as it still is; a read
    // ahead with weights for another surface is of no use.
    if (ahead && ahead->transfer) {
        if (!surfaceKept && surfaceFile && ahead->transfer->surfaceFile == surfaceFile) {
            a.modeTransfer = std::move(*ahead->transfer);
            surfaceKept = true;
        } else {
            ahead.reset();
        }
    }
    const std::optional<orvane::FileStamp> modeFile = orvane::FileStamp::of(gridPath);
    vtkSmartPointer<vtkDoubleArray> shape =
        surfaceKept && modeFile ? a.modeTransfer.keptShape(*modeFile) : nullptr;
    if (shape == nullptr) {
        orvane::ResultRequest request;
        request.surfacePath = surfaceKept ? std::string() : surfacePath;
        request.gridPath = gridPath;
        request.modeShape = true;
        request.quantities = false;
        std::string why;
        std::optional<orvane::ResultData> read;
        if (surfaceKept && ahead) {
            read = std::move(ahead->read);
            // Made on the worker through these weights, which fit its grid.
            shape = ahead->shape;
        }
        if (!read) {
            read = orvane::readResult(request, why);
        }
        if (!read) {
            std::cerr << "orvane: playModel: " << why << "\n";
            r.forgetResult();
            a.modeTransfer.forget();
            renderView();
            return;
        }
        if (shape == nullptr) {
            const vtkSmartPointer<vtkPolyData> modelSurface =
                read->surface != nullptr ? read->surface : a.modeTransfer.surface;
            if (!surfaceFile || !a.modeTransfer.fits(*surfaceFile, read->grid)) {
                a.modeTransfer.rebuild(surfaceFile.value_or(orvane::FileStamp{}), modelSurface, read->grid);
            }
            shape = a.modeTransfer.shapeOf(read->modeShape);
        }
        if (shape != nullptr && modeFile && surfaceFile) {
            a.modeTransfer.keepShape(*modeFile, shape);
        }
    }
    // The tick needs only the shape on the surface; the grid is read when a
    // command needs its quantities.
    r.forgetResult();
    r.unreadModeGrid = gridPath;
    r.resultModel = a.modeTransfer.surface;
    if (warpBy(a.modeTransfer, shape, *r.resultSurface)) {
        r.resultRange = orvane::modeColourRange;
        r.addStops(orvane::blueToRedRamp(r.resultRange[0], r.resultRange[1]));
        r.resultMapper->SetInputData(r.resultSurface);
        r.colourActor(r.resultMapper, r.resultActor);

        a.modeLabel = vtkSmartPointer<vtkTextActor>::New();
        a.modeLabel->SetTextScaleModeToNone();
        a.modeLabel->GetPositionCoordinate()->SetCoordinateSystemToNormalizedDisplay();
        a.modeLabel->SetPosition(0.0, 0.0);
        a.modeLabel->GetTextProperty()->SetFontSize(25);
        a.modeLabel->GetTextProperty()->SetColor(1.0, 1.0, 1.0);
        a.modeLabel->SetInput(orvane::modeLabelText(mode, r.eigenvalues).c_str());
        renderer->AddActor2D(a.modeLabel);
        applyGradientBackground();
        renderer->AddActor(r.resultActor);
    } else {
        std::cerr << "orvane: playModel: the mode shape of '" << gridPath
                  << "' did not reach the model surface\n";
    }
    if (!r.hasResult()) {
        a.modeTransfer.forget();
    }
    renderView();
    // The next mode is read while this one shows, unless its shape is kept.
    const std::string nextGridPath = orvane::datapaths::animatedModeResult(
        a.animationRoot, orvane::nextModeIndex(mode, r.eigenvalues.size()));
    const std::optional<orvane::FileStamp> nextModeFile = orvane::FileStamp::of(nextGridPath);
    if (a.modeTimerRunning() && a.modeTransfer.surface != nullptr && nextModeFile &&
        a.modeTransfer.keptShape(*nextModeFile) == nullptr) {
        a.readAhead(nextGridPath);
    }
}

bool Orvane::readUnreadModeGrid(const std::string& command) {
    ResultPipeline& r = *results;
    if (r.unreadModeGrid.empty()) {
        return true;
    }
    orvane::ResultRequest request;
    request.gridPath = std::exchange(r.unreadModeGrid, {});
    request.modeShape = true;
    std::string why;
    std::optional<orvane::ResultData> read = orvane::readResult(request, why);
    if (!read) {
        std::cerr << "orvane: " << command << ": " << why << "\n";
        r.forgetResult();
        return false;
    }
    vtkSmartPointer<vtkDataArray> modeVectors = read->modeShape;
    r.adopt(std::move(*read));
    r.resultPointData->SetVectors(modeVectors);
    r.resultPointData->SetScalars(r.deformationMagnitude);
    return true;
}

void Orvane::rendererVTK(const std::string& path) {
    ResultAnimation& a = *animation;
    ResultPipeline& r = *results;
    if (fixedLocations.seriesDir.empty()) {
        std::cerr << "orvane: rendererVTK: no series directory is set (ORVANE_SERIES_DIR)\n";
        return;
    }
    std::string listingError;
    const std::optional<int> frameCount = orvane::countSeriesFrames(fixedLocations.seriesDir, listingError);
    if (!frameCount) {
        std::cerr << "orvane: rendererVTK: cannot list the series directory '" << fixedLocations.seriesDir
                  << "': " << listingError << "\n";
        return;
    }
    std::optional<LegacyFile> opened = readLegacyFile("rendererVTK", path, a.seriesScalarsName);
    if (!opened) {
        return;
    }
    vtkSmartPointer<vtkDataSetReader> reader = opened->reader;

    clearScene();
    a.seriesFrameCount = *frameCount;
    std::cout << a.seriesFrameCount << std::endl;
    a.seriesFile = path;
    a.seriesReader = reader;
    a.seriesSnapshot = std::move(opened->snapshot);
    a.scalarNames.clear();
    a.vectorNames.clear();
    for (int i = 0; i < reader->GetNumberOfScalarsInFile(); ++i) {
        a.scalarNames.emplace_back(reader->GetScalarsNameInFile(i));
    }
    for (int i = 0; i < reader->GetNumberOfVectorsInFile(); ++i) {
        a.vectorNames.emplace_back(reader->GetVectorsNameInFile(i));
    }
    std::cout << "------------scalarname---------" << std::endl;
    for (const std::string& name : a.scalarNames) {
        std::cout << "name: " << name << std::endl;
        sendReply("attribute", name);
    }
    std::cout << "------------vectorname----------" << std::endl;
    for (const std::string& name : a.vectorNames) {
        std::cout << "name: " << name << std::endl;
    }

    r.resultRange = seriesColourRange;
    a.seriesScalarsName = "sigma_xx";
    reader->SetScalarsName(a.seriesScalarsName.c_str());
    reader->Update();
    r.addStops(orvane::divergingRamp(r.resultRange[0], r.resultRange[1]));
    std::cout << r.resultRange[0] << " " << r.resultRange[1] << std::endl;

    a.seriesMapper->SetInputConnection(reader->GetOutputPort());
    a.seriesMapper->SetScalarRange(r.resultRange[0], r.resultRange[1]);
    a.seriesMapper->ScalarVisibilityOn();
    a.seriesMapper->SetColorModeToDefault();
    a.seriesMapper->SetLookupTable(r.colorFunction);

    applyGradientBackground();
    r.resultActor->SetMapper(a.seriesMapper);
    renderer->AddActor(r.resultActor);
    renderView();
}

void Orvane::stepSeries(SeriesStep step, const std::string& command) {
    ResultAnimation& a = *animation;
    const std::optional<orvane::SeriesMove> move =
        orvane::moveInSeries(step, a.seriesFrame, a.seriesFrameCount);
    if (!move) {
        std::cerr << "orvane: " << command << ": no series frames: open a series with rendererVTK first\n";
        return;
    }
    showSeriesFrame(command, move->shown);
    a.seriesFrame = move->next;
}

void Orvane::showSeriesFrame(const std::string& command, int frame) {
    ResultAnimation& a = *animation;
    // A frame that does not read leaves the previous one in view.
    const std::string path = fixedLocations.seriesFrame(frame);
    if (std::optional<LegacyFile> opened = readLegacyFile(command, path, a.seriesScalarsName)) {
        a.seriesFile = path;
        a.seriesReader = opened->reader;
        a.seriesSnapshot = std::move(opened->snapshot);
        a.seriesMapper->SetInputConnection(a.seriesReader->GetOutputPort());
    }
    sendReply("message", std::to_string(frame));
    renderView();
}

void Orvane::attri(const std::string& name) {
    ResultAnimation& a = *animation;
    if (a.scalarNames.empty()) {
        std::cerr << "orvane: attri: no series is open: open one with rendererVTK first\n";
        return;
    }
    if (std::find(a.scalarNames.begin(), a.scalarNames.end(), name) == a.scalarNames.end()) {
        std::cerr << "orvane: attri: the series has no scalar array '" << name << "'\n";
        return;
    }
    a.seriesScalarsName = name;
    a.seriesReader->SetScalarsName(name.c_str());
    a.seriesReader->Update();
    results->styleScalarBar(name, "%.3f");
    enableScalarBar(orvane::ScalarBarPlace::UpperRight);
}
