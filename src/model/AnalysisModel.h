#pragma once

#include "geometry/CoordinateFile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The analysis model as the solver input files describe it. Targets name what
// a record acts on: "F 0 7" is face 7, "B 2 13" beam 2's node 13, "P 0 4"
// point 4 (see parseTarget).

struct ForceRecord {
    std::string name;
    std::string reserved;
    std::string target;
    std::string label;
    Point3 position{};
    std::array<double, 6> components{};
};

struct ConstraintRecord {
    std::string name;
    std::string target;
    Point3 position{};
    std::array<int32_t, 3> rotation{};
    std::array<int32_t, 3> translation{};
};

struct Rb3Record {
    std::string target;
    std::vector<int32_t> faceIds;
    std::string name;
    std::vector<Point3> capturedPoints;
    Point3 centre{};
};

struct BeamRecord {
    std::string name;
    std::vector<Point3> points;
    double radius = 0;
    double length = 0;
    double segments = 0;
    double material = 0;
    double poisson = 0;
};

struct SpringRecord {
    std::string name;
    std::string type1;
    std::string type2;
    Point3 stiffness{};
    Point3 start{};
    Point3 end{};
};

struct ConnectionRecord {
    std::string name;
    std::string targetA;
    std::string targetB;
    Point3 pointA{};
    Point3 pointB{};
    std::array<int32_t, 6> flags{};
};

struct AnalysisModel {
    std::string stepPath;
    std::vector<double> materials;
    std::array<int32_t, 2> bpp{0, 0};
    std::vector<std::string> brepFiles;
    std::vector<ForceRecord> forces;
    std::vector<ConstraintRecord> constraints;
    std::vector<BeamRecord> beams;
    std::vector<SpringRecord> springs;
    std::vector<ConnectionRecord> connections;
    std::vector<Rb3Record> rb3Elements;
};

// A target "T a b": one letter, then two integers.
struct Target {
    char letter;
    int a;
    int b;
};

// Reads the target at the start of text: an ASCII letter as the first
// character, then blanks, an integer, blanks, an integer (each may carry a
// '-'). Whatever follows is ignored, so "F 0 7 extra" is face 7. nullopt when
// text does not start so, including leading blanks and integers out of int's
// range.
std::optional<Target> parseTarget(const std::string& text);

} // namespace orvane
