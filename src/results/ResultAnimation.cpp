#include "results/ResultAnimation.h"

#include <vtkDataSetMapper.h>
#include <vtkDataSetReader.h>
#include <vtkTextActor.h>

namespace orvane {

ResultAnimation::ResultAnimation()
    : seriesReader(vtkSmartPointer<vtkDataSetReader>::New()),
      seriesMapper(vtkSmartPointer<vtkDataSetMapper>::New()) {}

ResultAnimation::~ResultAnimation() = default;

} // namespace orvane
