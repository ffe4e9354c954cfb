// The folder chooser on a folder of 200,000 folders, visited 8 times: opened at the folder above
// it, gone into it, its listing read and shown, then closed. Reports the resident size after the visits ("rssMB") and its peak
// ("maxRssMB"): the listing's cost must stay with what a visit shows and be given back after it.
// The folder is made once under BENCH_FOLDER_ROOT (default: the system's temporary folder) and
// kept there for later runs.
//
//   QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software build/bench/bench_folder_chooser
#include "../view/BenchViewSupport.h"
#include "../../tests/support/QtTestSupport.h"

#include "AppQmlModules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>

#include <sys/stat.h>

namespace {

constexpr int kFolders = 200000;
constexpr int kVisits = 8;

double rssMB(const char* key = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// <root>/brinmoor-bench-200k: kFolders empty folders, made once (a marker says it is complete).
QString hugeFolder()
{
    const QString root = qEnvironmentVariable("BENCH_FOLDER_ROOT", QDir::tempPath()) + QStringLiteral("/brinmoor-bench-200k");
    if (QFile::exists(root + QStringLiteral("/.complete")))
        return root;
    QDir().mkpath(root);
    const QByteArray base = QFile::encodeName(root);
    for (int i = 0; i < kFolders; ++i)
        ::mkdir((base + "/folder-" + QByteArray::number(i)).constData(), 0755);
    QFile(root + QStringLiteral("/.complete")).open(QIODevice::WriteOnly);
    return root;
}

void BM_VisitAFolderOfTwoHundredThousandFolders(benchmark::State& state)
{
    benchview::ensureGuiApp("bench_folder_chooser");
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    const QString folder = hugeFolder();
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine);
    component.setData(R"(import QtQuick
import Brinmoor.Sheets
Window {
    width: 900; height: 700; visible: true
    property alias chooser: chooser
    FolderChooser { id: chooser }
})", QUrl::fromLocalFile(QDir::tempPath() + QStringLiteral("/bench_folder_chooser.qml")));
    std::unique_ptr<QObject> window(component.create());
    if (!window) {
        static QByteArray why;
        why = "status " + QByteArray::number(component.status()) + ": " + component.errorString().toUtf8();
        state.SkipWithError(why.constData());
        return;
    }
    auto* chooser = window->property("chooser").value<QObject*>();
    QObject* listing = chooser->property("folders").value<QObject*>();
    const double before = rssMB();
    for (auto _ : state) {
        for (int visit = 0; visit < kVisits; ++visit) {
            // Opened at the folder above, then into the huge one, as a user goes there.
            QMetaObject::invokeMethod(chooser, "openAt", Q_ARG(QString, QFileInfo(folder).path()));
            if (!brinmoor::test::waitUntil([&] { return listing->property("count").toInt() > 0 && listing->property("count").toInt() < kFolders; })) {
                state.SkipWithError("the folder above was never listed");
                return;
            }
            QMetaObject::invokeMethod(chooser, "go", Q_ARG(QString, folder));
            if (!brinmoor::test::waitUntil([&] { return listing->property("count").toInt() == kFolders; }, 120000)) {
                state.SkipWithError("the listing never showed the folder's folders");
                return;
            }
            benchview::spin(100);  // drawn
            QMetaObject::invokeMethod(chooser, "close");
            brinmoor::test::waitUntil([&] { return !chooser->property("visible").toBool(); });
        }
    }
    benchview::spin(200);
    state.counters["rssBeforeMB"] = before;
    state.counters["rssMB"] = rssMB();
    state.counters["maxRssMB"] = rssMB("VmHWM:");
}
BENCHMARK(BM_VisitAFolderOfTwoHundredThousandFolders)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
