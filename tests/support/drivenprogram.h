#pragma once

#include "app/appnames.h"

#include <QProcess>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>

// A built program started for a test and used from outside, as a person would: its
// windows are found by title or size through xdotool. Killed, if still running, when
// stopped or destroyed.
class DrivenProgram
{
public:
    DrivenProgram() = default;
    ~DrivenProgram();
    DrivenProgram(const DrivenProgram&) = delete;
    DrivenProgram& operator=(const DrivenProgram&) = delete;

    // Starts `program` from the build (after ending the one started before).
    bool start(
        const QString& program = AppNames::MainExecutable, const QStringList& arguments = {});
    // The single-instance guard counts copies machine-wide: a test that wants a
    // first copy waits for every other to end.
    static bool waitUntilNoCopyRuns(const QString& program = AppNames::MainExecutable);
    void stop();
    bool isRunning() const;
    QProcess* process() const { return m_process.get(); }
    qint64 pid() const;
    // Waits for the program to end by itself; true when it ended normally with `exitCode`.
    bool waitForExit(int exitCode, int timeoutMs = 10000);

    QStringList windows() const;
    QString window(const std::function<bool(const QRect&)>& fits) const;
    // The first window titled after `pattern` (a regular expression), of those that fit.
    QString windowNamed(
        const QString& pattern, const std::function<bool(const QRect&)>& fits = nullptr) const;
    QString windowSized(const QSize& size) const;
    QStringList windowsSince(const QStringList& before) const;

private:
    std::unique_ptr<QProcess> m_process;
};
