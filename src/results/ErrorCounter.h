#pragma once

#include <vtkCommand.h>

namespace orvane {

// Counts the errors an algorithm reports while it runs; VTK's own error
// output is silenced, so this is how a failed read is noticed.
class ErrorCounter : public vtkCommand {
public:
    static ErrorCounter* New() { return new ErrorCounter; }
    void Execute(vtkObject*, unsigned long, void*) override { ++count; }
    int count = 0;
};

} // namespace orvane
