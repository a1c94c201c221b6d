#pragma once

#include "app/Orvane.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QVTKOpenGLStereoWidget.h>
#include <QWindow>

#include <vtkRenderWindow.h>

// Waits until the X server has exposed the view, so picks and projections
// work on the window's real size rather than on a default one.
inline bool waitUntilExposed(Orvane& view, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        QWindow* window = view.containerWindow()->windowHandle();
        const int* size = view.vtkWidget->renderWindow()->GetSize();
        if (window != nullptr && window->isExposed() && size[0] > 100 && size[1] > 100) {
            view.renderView();
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

// Runs the event loop until no long operation (a result load, an import)
// holds the commands any more, so the commands it kept have run too; false
// when one still holds them after the timeout.
inline bool waitUntilSettled(Orvane& view, int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (view.holdingCommands()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}
