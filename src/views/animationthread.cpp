#include "animationthread.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

AnimationThread::AnimationThread(QObject* parent)
    : QThread(parent)
{ }

AnimationThread::~AnimationThread()
{
    m_running = false;
    {
        QMutexLocker locker(&m_pauseMutex);
        m_aborted = true;
        m_pauseEnd.wakeAll();
    }
    wait();
}

void AnimationThread::stop()
{
    m_running = false;
    m_currentValue = m_endValue.load();
}

void AnimationThread::run()
{
    m_currentValue = m_startValue.load();
    pause(m_delay * 1000);
    while (m_currentValue <= m_endValue && m_running) {
        ++m_currentValue;
        pause(m_interval);
        if (m_aborted)
            return;
        // A stop() during the pause has moved the value to the end meanwhile.
        emit valueChanged(m_currentValue);
    }
}

// Sleeps the whole time unless the object is being destroyed; a stop() does not
// shorten it, the loop only notices stop() at its next test.
void AnimationThread::pause(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    QMutexLocker locker(&m_pauseMutex);
    while (!m_aborted && !deadline.hasExpired())
        m_pauseEnd.wait(&m_pauseMutex, deadline);
}
