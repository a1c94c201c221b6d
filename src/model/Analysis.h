#pragma once

#include "geometry/GaussPoint.h"
#include "model/AnalysisModel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// A point picked in multi-point mode: a face target and where it was picked.
struct PickedPoint {
    std::string target;
    Point3 position{};
    int32_t faceIndex = 0;
};

// An RB3 element on a disc; its face goes to a B-rep file under rb3BrepDir.
struct Rb3CircleRecord {
    std::string name;
    std::string target;
    Point3 centre{};
    Point3 normal{};
    double id = 0;
    std::vector<double> capturedPoints;
};

// The analysis the user builds on the imported model: the records the solver
// files describe, the Gauss points and RB3 discs, the data root, the picked
// target and the values the next entity add uses. The main window owns it;
// the picking style (right clicks, keys) and the entity editor point to it.
// It draws nothing.
struct Analysis {
    // The solver model; it also holds the STEP path and the region files
    // (face B-reps and cut STLs).
    AnalysisModel model;
    std::vector<GaussPoint> gaussPoints;
    std::string brepFileName = "face.brep";
    std::vector<Rb3CircleRecord> rb3Circles;
    // Where RB3 disc faces are written; empty when no location is set.
    std::string rb3BrepDir;
    // The data root of the last import (or the configured default); empty
    // before either.
    std::string dataRoot;

    // The picked entity: the name of the right-clicked actor and its centre.
    std::string target;
    Point3 position{0.0, 0.0, 0.0};

    // The values the next entity add uses.
    Point3 direction{1.0, 0.0, 0.0};
    std::vector<double> components;
    std::string labelText = "100";
    std::array<int32_t, 3> fixTranslation{0, 0, 0};
    std::array<int32_t, 3> fixRotation{0, 0, 0};
    double captureRadius = 10.0;
    bool multiPointMode = false;
    std::vector<PickedPoint> pickedPoints;
    std::vector<Point3> beamPolyline;
    std::string markText;

    // Numbers of the next entities, in their actor names.
    int32_t entityCounter = 0;
    int32_t nodeCounter = 0;
    int32_t beamCounter = 0;
    int32_t springCounter = 0;
    int32_t connectionCounter = 0;

    // Force components of the next force: its label and arrow direction
    // follow from them (a force without a direction keeps the last one).
    void SetForceParameters(const std::array<double, 6>& forceComponents);
    void SetFixParameters(const std::array<double, 6>& words);

    // Removes the records named `name` (one per kind) and says on standard
    // output which kinds it removed.
    void removeEntity(const std::string& name);

    // Solver input files; false with a diagnostic when a file cannot be written.
    bool WritePreFiles(const std::string& rootWithSlash);
    bool WriteBeamFile(const std::string& root);
    bool WriteSpringFile(const std::string& root);
};

} // namespace orvane
