#include "SceneGraphBackend.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace brinmoor {

bool isSoftwareRasteriser(const QString& glRenderer)
{
    const QString r = glRenderer.toLower();
    return r.contains(QLatin1String("llvmpipe")) || r.contains(QLatin1String("softpipe"))
           || r.contains(QLatin1String("swrast")) || r.contains(QLatin1String("software rasterizer"));
}

QString chooseSceneGraphBackend()
{
#if defined(Q_OS_MACOS) || defined(Q_OS_WIN)
    return {}; // Metal and Direct3D always have a GPU behind them
#else
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || !qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
        return {};
    // Platforms without OpenGL (offscreen, vnc, ...) make Qt Quick pick software by itself.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland") && platform != QLatin1String("eglfs"))
        return {};
    // Mesa told to rasterise on the CPU: no need to ask.
    if (qEnvironmentVariable("LIBGL_ALWAYS_SOFTWARE") == QLatin1String("1")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return QStringLiteral("software (LIBGL_ALWAYS_SOFTWARE)");
    }
    // A throwaway context on a throwaway surface, before any window exists: tens of milliseconds
    // with llvmpipe, paid once at start.
    QOpenGLContext context;
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return {};
    const auto* name = context.functions()->glGetString(GL_RENDERER);
    const QString renderer = name ? QString::fromLatin1(reinterpret_cast<const char*>(name)) : QString();
    context.doneCurrent();
    if (isSoftwareRasteriser(renderer))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return renderer;
#endif
}

} // namespace brinmoor
