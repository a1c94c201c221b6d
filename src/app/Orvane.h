#pragma once

#include "app/DataPaths.h"
#include "channel/ProgressThrottle.h"
#include "channel/ReplyChannel.h"
#include "commands/CommandHold.h"
#include "model/PointLists.h"
#include "results/ResultPipeline.h"

#include <QString>
#include <QWidget>

#include <vtkSmartPointer.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QHBoxLayout;
class QVTKOpenGLStereoWidget;
class vtkActor;
class vtkAlgorithmOutput;
class vtkAxesActor;
class vtkCellArray;
class vtkDataArray;
class vtkOrientationMarkerWidget;
class vtkPointPicker;
class vtkPolyDataMapper;
class vtkRenderer;
class vtkSphereSource;

namespace orvane {
enum class SeriesStep;
struct ResultAnimation;
struct SectionClipping;
struct Analysis;
class CommandDispatcher;
class EntityEditor;
class GaussPointJob;
template <typename Result> class HeldJob;
struct ResultLoadOutcome;
struct ImportState;
class SolverRun;
class MouseInteractorHighLightActor;
class MouseInteractorStyle2;
struct PickedPointArrow;
class PointPickerCallback;
struct PreparedImport;
struct SceneRegistry;
using Point3 = std::array<double, 3>;
using Colour = std::array<double, 3>;
} // namespace orvane

// The main window object. It owns the renderer, the channel to the UI server
// and the subsystems (the scene registry, the import, the results, ...);
// every command handler is one of its member operations. It is never shown itself: the visible window is
// `container`, holding only the render widget. Its meta-object class name is
// "Orvane", so it stays outside the program's namespace.
class Orvane : public QWidget {
    Q_OBJECT

public:
    Orvane(bool hideOnStart, std::unique_ptr<orvane::ReplyChannel> channel, QWidget* parent = nullptr);
    ~Orvane() override;

    Orvane(const Orvane&) = delete;
    Orvane& operator=(const Orvane&) = delete;

    void connectChannel(const std::string& url);
    QWidget* containerWindow() const { return container; }

    // Emits one event with one string argument to the UI server.
    void sendReply(const std::string& event, const std::string& text);
    // Emits event "progress" with "PHASE DONE TOTAL" for a long command, at
    // most ten a second; the report with done equal to total always goes out.
    // The channel sends from its own thread, so reports reach the UI server
    // while the command still holds the GUI thread.
    void reportProgress(const std::string& phase, long long done, long long total);
    // The same from a worker thread: the report goes through the GUI thread.
    void reportProgressFromWorker(const std::string& phase, long long done, long long total);
    // Adds the renderer to the render window (once) and renders it.
    void renderView();
    // Renders the view and writes the render window's pixels as a PNG file;
    // replies "screenshot" with the path, or with an empty text on failure.
    void screenshot(const std::string& path);

    // Scene commands: STL models, appearance of assembly parts, camera.
    void readStl(const std::string& file);
    void readModelSTL(const std::string& file, double slotNumber, const orvane::Colour& colour,
                      double opacity);
    void changeModel(int part, const orvane::Colour& colour, double opacity);
    void closeBeam(int part, const orvane::Colour& colour, double opacity);
    void showSpring(int part, const orvane::Colour& colour, double opacity);
    void setResultOpacity(bool transparent);
    void resetCamera();
    void showBeam();

    // Point files and point picking.
    void LoadPointFile(const std::string& path);
    void LoadGaussDataFiles();
    void arrowOpen();
    void arrowClose();
    // Marks the last picked point with an arrow along `direction` and a label.
    void arrow(const orvane::Point3& direction, const std::string& label);

    // STEP import and the face exports of the imported model. The import
    // returns at once and finishes in a later turn of the event loop; until
    // then importing() is true and commands wait.
    void OpenStepFile(const std::string& root, const std::string& stepPath);
    bool importing() const;
    // Whether a long operation (an import, a result load, a run) holds the
    // commands that arrive.
    bool holdingCommands() const { return commandHold->holding(); }
    void ExportFaceBrep(int face);
    void ExportTargetFaceBrep();
    void CutWithSphere(const orvane::Point3& centre, double radius);

    // Evaluates the known points against the last pick; shows the probe disc.
    void Judge();
    void ProbeDisc(const orvane::Point3& centre, const orvane::Point3& normal, double radius);

    // The display-side beam model: node lists, pickable nodes and markers.
    void beamMesh(double segments, double length, const std::array<int, 3>& axisFlags,
                  const orvane::Point3& start);
    void showPoint(int group, const orvane::Colour& colour, double opacity);
    void pickBeamNodes(int group);
    void arrowBeam(const std::string& label, const orvane::Point3& direction);
    void fixBeam(const std::string& label);
    void connectSelected();
    void getFaceCenter();
    void matIds();

    // Moves the camera's focal point and marks it.
    void roratePosition(const orvane::Point3& position);

    // Results: loading, colouring, scalar bar, extreme markers.
    void LoadResultFields(const std::string& location, orvane::ResultForm form, double factor, int mode);
    void ReadEigenvalues(const std::string& path);
    void ShowPointCloud(const std::string& directory);
    void attribute(int code);
    void showScalarBar(bool place, bool shortBar);
    void closeScalarBar();
    void minmax();
    void colorRGBS(const std::vector<orvane::Colour>& colours);
    void BeiJingMesh(const std::string& path);
    void Stress(const std::string& directory);

