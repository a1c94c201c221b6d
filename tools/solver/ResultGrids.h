#pragma once

#include "CalculixFiles.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace orvane::solver {

// A regular lattice over the part's bounding box with a margin. Each lattice
// point inside the mesh interpolates the nodal values of its element; a point
// outside takes the value of the nearest node, so that values carried from
// the lattice to the part's surface are not pulled towards zero.
class ResultLattice {
public:
    // About `longestSide` points along the longest side of the box.
    ResultLattice(const TetMesh& mesh, int longestSide);
    ~ResultLattice();
    ResultLattice(const ResultLattice&) = delete;
    ResultLattice& operator=(const ResultLattice&) = delete;

    // A VTK XML structured grid: point array 0 the vectors (three
    // components), array 1 the scalars when given.
    bool write(const std::string& path, const char* vectorName,
               const std::vector<std::array<double, 3>>& vectors, const char* scalarName,
               const std::vector<double>* scalars, std::string& error) const;

    std::array<int, 3> dimensions() const;
    std::size_t pointsInside() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// The part's surface as an ASCII STL file.
bool writeSurfaceStl(const std::string& path, const TetMesh& mesh,
                     const std::vector<std::array<int, 3>>& triangles, std::string& error);

} // namespace orvane::solver
