#include "app/Orvane.h"

#include "app/ShutdownCleanup.h"
#include "commands/CommandDispatcher.h"
#include "commands/CommandHold.h"
#include "commands/CommandTable.h"
#include "commands/HeldJob.h"
#include "geometry/GaussPointJob.h"
#include "geometry/ImportState.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "interaction/MouseInteractorStyle2.h"
#include "interaction/PointPickerCallback.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "results/ResultAnimation.h"
#include "results/ResultLoad.h"
#include "results/SolverRun.h"
#include "scene/Multisampling.h"
#include "scene/PickedPointArrow.h"
#include "scene/SceneRegistry.h"
#include "scene/SectionClipping.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QScreen>
#include <QVTKOpenGLStereoWidget.h>

#include <vtkActor.h>
#include <vtkAxesActor.h>
#include <vtkCellArray.h>
#include <vtkMapper.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkPointPicker.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <iostream>
#include <optional>

using orvane::ReplyChannel;

namespace {

// Without a window manager, a top-level widget holding only the render
// widget opens at the render widget's tiny size hint.
constexpr int initialViewWidth = 1024;
constexpr int initialViewHeight = 768;

} // namespace

Orvane::Orvane(bool hideOnStartArgument, std::unique_ptr<ReplyChannel> replyChannel, QWidget* parent)
    : QWidget(parent), hideOnStart(hideOnStartArgument),
      fixedLocations(orvane::FixedLocations::fromEnvironment()),
      renderer(vtkSmartPointer<vtkRenderer>::New()), scene(std::make_unique<orvane::SceneRegistry>()),
      pickedArrow(std::make_unique<orvane::PickedPointArrow>()),
      stepImport(std::make_unique<orvane::ImportState>()), axesActor(vtkSmartPointer<vtkAxesActor>::New()),
      axesWidget(vtkSmartPointer<vtkOrientationMarkerWidget>::New()), channel(std::move(replyChannel)),
      dispatcher(std::make_unique<orvane::CommandDispatcher>(orvane::commandTable(this), std::cerr)),
      commandHold(std::make_unique<orvane::CommandHold>(
          [this](const std::string& command) { dispatcher->execute(command); })),
      containerLayout(new QHBoxLayout), container(new QWidget) {
    solverRun = std::make_unique<orvane::SolverRun>(
        *commandHold, std::cerr, [this](const std::string& phase, long long done, long long total) {
            reportProgress(phase, done, total);
        });
    gaussJob = std::make_unique<orvane::GaussPointJob>(*commandHold, guardedOnGuiThread("genBrep"));
    resultLoading = std::make_unique<orvane::HeldJob<orvane::ResultLoadOutcome>>(
        *commandHold, guardedOnGuiThread("result load"));
    pointPickerCallback = vtkSmartPointer<orvane::PointPickerCallback>::New();
    pointPicker = vtkSmartPointer<vtkPointPicker>::New();
    vertexCells = vtkSmartPointer<vtkCellArray>::New();
    dragStyle = vtkSmartPointer<orvane::MouseInteractorStyle2>::New();
    analysis = std::make_unique<orvane::Analysis>();
    pickingStyle = vtkSmartPointer<orvane::MouseInteractorHighLightActor>::New();
    rotationMarkerSource = vtkSmartPointer<vtkSphereSource>::New();
    rotationMarkerMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    rotationMarkerActor = vtkSmartPointer<vtkActor>::New();
    results = std::make_unique<orvane::ResultPipeline>();
    animation = std::make_unique<orvane::ResultAnimation>();
    clipping = std::make_unique<orvane::SectionClipping>();

    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("OrvaneClass"));
    }
    resize(600, 400);
    setWindowTitle(QCoreApplication::translate("OrvaneClass", "Orvane"));
    QMetaObject::connectSlotsByName(this);

    // Runs on the channel's network thread: only the signal crosses over.
    channel->setCommandReceiver([this](const std::string& text) {
        emit SendMessageSocketIO(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    });

    vtkWidget = new QVTKOpenGLStereoWidget;
    vtkObject::GlobalWarningDisplayOff();
    // Highlighted faces lie in the surfaces of their solids; offsets let them show.
    vtkMapper::SetResolveCoincidentTopologyToPolygonOffset();
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->addWidget(vtkWidget);
    container->setLayout(containerLayout);
    container->resize(initialViewWidth, initialViewHeight);

    if (!hideOnStart) {
        container->show();
    } else {
        container->showMinimized();
        // Moved past the bottom-right corner of its screen, keeping its size.
        QRect geometry = container->geometry();
        const QRect screen = container->screen()->geometry();
        geometry.moveTopLeft(QPoint(screen.width(), screen.height()));
        container->setGeometry(geometry);
    }

    connect(this, &Orvane::SendMessageSocketIO, this, &Orvane::OnReceiveMessage);

    applyGradientBackground();
    orvane::fitMultisamplingAfterFirstFrame(vtkWidget->renderWindow());
    renderView();

    vtkWidget->setMouseTracking(true);

    analysis->rb3BrepDir = fixedLocations.rb3BrepDir;
    analysis->dataRoot = fixedLocations.defaultDataRoot;
    entities = std::make_unique<orvane::EntityEditor>(
        *analysis, orvane::EntityCanvas{renderer, [this] { vtkWidget->renderWindow()->Render(); }});
    pickingStyle->SetDefaultRenderer(renderer);
    pickingStyle->renderer = renderer;
    pickingStyle->analysis = analysis.get();
    pickingStyle->entities = entities.get();
    pickingStyle->exportFaceBrep = [this](int face) { ExportFaceBrep(face); };
    pickingStyle->busy = [this] { return commandHold->holding(); };
    vtkWidget->interactor()->SetInteractorStyle(pickingStyle);

    axesWidget->SetInteractor(vtkWidget->interactor());
    axesWidget->SetOrientationMarker(axesActor);
    axesWidget->SetOutlineColor(1.0, 1.0, 1.0);
    axesWidget->SetViewport(0.0, 0.0, 0.1, 0.1);
    axesWidget->SetEnabled(1);
    // The marker only shows the orientation; it is not dragged around.
    axesWidget->InteractiveOff();
}