    // Result animation: the mode timer and the series of legacy VTK frames.
    void playModel(const std::string& root);
    void endModel();
    // One tick of the mode timer: shows the current mode and advances it.
    void showNextMode();
    void rendererVTK(const std::string& path);
    void stepSeries(orvane::SeriesStep step, const std::string& command);
    // Reads the grid of the mode on show when its tick did not; false, with
    // a diagnostic and no result kept, when it cannot be read.
    bool readUnreadModeGrid(const std::string& command);
    void attri(const std::string& name);

    // Shows the plane widget that cuts the result open.
    void cutter();

    // Resets the scene: ends every highlight and pick of the picking style,
    // then removes the point-picking observer and every prop. Every
    // operation that drops actors goes through here.
    void clearScene();

signals:
    void SendMessageSocketIO(QString commandText);

public slots:
    void OnReceiveMessage(QString commandText);

public:
    // Shared state, used directly by the command handlers of every subsystem.
    bool hideOnStart = false;
    orvane::FixedLocations fixedLocations;
    // The known points, the points "judge" chose and the beam nodes.
    std::unique_ptr<orvane::PointLists> pointLists = std::make_unique<orvane::PointLists>();

    QVTKOpenGLStereoWidget* vtkWidget = nullptr;

    vtkSmartPointer<vtkRenderer> renderer;
    // The slot tables and assemblies of what the renderer shows.
    std::unique_ptr<orvane::SceneRegistry> scene;
    // The arrow and label of `arrow` at the last picked point.
    std::unique_ptr<orvane::PickedPointArrow> pickedArrow;
    // The last STEP import's directories, counts, shape and files, and the
    // import in progress.
    std::unique_ptr<orvane::ImportState> stepImport;
    vtkSmartPointer<orvane::PointPickerCallback> pointPickerCallback;
    vtkSmartPointer<vtkPointPicker> pointPicker;
    // Vertex cells of the displayed point set.
    vtkSmartPointer<vtkCellArray> vertexCells;
    vtkSmartPointer<vtkAxesActor> axesActor;
    vtkSmartPointer<vtkOrientationMarkerWidget> axesWidget;
    vtkSmartPointer<orvane::MouseInteractorStyle2> dragStyle;
    // The analysis model and the editor that adds its entities; the picking
    // style points to both, so they are declared before it and outlive it.
    std::unique_ptr<orvane::Analysis> analysis;
    std::unique_ptr<orvane::EntityEditor> entities;
    // The picking style installed on the interactor; it also holds the model's face lists.
    vtkSmartPointer<orvane::MouseInteractorHighLightActor> pickingStyle;
    vtkSmartPointer<vtkSphereSource> rotationMarkerSource;
    vtkSmartPointer<vtkPolyDataMapper> rotationMarkerMapper;
    vtkSmartPointer<vtkActor> rotationMarkerActor;
    // The result display and its state.
    std::unique_ptr<orvane::ResultPipeline> results;
    std::unique_ptr<orvane::ResultAnimation> animation;
    std::unique_ptr<orvane::SectionClipping> clipping;
    // The solver run in progress, if any (local program or remote run).
    std::unique_ptr<orvane::SolverRun> solverRun;
    // The Gauss-point program of `genBrep`, if it runs.
    std::unique_ptr<orvane::GaussPointJob> gaussJob;
    // The result load in progress, if any: its files are read and transferred
    // onto the model surface on a worker.
    std::unique_ptr<orvane::HeldJob<orvane::ResultLoadOutcome>> resultLoading;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void applyGradientBackground();
    // Hands work from any thread to a later turn of the GUI thread's event
    // loop, where the dispatcher's error boundary (named `what`) runs it.
    std::function<void(std::function<void()>)> guardedOnGuiThread(const char* what);
    // Reads series frame `frame` and shows it; replies its number.
    void showSeriesFrame(const std::string& command, int frame);
    // Adds the imported solids to the view a few at a time, one frame per
    // event-loop turn, then finishes the import; a turn that throws ends the
    // import as failed.
    void showImportInTurns(const std::shared_ptr<orvane::PreparedImport>& prepared);
    // One such turn; true while actors remain to be added.
    bool showImportTurn(orvane::PreparedImport& pending);
    void finishStepImport(orvane::PreparedImport& prepared);
    // Stops the import in progress, waits for its worker and hands its files
    // to the shutdown.
    void cancelStepImport();
    void applyStepImport(orvane::PreparedImport& prepared);
    // The end of a result load, on the GUI thread: the loaded result replaces
    // the scene, or the failure is reported and no result is kept.
    void showLoadedResult(orvane::ResultForm form, const std::string& gridPath,
                          orvane::ResultLoadOutcome outcome);
    void attachLoadedResult(orvane::ResultForm form, const std::string& gridPath,
                            orvane::ResultLoadOutcome outcome);
    void enableScalarBar(orvane::ScalarBarPlace place);
    // The marker objects of a beam-node marker slot, at the picked position.
    void placeBeamMarker(int markerSlot, const std::string& label, vtkAlgorithmOutput* glyphSource,
                         const orvane::Colour& colour);

    std::unique_ptr<orvane::ReplyChannel> channel;
    orvane::ProgressThrottle progressThrottle;
    std::unique_ptr<orvane::CommandDispatcher> dispatcher;
    // Every received command passes here; a long operation holds the rest.
    std::unique_ptr<orvane::CommandHold> commandHold;
    QHBoxLayout* containerLayout = nullptr;
    QWidget* container = nullptr;
};
