// The scene-graph backend the app starts with: software where OpenGL would be a CPU rasteriser.
#include "SceneGraphBackend.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <gtest/gtest.h>

TEST(SceneGraphBackend, software_rasterisers_are_told_from_gpus)
{
    using brinmoor::isSoftwareRasteriser;
    EXPECT_TRUE(isSoftwareRasteriser("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(isSoftwareRasteriser("softpipe"));
    EXPECT_TRUE(isSoftwareRasteriser("Mesa DRI Intel(R) UHD Graphics (swrast)"));
    EXPECT_TRUE(isSoftwareRasteriser("Software Rasterizer"));
    EXPECT_FALSE(isSoftwareRasteriser("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    EXPECT_FALSE(isSoftwareRasteriser("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
    EXPECT_FALSE(isSoftwareRasteriser("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
    EXPECT_FALSE(isSoftwareRasteriser(""));
}

TEST(SceneGraphBackend, a_backend_the_user_chose_or_a_platform_without_opengl_is_left_alone)
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QUICK_BACKEND");
    QGuiApplication app(argc, argv);
    const auto before = QQuickWindow::graphicsApi();
    // Offscreen has no OpenGL to ask: no probe, no change.
    EXPECT_EQ(brinmoor::chooseSceneGraphBackend(), QString());
    EXPECT_EQ(QQuickWindow::graphicsApi(), before);
    qputenv("QT_QUICK_BACKEND", "software");
    EXPECT_EQ(brinmoor::chooseSceneGraphBackend(), QString());
    qunsetenv("QT_QUICK_BACKEND");
}
