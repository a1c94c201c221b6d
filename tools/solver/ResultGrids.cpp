#include "ResultGrids.h"

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSTLWriter.h>
#include <vtkStaticCellLocator.h>
#include <vtkStaticPointLocator.h>
#include <vtkStructuredGrid.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLStructuredGridWriter.h>

#include <algorithm>
#include <cmath>

namespace orvane::solver {

struct ResultLattice::Impl {
    std::array<int, 3> dims{};
    vtkNew<vtkPoints> points;
    // Per lattice point: the nodes (0-based) and weights that give its value.
    std::vector<std::vector<std::pair<vtkIdType, double>>> stencils;
    std::size_t inside = 0;
};

ResultLattice::ResultLattice(const TetMesh& mesh, int longestSide) : impl(std::make_unique<Impl>()) {
    vtkNew<vtkUnstructuredGrid> grid;
    vtkNew<vtkPoints> nodes;
    nodes->SetDataTypeToDouble();
    nodes->SetNumberOfPoints(static_cast<vtkIdType>(mesh.nodes.size()));
    for (std::size_t k = 0; k < mesh.nodes.size(); ++k) {
        nodes->SetPoint(static_cast<vtkIdType>(k), mesh.nodes[k].data());
    }
    grid->SetPoints(nodes);
    // CalculiX's C3D10 numbers its edge nodes as VTK's quadratic tetrahedron.
    const int cellType = mesh.order == 1 ? VTK_TETRA : VTK_QUADRATIC_TETRA;
    grid->Allocate(static_cast<vtkIdType>(mesh.elements.size()));
    std::vector<vtkIdType> ids;
    for (const auto& element : mesh.elements) {
        ids.assign(element.begin(), element.end());
        for (vtkIdType& id : ids) {
            id -= 1;
        }
        grid->InsertNextCell(cellType, static_cast<vtkIdType>(ids.size()), ids.data());
    }
    double b[6];
    grid->GetBounds(b);
    const double diagonal = std::sqrt((b[1] - b[0]) * (b[1] - b[0]) + (b[3] - b[2]) * (b[3] - b[2]) +
                                      (b[5] - b[4]) * (b[5] - b[4]));
    const double margin = 0.05 * diagonal;
    double longest = 0.0;
    for (int a = 0; a < 3; ++a) {
        b[2 * a] -= margin;
        b[2 * a + 1] += margin;
        longest = std::max(longest, b[2 * a + 1] - b[2 * a]);
    }
    const double spacing = longest / std::max(2, longestSide - 1);
    for (int a = 0; a < 3; ++a) {
        impl->dims[static_cast<std::size_t>(a)] =
            std::max(2, static_cast<int>(std::ceil((b[2 * a + 1] - b[2 * a]) / spacing)) + 1);
    }

    vtkNew<vtkStaticCellLocator> cells;
    cells->SetDataSet(grid);
    cells->BuildLocator();
    vtkNew<vtkStaticPointLocator> nearest;
    nearest->SetDataSet(grid);
    nearest->BuildLocator();
    vtkNew<vtkGenericCell> cell;
    const double tolerance2 = (1e-9 * diagonal) * (1e-9 * diagonal);
    const auto& d = impl->dims;
    impl->points->SetDataTypeToDouble();
    impl->stencils.reserve(static_cast<std::size_t>(d[0]) * static_cast<std::size_t>(d[1]) *
                           static_cast<std::size_t>(d[2]));
    double weights[VTK_CELL_SIZE];
    for (int k = 0; k < d[2]; ++k) {
        for (int j = 0; j < d[1]; ++j) {
            for (int i = 0; i < d[0]; ++i) {
                double x[3] = {b[0] + i * spacing, b[2] + j * spacing, b[4] + k * spacing};
                impl->points->InsertNextPoint(x);
                double pcoords[3];
                const vtkIdType found = cells->FindCell(x, tolerance2, cell, pcoords, weights);
                std::vector<std::pair<vtkIdType, double>> stencil;
                if (found >= 0) {
                    for (vtkIdType n = 0; n < cell->GetNumberOfPoints(); ++n) {
                        stencil.emplace_back(cell->GetPointId(n), weights[n]);
                    }
                    ++impl->inside;
                } else {
                    stencil.emplace_back(nearest->FindClosestPoint(x), 1.0);
                }
                impl->stencils.push_back(std::move(stencil));
            }
        }
    }
}

ResultLattice::~ResultLattice() = default;

std::array<int, 3> ResultLattice::dimensions() const {
    return impl->dims;
}

std::size_t ResultLattice::pointsInside() const {
    return impl->inside;
}

bool ResultLattice::write(const std::string& path, const char* vectorName,
                          const std::vector<std::array<double, 3>>& vectors, const char* scalarName,
                          const std::vector<double>* scalars, std::string& error) const {
    vtkNew<vtkStructuredGrid> lattice;
    lattice->SetDimensions(impl->dims.data());
    lattice->SetPoints(impl->points);
    vtkNew<vtkDoubleArray> vectorArray;
    vectorArray->SetName(vectorName);
    vectorArray->SetNumberOfComponents(3);
    vectorArray->SetNumberOfTuples(static_cast<vtkIdType>(impl->stencils.size()));
    vtkNew<vtkDoubleArray> scalarArray;
    scalarArray->SetName(scalarName);
    scalarArray->SetNumberOfTuples(static_cast<vtkIdType>(impl->stencils.size()));
    for (std::size_t p = 0; p < impl->stencils.size(); ++p) {
        double v[3] = {0.0, 0.0, 0.0};
        double s = 0.0;
        for (const auto& [node, weight] : impl->stencils[p]) {
            const auto n = static_cast<std::size_t>(node);
            for (std::size_t c = 0; c < 3; ++c) {
                v[c] += weight * vectors[n][c];
            }
            if (scalars) {
                s += weight * (*scalars)[n];
            }
        }
        vectorArray->SetTuple(static_cast<vtkIdType>(p), v);
        scalarArray->SetValue(static_cast<vtkIdType>(p), s);
    }
    lattice->GetPointData()->AddArray(vectorArray);
    lattice->GetPointData()->SetVectors(vectorArray);
    if (scalars) {
        lattice->GetPointData()->AddArray(scalarArray);
    }
    vtkNew<vtkXMLStructuredGridWriter> writer;
    writer->SetFileName(path.c_str());
    writer->SetInputData(lattice);
    if (writer->Write() != 1) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool writeSurfaceStl(const std::string& path, const TetMesh& mesh,
                     const std::vector<std::array<int, 3>>& triangles, std::string& error) {
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    for (const auto& node : mesh.nodes) {
        points->InsertNextPoint(node.data());
    }
    vtkNew<vtkCellArray> polys;
    for (const auto& t : triangles) {
        if (t[0] > 0 && t[1] > 0 && t[2] > 0) {
            const vtkIdType ids[3] = {t[0] - 1, t[1] - 1, t[2] - 1};
            polys->InsertNextCell(3, ids);
        }
    }
    vtkNew<vtkPolyData> surface;
    surface->SetPoints(points);
    surface->SetPolys(polys);
    vtkNew<vtkSTLWriter> writer;
    writer->SetFileName(path.c_str());
    writer->SetFileTypeToASCII();
    writer->SetInputData(surface);
    if (writer->Write() != 1) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace orvane::solver
