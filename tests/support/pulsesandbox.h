// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// A PulseAudio server of our own: a null sink "cap" whose monitor we record, reached through
// a private unix socket in a temporary folder, so it never meets another server on the machine.
// Its processes die with the object (and with the test, should it crash).
class PulseSandbox {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;

    PulseSandbox();
    ~PulseSandbox();

    // Starts the server; false with the reason in why() where it cannot start.
    bool start();
    QString why() const { return m_why; }
    // "unix:<socket>", for PULSE_SERVER.
    QString server() const;
    qint64 serverPid() const { return m_server.processId(); }
    // Whether process pid (by default this one) is connected to the server.
    bool hasClientOf(qint64 pid = QCoreApplication::applicationPid()) const;

    // Records the sink's monitor, interleaved signed 16-bit little-endian, with a 5 ms
    // latency so that short sounds are neither swallowed nor merged by the idle sink's buffer.
    bool startRecording();
    // Stops the recording and returns the samples.
    QByteArray stopRecording();
    // Where the recording goes, growing while it runs.
    QString recordingPath() const;

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_recorder;
    QString m_why;
};

// Starts of the sounds in a recording of PulseSandbox's format: runs of samples above
// thresholdDbfs (on either channel), parted by at least gapMs of samples at or below it; each
// as the index of its first frame.
std::vector<qint64> soundOnsets(const QByteArray& s16Stereo, double thresholdDbfs = -60.0,
                                int gapMs = 30);
