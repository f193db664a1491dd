// SPDX-License-Identifier: MIT
// A save's cost against the number of files beside the results: 0, 10,000 and 100,000 files
// (a quarter of them hidden copies named as an older version named its own), on the disk the
// results folder is on and, where this may mount one, on a tmpfs. The real window and its save,
// as the save button runs it.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "app/mainwindow.h"
#include "benchutil.h"
#include "model/tavomodel.h"
#include "results/save.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"

namespace {

constexpr int kSaves = 200;

bool fill(const QByteArray& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QByteArray name =
            i % 4 == 0 ? ".Tavo-240309_1405.csv." + QByteArray::number(i + 1000000, 36).right(6)
                       : "IMG_" + QByteArray::number(i) + ".jpg";
        const int fd = ::open((folder + '/' + name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::close(fd) != 0) {
            return false;
        }
    }
    return true;
}

struct Row {
    int files = 0;
    double medianUs = 0, p90Us = 0, maxUs = 0, cpuUs = 0;
    long rssBeforeKiB = 0, rssAfterKiB = 0;
};

Row measure(const QString& folder, int files) {
    Row row;
    row.files = files;
    fill(QFile::encodeName(folder), files);
    // The files made on the disk, not the saves' syncs, pay for writing them out.
    ::sync();
    FakePlatform platform;
    platform.folder = folder;
    MainWindow w(platform);
    Sheet& sheet = w.model().sheet();
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        sheet.LabelFN.at(static_cast<std::size_t>(b)) = QStringLiteral("2024/03/09,14:05:07");
        for (int p = 0; p < Sheet::kPositions; ++p) {
            sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(b, p))) =
                QString::number(b * 6 + p + 1);
        }
    }
    sheet.LabelFileName0 = QStringLiteral("240309_1405.csv");
    w.model().setSheetStamp(QStringLiteral("2024/03/09,14:05"));
    SaveSheet(w.model(), platform);  // makes the sheet file; the rest replace it
    row.rssBeforeKiB = bench::currentRssKiB();
    std::vector<double> us;
    const double cpuStart = bench::processCpuSeconds();
    QElapsedTimer clock;
    for (int i = 0; i < kSaves; ++i) {
        clock.start();
        SaveSheet(w.model(), platform);
        us.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    row.cpuUs = (bench::processCpuSeconds() - cpuStart) * 1e6 / kSaves;
    row.rssAfterKiB = bench::currentRssKiB();
    row.medianUs = bench::median(us);
    row.p90Us = bench::percentile(us, 0.9);
    row.maxUs = bench::maximum(us);
    if (!platform.messages.isEmpty()) {
        std::fprintf(stderr, "a save said: %s\n", qPrintable(platform.messages.first()));
    }
    return row;
}

void table(const char* where, const QString& base) {
    std::printf("#### %s (%s)\n\n", where, qPrintable(base));
    std::printf(
        "| files in the folder | median | 90th percentile | slowest | CPU per save | RSS "
        "before → after %d saves |\n|---:|---:|---:|---:|---:|---:|\n",
        kSaves);
    for (int files : {0, 10000, 100000}) {
        QTemporaryDir dir(base + QStringLiteral("/tavo-bench-XXXXXX"));
        const Row r = measure(dir.path(), files);
        std::printf("| %d | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %ld → %ld KiB |\n", r.files,
                    r.medianUs, r.p90Us, r.maxUs, r.cpuUs, r.rssBeforeKiB, r.rssAfterKiB);
        std::fflush(stdout);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    std::printf("### Save against the folder's size (%s)\n\n", qPrintable(bench::machineSummary()));
    table("On the disk", QDir::tempPath());
    QTemporaryDir mountPoint;
    PathFault tmpfs(PathFault::Tmpfs, mountPoint.path());
    if (tmpfs.ok()) {
        table("On a tmpfs", mountPoint.path());
    } else {
        std::printf("No tmpfs: %s\n\n", qPrintable(tmpfs.error()));
    }
    return 0;
}
