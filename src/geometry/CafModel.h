#pragma once

#include "geometry/MeshFiles.h"

#include <Standard_Handle.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Shape.hxx>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

namespace orvane {

// The whole model as an XCAF document, with the mesh fineness of its STL.
struct CafModel {
    Handle(TDocStd_Document) document;
    double linearDeflection = 0.05;
    double angularDeflectionDeg = 25.0;

    // Meshes the free shapes of the document and writes them as one STL
    // (ASCII or binary). With withPointTriangleFiles it then prints the path
    // without its extension on the console and writes the point and
    // triangle files there. Returns false with a diagnostic on failure.
    // Once `stop` (when given) is true during the meshing, nothing is written
    // and the result is false.
    bool WriteStl(const std::string& path, bool asciiMode, bool withPointTriangleFiles,
                  std::ostream& console = std::cout, const std::atomic<bool>* stop = nullptr) const;

    // WriteStl for a compound of the free shapes; with `mesh` false the
    // compound is written with the triangulations it carries (see Mesh).
    bool WriteShapeStl(const TopoDS_Shape& compound, const std::string& path, bool asciiMode,
                       bool withPointTriangleFiles, std::ostream& console, const std::atomic<bool>* stop,
                       bool mesh) const;

    // The meshing WriteStl does, with this model's fineness.
    void Mesh(const TopoDS_Shape& compound, const std::atomic<bool>* stop = nullptr) const;

    // Writes base.pts and base.tri from the stored triangulations of the
    // shape's faces (see writePointTriangleFiles).
    static bool WritePointTriangleFiles(const std::string& base, const TopoDS_Shape& shape,
                                        std::ostream& console = std::cout);
};

// The stored triangulation of every face of the shape, in exploration order,
// nodes placed by the face location; triangles keep their stored node order
// whatever the face orientation, which `reversed` tells.
std::vector<MeshFace> meshFaces(const TopoDS_Shape& shape);

} // namespace orvane
