#pragma once

#include <QString>

namespace brinmoor {

// Whether an OpenGL renderer name belongs to a software rasteriser (Mesa's llvmpipe, softpipe,
// swrast): a machine with no GPU, where every OpenGL frame is rasterised on the CPU.
bool isSoftwareRasteriser(const QString& glRenderer);

// Picks Qt Quick's software renderer when OpenGL would run on a software rasteriser: it redraws
// only the parts of the window that changed, where OpenGL redraws the whole window each frame.
// A backend the user chose (QT_QUICK_BACKEND, QSG_RHI_BACKEND) is left alone. Call it after the
// QGuiApplication is made and before the first window is. Returns the renderer name it found
// ("" when it did not look).
QString chooseSceneGraphBackend();

} // namespace brinmoor
