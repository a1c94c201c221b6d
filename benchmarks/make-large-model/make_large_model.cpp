// Builds a large STEP model for the import benchmark from the B-rep samples
// of Debian's occt-misc: real parts with hundreds of faces, copied side by
// side until the compound has enough faces.
// Usage: orvane_make_large_model OUT.step [MIN_FACES]   (MIN_FACES: 4000)

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Trsf.hxx>
#include <gp_Vec.hxx>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const sampleDir = "/usr/share/opencascade/data/occ";

// Solid parts of 138 to 324 faces each, all of them between 40 and 210 units
// across, so the meshes stay moderate at the import's deflections.
const char* const sampleParts[] = {
    "Bottom.brep", "Top.brep", "Motor-c.brep", "MODERN_Sink_1.brep", "MODERN_Chair_1.brep",
};

constexpr double gap = 50.0;

int countOf(const TopoDS_Shape& shape, TopAbs_ShapeEnum type) {
    TopTools_IndexedMapOfShape map;
    TopExp::MapShapes(shape, type, map);
    return map.Extent();
}

struct Part {
    std::string name;
    TopoDS_Shape shape;
    Bnd_Box box;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: " << argv[0] << " OUT.step [MIN_FACES]\n";
        return 2;
    }
    const std::string out = argv[1];
    const int minFaces = argc == 3 ? std::atoi(argv[2]) : 4000;
    if (minFaces <= 0) {
        std::cerr << "MIN_FACES must be a positive number\n";
        return 2;
    }

    try {
        std::vector<Part> parts;
        for (const char* name : sampleParts) {
            const std::string path = std::string(sampleDir) + "/" + name;
            Part part{name, {}, {}};
            BRep_Builder reader;
            if (!BRepTools::Read(part.shape, path.c_str(), reader) || part.shape.IsNull()) {
                std::cerr << "cannot read " << path << " (install occt-misc)\n";
                return 1;
            }
            BRepBndLib::Add(part.shape, part.box);
            parts.push_back(part);
        }

        // Each copy goes into its own cell of a row; a new row starts after
        // every round of all parts, so the model stays roughly square.
        TopoDS_Compound compound;
        BRep_Builder builder;
        builder.MakeCompound(compound);
        int faces = 0;
        double rowY = 0.0;
        for (int round = 0; faces < minFaces; ++round) {
            double x = 0.0;
            double rowDepth = 0.0;
            for (const Part& part : parts) {
                if (faces >= minFaces) {
                    break;
                }
                double xmin, ymin, zmin, xmax, ymax, zmax;
                part.box.Get(xmin, ymin, zmin, xmax, ymax, zmax);
                gp_Trsf move;
                move.SetTranslation(gp_Vec(x - xmin, rowY - ymin, -zmin));
                // A copy, not a located instance: every face of the model is distinct.
                const TopoDS_Shape copy = BRepBuilderAPI_Transform(part.shape, move, true).Shape();
                builder.Add(compound, copy);
                faces += countOf(copy, TopAbs_FACE);
                x += (xmax - xmin) + gap;
                rowDepth = std::max(rowDepth, ymax - ymin);
            }
            rowY += rowDepth + gap;
        }

        STEPControl_Writer writer;
        if (writer.Transfer(compound, STEPControl_AsIs) != IFSelect_RetDone ||
            writer.Write(out.c_str()) != IFSelect_RetDone) {
            std::cerr << "cannot write " << out << "\n";
            return 1;
        }
        std::cout << "faces " << countOf(compound, TopAbs_FACE) << " solids "
                  << countOf(compound, TopAbs_SOLID) << " bytes " << std::filesystem::file_size(out) << "\n";
    } catch (const Standard_Failure& e) {
        std::cerr << "cannot build the model: " << e.GetMessageString() << "\n";
        return 1;
    }
    return 0;
}
