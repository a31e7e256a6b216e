#include "drivenprogram.h"

#include "app/processutils.h"
#include "testsupport.h"

#include <QTest>

DrivenProgram::~DrivenProgram()
{
    stop();
}

bool DrivenProgram::start(const QString& program, const QStringList& arguments)
{
    stop();
    m_process.reset(TestSupport::startProgram(program, arguments));
    return m_process->state() == QProcess::Running;
}

bool DrivenProgram::waitUntilNoCopyRuns(const QString& program)
{
    if (QTest::qWaitFor([&] { return processCount(program) == 0; }, 60000))
        return true;
    qWarning("another copy of %s kept running", qPrintable(program));
    return false;
}

void DrivenProgram::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
    m_process.reset();
}

bool DrivenProgram::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

qint64 DrivenProgram::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool DrivenProgram::waitForExit(int exitCode, int timeoutMs)
{
    return m_process && m_process->waitForFinished(timeoutMs)
        && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == exitCode;
}

QStringList DrivenProgram::windows() const
{
    return isRunning() ? TestSupport::windowsOfProcess(pid()) : QStringList();
}

QString DrivenProgram::window(const std::function<bool(const QRect&)>& fits) const
{
    for (const QString& window : windows()) {
        if (fits(TestSupport::geometryOf(window)))
            return window;
    }
    return QString();
}

QString DrivenProgram::windowNamed(
    const QString& pattern, const std::function<bool(const QRect&)>& fits) const
{
    if (!isRunning())
        return QString();
    // Without --all, xdotool lists the windows that meet any one condition.
    const QStringList named = TestSupport::xdotool(
        {"search", "--all", "--onlyvisible", "--pid", QString::number(pid()), "--name", pattern})
                                  .split('\n', Qt::SkipEmptyParts);
    for (const QString& window : named) {
        if (!fits || fits(TestSupport::geometryOf(window)))
            return window;
    }
    return QString();
}

QString DrivenProgram::windowSized(const QSize& size) const
{
    return window([size](const QRect& area) { return area.size() == size; });
}

QStringList DrivenProgram::windowsSince(const QStringList& before) const
{
    QStringList added;
    for (const QString& window : windows()) {
        if (!before.contains(window))
            added << window;
    }
    return added;
}
