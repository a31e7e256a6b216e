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

void AnimationThread::setHeld(bool held)
{
    QMutexLocker locker(&m_pauseMutex);
    m_held = held;
    m_pauseEnd.wakeAll();
}

// Sleeps the whole time unless the object is being destroyed; a stop() does not
// shorten it, the loop only notices stop() at its next test. Time spent held
// does not count.
void AnimationThread::pause(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    QMutexLocker locker(&m_pauseMutex);
    while (!m_aborted && !deadline.hasExpired()) {
        if (m_held) {
            const qint64 left = deadline.remainingTimeNSecs();
            while (m_held && !m_aborted)
                m_pauseEnd.wait(&m_pauseMutex);
            deadline.setPreciseRemainingTime(0, left);
            continue;
        }
        m_pauseEnd.wait(&m_pauseMutex, deadline);
    }
}
