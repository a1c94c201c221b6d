#pragma once

#include "geometry/CoordinateFile.h"

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <vtkActor.h>
#include <vtkCellPicker.h>
#include <vtkInteractorStyleTrackballCamera.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkStaticCellLocator.h>
#include <vtkWeakPointer.h>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace orvane {

struct Analysis;
class EntityEditor;

// The interactor style of the main view: trackball camera, plus hover
// highlighting of the solid or face under the mouse and selection of the
// highlighted actor with the right button. It holds the face lists of the
// imported model, which the STEP import hands over; a right click makes the
// highlighted actor the target of the Analysis it points to, and its keys
// add and delete that Analysis's entities.
class MouseInteractorHighLightActor : public vtkInteractorStyleTrackballCamera {
public:
    static MouseInteractorHighLightActor* New();
    vtkTypeMacro(MouseInteractorHighLightActor, vtkInteractorStyleTrackballCamera)

    // Hover highlighting, then the camera's own handling and a render.
    void OnMouseMove() override;
    void OnLeftButtonDown() override;
    void OnLeftButtonUp() override;
    void OnRightButtonDown() override;
    // The keyboard commands; no key falls through to the base style, whose
    // exit keys would end the program.
    void OnKeyPress() override;
    void OnChar() override;
    // Acts on one key symbol, as OnKeyPress does with the interactor's.
    void HandleKey(const std::string& key);

    // Hover highlights whole actors (false) or single faces (true).
    void setFaceMode(bool on);

    // Ends every highlight (the hovered solid gets its saved look back, the
    // shown faces are hidden) and forgets the picked actor and the face
    // selection. Whatever removes actors from the scene calls it first.
    void forgetPicks();

    // True while long work holds the commands (an import, a solver run):
    // right clicks and keys, which edit the model, are then ignored; the
    // camera and the hover highlight keep acting on what is shown.
    std::function<bool()> busy;

    // Picks at the display position and updates the hover highlight, without
    // rendering.
    void updateHover(int x, int y);

    // What an import builds for fast picking: the triangles of every face
    // (cell arrays "face" and "solid") with a locator, and the actors that
    // draw them.
    struct ModelPickIndex {
        vtkSmartPointer<vtkPolyData> triangles;
        vtkSmartPointer<vtkStaticCellLocator> locator;
        // Entry k draws the triangles of solid k; null where no actor does.
        std::vector<vtkSmartPointer<vtkActor>> solidActors;
        // Draws all the triangles when it is shown (no solids); else null.
        vtkSmartPointer<vtkActor> wholeModelActor;
    };
    // Replaces the index of the previous model. Without an index, hover
    // picks with a cell picker over every prop and finds the face by its
    // exact distance.
    void setModelPickIndex(ModelPickIndex index);

    // The face that the view line through pickPosition crosses nearest to
    // it, among the faces whose box holds the position; -1 for none.
    // By the face triangles (what hover uses once an index is set):
    int faceByTriangles(const double viewDirection[3]) const;
    // By the exact distance from the line to each face (fills candidateFaces
    // and hitDistances):
    int faceByExactDistance(const double viewDirection[3]);

    // Shows face i as highlighted and makes it the selection; false for an
    // index outside the face lists.
    bool HighlightFace(int face);
    // Marks face i with a line, a sphere and a "here" label; false for an
    // index outside the face lists.
    bool MarkBadFace(int face);
    // Reads x y z triples and marks every point with a lit green sphere.
    void HighlightPoints(const std::string& path);

    // The selection as the "selectFace" reply text: every id followed by a space.
    std::string selectedIdsText() const;

    bool faceMode = false;
    bool hoverEnabled = true;
    std::array<double, 3> pickPosition{0.0, 0.0, 0.0};
    // Held weakly: the scene may drop the actor while the mouse rests on it.
    vtkWeakPointer<vtkActor> lastPickedActor;
    vtkSmartPointer<vtkProperty> savedProperty = vtkSmartPointer<vtkProperty>::New();
    vtkSmartPointer<vtkRenderer> renderer = vtkSmartPointer<vtkRenderer>::New();

    std::vector<vtkSmartPointer<vtkActor>> faceActors;
    vtkSmartPointer<vtkActor> modelActor = vtkSmartPointer<vtkActor>::New();
    std::vector<TopoDS_Face> faces;
    std::vector<std::array<double, 6>> faceBoxes;

    std::vector<vtkSmartPointer<vtkActor>> highlightedFaces;
    std::vector<TopoDS_Shape> selectedShapes;
    std::vector<int> selectedFaceIds;
    std::map<int, TopoDS_Shape> candidateFaces;
    std::map<double, int> hitDistances;

    // The analysis model that right clicks and keys edit, and the editor that
    // adds its entities. The main window owns both, sets them before it
    // installs the style and keeps them until the window is gone.
    Analysis* analysis = nullptr;
    EntityEditor* entities = nullptr;

    // Hides the entity under the mouse and removes its records.
    void DeleteSelected();
    // Exports a face as B-rep and runs the Gauss-point job (set by the main window).
    std::function<void(int face)> exportFaceBrep;
    // Set by the "b" key, cleared by "pointsCoord".
    bool pointCollectFlag = false;
    // Points of a loaded mesh file.
    std::vector<Point3> meshPoints;

    // Points of "HightLightPoint", and their markers.
    std::vector<std::array<double, 3>> highlightPoints;
    std::vector<vtkSmartPointer<vtkActor>> highlightPointActors;

protected:
    MouseInteractorHighLightActor() = default;

private:
    // What lies under the mouse: the nearest of the indexed model and the
    // other shown props, as a cell picker over all of them would find it.
    struct HoverPick {
        bool hit = false;
        vtkActor* actor = nullptr;
        std::array<double, 3> position{0.0, 0.0, 0.0};
        // The face of the model triangle hit; -1 when another prop was hit.
        int face = -1;
    };
    HoverPick pickAt(int x, int y);
    // The nearest model triangle along the segment drawn by a shown actor.
    bool castIntoModel(const double from[3], const double to[3], const std::unordered_set<vtkProp*>& shown,
                       HoverPick& pick) const;
    bool boxHoldsPick(std::size_t face) const;
    // How far from pickPosition the view line through it meets the face,
    // when it comes within the hit tolerance of it.
    std::optional<double> exactHitDistance(const double viewDirection[3], int face) const;
    void hoverSolid(vtkActor* picked);
    void hoverFace(const double viewDirection[3], bool hit, int face);
    void renderWindow();
    // Says once per key or click that it waits for nothing: true while busy.
    bool ignoredWhileBusy(const std::string& input) const;
    bool validFace(int face, const char* command) const;
    // In multi-point mode a right-clicked face joins the picked points, once.
    void collectPickedPoint();

    // Picks the props that the model index does not cover.
    vtkSmartPointer<vtkCellPicker> hoverPicker = vtkSmartPointer<vtkCellPicker>::New();
    ModelPickIndex pickIndex;
};

} // namespace orvane
