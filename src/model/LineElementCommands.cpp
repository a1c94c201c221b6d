// Commands of the line elements, the line point markers and the picked-point report.

#include "app/Orvane.h"
#include "channel/ReplyText.h"
#include "commands/CommandTable.h"
#include "commands/CommandWords.h"
#include "commands/InputLimits.h"
#include "interaction/MouseInteractorHighLightActor.h"
#include "model/Analysis.h"
#include "model/EntityEditor.h"
#include "model/EntityRules.h"
#include "scene/SceneRegistry.h"

#include <vtkActor.h>
#include <vtkAssembly.h>
#include <vtkLineSource.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <cmath>
#include <iostream>

namespace orvane {

namespace {

Point3 threeReals(const CommandArguments& a, int first) {
    return {a.real(first), a.real(first + 1), a.real(first + 2)};
}

std::string threeWords(const CommandArguments& a, int first) {
    return a.text(first) + " " + a.text(first + 1) + " " + a.text(first + 2);
}

vtkSmartPointer<vtkActor> greenLine(const Point3& from, const Point3& to) {
    auto line = vtkSmartPointer<vtkLineSource>::New();
    line->SetPoint1(from[0], from[1], from[2]);
    line->SetPoint2(to[0], to[1], to[2]);
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputConnection(line->GetOutputPort());
    auto actor = vtkSmartPointer<vtkActor>::New();
    actor->SetMapper(mapper);
    actor->GetProperty()->SetColor(0.0, 1.0, 0.0);
    return actor;
}

constexpr double linePointRadius = 10.0;

} // namespace

std::vector<CommandRow> lineElementCommands(Orvane* view) {
    constexpr ArgKind real = ArgKind::Real;
    constexpr ArgKind text = ArgKind::Text;
    const auto reals = [](std::size_t n) { return std::vector<ArgKind>(n, ArgKind::Real); };
    // The model and its editor are created after the command table, so they
    // are looked up per command.
    const auto analysis = [view]() -> Analysis& { return *view->analysis; };
    const auto entities = [view]() -> EntityEditor& { return *view->entities; };
    const auto linePoints = [entities](const CommandArguments& a, int extra) {
        // Counted as a real number first: a huge COUNT must neither overflow
        // the integer nor ask for more markers than can be drawn.
        const double markers = std::trunc(a.real(7)) + extra;
        if (std::optional<std::string> problem =
                overLimit("COUNT", markers - extra, limits::markersPerCommand - extra)) {
            std::cerr << "orvane: " << (extra == 0 ? "addLinePoints" : "addLinePoints2")
                      << ": refused: " << *problem << " markers\n";
            return;
        }
        const int n = truncateToInt(a.real(7));
        for (const Point3& point : spacedPoints(threeReals(a, 1), threeReals(a, 4), n + extra, n + extra)) {
            entities().AddNodeMarker(point, linePointRadius);
        }
    };
    std::vector<ArgKind> spring = reals(12);
    spring.insert(spring.end(), 6, text);
    std::vector<ArgKind> connection = reals(6);
    connection.insert(connection.end(), 6, text);
    connection.insert(connection.end(), 9, real);
    return {
        {"beamHightLight", "", reals(15),
         "beamHightLight SEGMENTS LENGTH X1 Y1 Z1 X2 Y2 Z2 RADIUS E NU R G B NODE_RADIUS",
         "Add a straight beam between two points",
         [entities](const CommandArguments& a) {
             entities().AddStraightBeam(
                 threeReals(a, 3), threeReals(a, 6),
                 {a.real(1), a.real(2), a.real(9), a.real(10), a.real(11), threeReals(a, 12), a.real(15)});
         }},
        {"beamHightLight2", "", reals(9), "beamHightLight2 SEGMENTS LENGTH RADIUS E NU R G B NODE_RADIUS",
         "Add a beam along the picked polyline",
         [entities](const CommandArguments& a) {
             entities().AddPolylineBeam(
                 {a.real(1), a.real(2), a.real(3), a.real(4), a.real(5), threeReals(a, 6), a.real(9)});
         }},
        {"springHightLight", "", spring,
         "springHightLight X1 Y1 Z1 X2 Y2 Z2 KX KY KZ R G B TARGET1_A TARGET1_B TARGET1_C TARGET2_A "
         "TARGET2_B TARGET2_C",
         "Add a spring between two points with stiffnesses and the targets of its ends",
         [entities](const CommandArguments& a) {
             entities().AddSpring(threeReals(a, 1), threeReals(a, 4), threeReals(a, 7), threeReals(a, 10),
                                  threeWords(a, 13), threeWords(a, 16));
         }},
        {"connects", "", connection,
         "connects XA YA ZA XB YB ZB TARGET_A1 TARGET_A2 TARGET_A3 TARGET_B1 TARGET_B2 TARGET_B3 TX TY TZ RX "
         "RY RZ R G B",
         "Add a connection between two targets with six coupled degrees of freedom",
         [entities](const CommandArguments& a) {
             std::array<int32_t, 6> flags{};
             for (int i = 0; i < 6; ++i) {
                 flags[static_cast<std::size_t>(i)] = truncateToInt(a.real(13 + i));
             }
             entities().AddConnection(threeReals(a, 1), threeReals(a, 4), threeWords(a, 7), threeWords(a, 10),
                                      flags, threeReals(a, 19));
         }},
        {"addLinePoints", "", reals(7), "addLinePoints X1 Y1 Z1 X2 Y2 Z2 COUNT",
         "Mark COUNT points from the first point towards the second, a COUNT-th of the line apart",
         [linePoints](const CommandArguments& a) { linePoints(a, 0); }},
        {"addLinePoints2", "", reals(7), "addLinePoints2 X1 Y1 Z1 X2 Y2 Z2 COUNT",
         "Mark COUNT+1 points from the first point towards the second, a (COUNT+1)-th of the line apart",
         [linePoints](const CommandArguments& a) { linePoints(a, 1); }},
        {"springLine", "", reals(6), "springLine X1 Y1 Z1 X2 Y2 Z2",
         "Draw a spring line into the spring assembly",
         [view](const CommandArguments& a) {
             view->scene->springAssembly->AddPart(greenLine(threeReals(a, 1), threeReals(a, 4)));
             view->renderer->AddActor(view->scene->springAssembly);
             view->renderView();
         }},
        {"line", "", reals(6), "line X1 Y1 Z1 X2 Y2 Z2", "Draw a green line segment",
         [view](const CommandArguments& a) {
             view->renderer->AddActor(greenLine(threeReals(a, 1), threeReals(a, 4)));
             view->renderView();
         }},
        {"pointsCoord",
         "",
         {},
         "pointsCoord",
         "Reply \"spring\" with the picked position and target",
         [view, analysis](const CommandArguments&) {
             view->pickingStyle->pointCollectFlag = false;
             const Analysis& s = analysis();
             view->sendReply("spring", joinReplyItems({sixDigits(s.position[0]), sixDigits(s.position[1]),
                                                       sixDigits(s.position[2]), s.target}));
         }},
    };
}

} // namespace orvane
