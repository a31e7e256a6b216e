#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

// Counts from the start value to one past the end value on a worker thread,
// pausing before each step, and reports every value. The owner changes the
// parameters and stops the count from its own thread while run() may be going,
// so everything run() reads is atomic.
class AnimationThread : public QThread
{
    Q_OBJECT
public:
    explicit AnimationThread(QObject* parent = nullptr);
    ~AnimationThread() override;

    void setStartValue(int value) { m_startValue = value; }
    void setEndValue(int value) { m_endValue = value; }
    void setDelay(int seconds) { m_delay = seconds; }
    void setInterval(int milliseconds) { m_interval = milliseconds; }
    void setRunning(bool running) { m_running = running; }
    int startValue() const { return m_startValue; }
    int endValue() const { return m_endValue; }
    int currentValue() const { return m_currentValue; }
    int delay() const { return m_delay; }
    int interval() const { return m_interval; }
    void stop();
    // A held thread sleeps without waking until it is let go, then goes on with
    // what was left of its pause; nothing is skipped.
    void setHeld(bool held);

signals:
    void valueChanged(int value);

protected:
    void run() override;

private:
    void pause(int milliseconds);

    std::atomic<int> m_endValue {0};
    std::atomic<int> m_startValue {0};
    std::atomic<int> m_currentValue {0};
    std::atomic<int> m_delay {0};
    std::atomic<int> m_interval {1};
    std::atomic<bool> m_running {true};
    // Only for the destructor: a sleeping run() must not outlive its object.
    std::atomic<bool> m_aborted {false};
    bool m_held = false; // guarded by m_pauseMutex
    QMutex m_pauseMutex;
    QWaitCondition m_pauseEnd;
};
