// The project editor's page "Файлы" over a generated tree (offscreen window),
// beside find(1) with the same filter on the same tree: how long the page takes
// to fill, and how long the event loop ever waited meanwhile (the longest gap
// between two turns of a zero-interval timer), which is what a person feels
// as a frozen window.
//
//   bench_found [files]        generates a tree of that many files (default 100000)
//   bench_found --tree DIR     reuses a tree kept by bench_scan --keep
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "BenchTree.h"
#include "editor/SetPrj.h"
#include "platform/Platform.h"
#include "project/HLObject.h"
#include "settings/WorkDirs.h"

using namespace bench;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    long total = 100000;
    std::string reuse;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--tree" && i + 1 < argc)
            reuse = argv[++i];
        else
            total = atol(argv[i]);
    }
    const Tree tree = GenerateOrReuse(total, reuse);
    QApplication app(argc, argv);
    fs::create_directories(tree.root + "/Prog");
    hv::SetDriveMap({{'C', "/"}, {'D', tree.root}});
    hv::workdirs::InitWorkDirs("D:\\Prog\\");

    hv::THL_HalvoraProject p;
    p.FileName = "D:\\Prog\\Projects\\Bench.hlj";
    p.SetName("Bench");
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.IncludeSubDirs = true;
    p.AddExtension("BAK");
    p.AddExtension("TMP");
    p.SavePlaces().Add("D:\\Save");
    p.ArcType = 2;
    p.SaveToFile();

    double findSecs = 0;
    RunFind(tree.root, false, findSecs);  // warms the cache
    const long found = RunFind(tree.root, false, findSecs);

    hv::TFormSetProject editor;
    editor.SetCallerProject(&p);
    double fillSecs = 0, longestGap = 0;
    long turns = 0;
    QString shown;
    QTimer::singleShot(0, &editor, [&] {
        Clock::time_point last = Clock::now();
        QTimer tick;
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            longestGap = std::max(longestGap, Seconds(now - last));
            last = now;
            ++turns;
        });
        tick.start();
        const Clock::time_point t0 = Clock::now();
        last = t0;
        editor.findChild<QTabWidget*>("pcBrowser")
            ->setCurrentWidget(editor.findChild<QWidget*>("tabFiles"));
        while (editor.Scanning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        fillSecs = Seconds(Clock::now() - t0);
        longestGap = std::max(longestGap, Seconds(Clock::now() - last));
        tick.stop();
        shown = editor.findChild<QLabel*>("lbFilesFound")->text();
        static_cast<QDialog&>(editor).reject();  // as Esc does
    });
    editor.Execute();

    printf("tree: %ld files, %ld taken by the filter\n", tree.files, tree.expected);
    printf("editor page \"Files\" filled : %8.3f s  (%s files shown)\n", fillSecs,
           shown.toUtf8().constData());
    printf("find -print                : %8.3f s  (%ld files)\n", findSecs, found);
    printf("ratio editor/find          : %8.2f\n", fillSecs / findSecs);
    printf("event loop: %ld turns during the fill, longest wait %.0f ms (goal <= 100 ms)\n", turns,
           longestGap * 1000);
    if (reuse.empty()) {
        std::error_code ec;
        fs::remove_all(tree.root, ec);
    }
    return shown.toLong() == tree.expected ? 0 : 1;
}
