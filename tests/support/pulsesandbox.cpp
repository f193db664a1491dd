// SPDX-License-Identifier: MIT
#include "support/pulsesandbox.h"

#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <cmath>
#include <csignal>
#include <cstring>

namespace {

void dieWithParent() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning) {
        return;
    }
    ::kill(static_cast<pid_t>(p.processId()), SIGCONT);
    p.kill();
    p.waitForFinished(5000);
}

// What pactl says of the server, or nothing where it fails.
QByteArray pactl(const QProcess& server, const QStringList& arguments) {
    QProcess p;
    p.setProcessEnvironment(server.processEnvironment());
    p.start(QStringLiteral("pactl"), arguments);
    return p.waitForFinished(5000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

}  // namespace

PulseSandbox::PulseSandbox() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.path() + QStringLiteral("/pulse"));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.path() + QStringLiteral("/pulse"));
    env.insert(QStringLiteral("PULSE_SERVER"), server());
    for (QProcess* p : {&m_server, &m_recorder}) {
        p->setProcessEnvironment(env);
        p->setChildProcessModifier(dieWithParent);
    }
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.setStandardOutputFile(QProcess::nullDevice());
    m_recorder.setStandardErrorFile(QProcess::nullDevice());
}

PulseSandbox::~PulseSandbox() {
    stop(m_recorder);
    stop(m_server);
}

QString PulseSandbox::server() const {
    return QStringLiteral("unix:") + m_dir.path() + QStringLiteral("/native");
}

bool PulseSandbox::start() {
    if (!m_dir.isValid()) {
        m_why = QStringLiteral("no temporary folder");
        return false;
    }
    for (const char* tool : {"pulseaudio", "pactl", "parec"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            m_why = QStringLiteral("%1 is not installed (scripts/setup.sh installs it)")
                        .arg(QLatin1String(tool));
            return false;
        }
    }
    const QString socket = m_dir.path() + QStringLiteral("/native");
    m_server.start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--system=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
         QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-level=error"),
         QStringLiteral("-L"),
         QStringLiteral("module-null-sink sink_name=cap format=s16le rate=%1 channels=%2")
             .arg(kRate)
             .arg(kChannels),
         QStringLiteral("-L"),
         QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)});
    if (!m_server.waitForStarted(5000)) {
        m_why = QStringLiteral("pulseaudio did not start: ") + m_server.errorString();
        return false;
    }
    // Up when it answers on its socket.
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_server.state() == QProcess::NotRunning) {
            m_why =
                QStringLiteral("pulseaudio exited at start-up (code %1)").arg(m_server.exitCode());
            return false;
        }
        if (QFileInfo::exists(socket) && !pactl(m_server, {QStringLiteral("info")}).isEmpty()) {
            return true;
        }
        QThread::msleep(50);
    }
    m_why = QStringLiteral("pulseaudio did not answer on its socket within 15 s");
    return false;
}

bool PulseSandbox::hasClientOf(qint64 pid) const {
    return pactl(m_server, {QStringLiteral("list"), QStringLiteral("clients")})
        .contains("application.process.id = \"" + QByteArray::number(pid) + '"');
}

bool PulseSandbox::startRecording() {
    // To a file: a pipe left unread while the test waits would stall the recorder.
    m_recorder.setStandardOutputFile(recordingPath());
    m_recorder.start(QStringLiteral("parec"),
                     {QStringLiteral("--device=cap.monitor"), QStringLiteral("--latency-msec=5"),
                      QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                      QStringLiteral("--channels=%1").arg(kChannels), QStringLiteral("--raw")});
    return m_recorder.waitForStarted(5000);
}

QString PulseSandbox::recordingPath() const {
    return m_dir.path() + QStringLiteral("/cap.raw");
}

QByteArray PulseSandbox::stopRecording() {
    m_recorder.terminate();
    m_recorder.waitForFinished(5000);
    stop(m_recorder);
    QFile file(recordingPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<qint64> soundOnsets(const QByteArray& s16Stereo, double thresholdDbfs, int gapMs) {
    const int threshold = static_cast<int>(32768.0 * std::pow(10.0, thresholdDbfs / 20.0));
    const qint64 gapFrames = qint64{PulseSandbox::kRate} * gapMs / 1000;
    const qint64 frames = s16Stereo.size() / (2 * PulseSandbox::kChannels);
    std::vector<qint64> onsets;
    qint64 lastLoud = -gapFrames - 1;
    for (qint64 f = 0; f < frames; ++f) {
        bool loud = false;
        for (int c = 0; c < PulseSandbox::kChannels; ++c) {
            qint16 v = 0;
            std::memcpy(&v, s16Stereo.constData() + (f * PulseSandbox::kChannels + c) * 2, 2);
            loud = loud || std::abs(int{v}) > threshold;
        }
        if (loud) {
            if (f - lastLoud > gapFrames) {
                onsets.push_back(f);
            }
            lastLoud = f;
        }
    }
    return onsets;
}