Orvane::~Orvane() {
    // Commands still waiting for a run or an import do not run any more.
    commandHold->dropWaiting();
    // A run still in progress (SIGINT, SIGTERM, window closed) ends first,
    // and lets go of the command hold while the hold still exists.
    solverRun.reset();
    gaussJob.reset();
    resultLoading.reset();
    cancelStepImport();
    orvane::removeWrittenFiles(stepImport->importFiles, std::cerr);
    // Its hold on the commands ends while the commands' hold still exists.
    stepImport->hold = orvane::CommandHold::Lease();
    channel.reset();
    axesWidget->SetEnabled(0);
    // Their widgets let go of the interactor before the window goes.
    clipping.reset();
    results.reset();
    delete container;
}

void Orvane::connectChannel(const std::string& url) {
    channel->connect(url);
}

void Orvane::sendReply(const std::string& event, const std::string& text) {
    channel->emitEvent(event, {text});
}

void Orvane::reportProgress(const std::string& phase, long long done, long long total) {
    if (std::optional<std::string> text =
            progressThrottle.admit(phase, done, total, orvane::ProgressThrottle::Clock::now())) {
        sendReply("progress", *text);
    }
}

std::function<void(std::function<void()>)> Orvane::guardedOnGuiThread(const char* what) {
    return [this, what](std::function<void()> work) {
        QMetaObject::invokeMethod(
            this, [this, what, work = std::move(work)] { dispatcher->runGuarded(what, work); },
            Qt::QueuedConnection);
    };
}

void Orvane::reportProgressFromWorker(const std::string& phase, long long done, long long total) {
    QMetaObject::invokeMethod(
        this, [this, phase, done, total] { reportProgress(phase, done, total); }, Qt::QueuedConnection);
}

void Orvane::OnReceiveMessage(QString commandText) {
    const QByteArray utf8 = commandText.toUtf8();
    commandHold->receive(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void Orvane::renderView() {
    vtkRenderWindow* window = vtkWidget->renderWindow();
    window->AddRenderer(renderer);
    window->Render();
}

void Orvane::applyGradientBackground() {
    renderer->GradientBackgroundOn();
    renderer->SetBackground(0.655, 0.655, 0.737);
    renderer->SetBackground2(0.204, 0.204, 0.404);
}
