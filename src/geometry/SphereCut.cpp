#include "geometry/SphereCut.h"

#include "geometry/MeshFiles.h"
#include "geometry/ShapeExporter.h"

#include <BRepAlgoAPI_Common.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>

namespace orvane {

namespace {

TopoDS_Compound cutRegion(const TopoDS_Shape& ball, const TopoDS_Shape& shape) {
    TopoDS_Compound region;
    BRep_Builder builder;
    builder.MakeCompound(region);
    if (shape.IsNull()) {
        return region;
    }
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        TopTools_ListOfShape arguments;
        arguments.Append(face.Current());
        TopTools_ListOfShape tools;
        tools.Append(ball);
        BRepAlgoAPI_Common common;
        common.SetArguments(arguments);
        common.SetTools(tools);
        common.Build();
        if (!common.IsDone()) {
            std::cerr << "a face could not be cut by the sphere; it is left out\n";
            continue;
        }
        if (TopExp_Explorer(common.Shape(), TopAbs_FACE).More()) {
            builder.Add(region, common.Shape());
        }
    }
    return region;
}

// The STL writer refuses a shape without triangles; an STL without facets
// still replaces the region of an earlier cut. What went wrong, or nothing.
std::optional<std::string> writeRegionStl(const TopoDS_Shape& region, const std::string& path) {
    if (triangleCount(region) > 0) {
        return writeCheckedStl(region, path);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "solid \nendsolid\n";
    out.close();
    if (!out) {
        return std::string("write failed");
    }
    return std::nullopt;
}

bool writeRegion(const TopoDS_Shape& region, const std::string& brepPath, const std::string& stlPath) {
    return writeFileReplacing(
        brepPath,
        [&](const std::string& brepTemporary) {
            if (const std::optional<std::string> problem = writeCheckedBrep(region, brepTemporary)) {
                std::cerr << "cannot write " << brepPath << ": " << *problem << '\n';
                return false;
            }
            meshShape(region, kExportLinearDeflection, kExportAngularDeflection);
            std::cout << "Start Writing STL 5555555." << std::endl;
            // The STL is renamed into place first, so a failure on either file
            // leaves both as they were.
            return writeFileReplacing(
                stlPath,
                [&](const std::string& stlTemporary) {
                    if (const std::optional<std::string> problem = writeRegionStl(region, stlTemporary)) {
                        std::cerr << "cannot write " << stlPath << ": " << *problem << '\n';
                        return false;
                    }
                    return true;
                },
                std::cerr);
        },
        std::cerr);
}

} // namespace

bool extractSphereRegion(const gp_Pnt& centre, double radius, const TopoDS_Shape& shape,
                         const std::string& brepPath, const std::string& stlPath) {
    if (!(radius > 0.0) || !std::isfinite(radius)) {
        std::cerr << "sphere radius must be a positive number, not " << formatStreamDefault(radius) << '\n';
        return false;
    }
    try {
        const TopoDS_Shape ball = BRepPrimAPI_MakeSphere(centre, radius).Shape();
        if (!writeRegion(cutRegion(ball, shape), brepPath, stlPath)) {
            return false;
        }
        std::cout << "aaa" << std::endl;
        return true;
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot cut the sphere region: " << e.GetMessageString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "cannot cut the sphere region: " << e.what() << '\n';
    }
    return false;
}

} // namespace orvane
