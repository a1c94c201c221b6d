#include "results/SelectionFile.h"

#include "geometry/MeshFiles.h"

#include <fstream>
#include <iostream>

namespace orvane {

bool writeSelectionFile(const std::string& path, const std::string& label, const Point3& direction,
                        const std::vector<int>& ids, const std::vector<Point3>& points) {
    const auto number = formatStreamDefault;
    Point3 mean{0.0, 0.0, 0.0};
    for (const Point3& point : points) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            mean[axis] += point[axis];
        }
    }
    if (!points.empty()) {
        for (double& component : mean) {
            component /= static_cast<double>(points.size());
        }
    }
    return writeFileReplacing(
        path,
        [&](const std::string& temporary) {
            std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
            if (!file) {
                std::cerr << "cannot write " << path << "\n";
                return false;
            }
            file << "$ " << label << " " << number(direction[0]) << " " << number(direction[1]) << " "
                 << number(direction[2]) << "\n";
            file << "# " << number(mean[0]) << " " << number(mean[1]) << " " << number(mean[2]) << "\n";
            for (std::size_t i = 0; i < points.size() && i < ids.size(); ++i) {
                file << "* " << ids[i] << " " << number(points[i][0]) << " " << number(points[i][1]) << " "
                     << number(points[i][2]) << "\n";
            }
            return static_cast<bool>(file.flush());
        },
        std::cerr);
}

} // namespace orvane
