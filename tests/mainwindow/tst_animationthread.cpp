#include "views/animationthread.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Records every value with the time it was reported, on the worker thread itself.
class Recording
{
public:
    void attach(AnimationThread& thread)
    {
        clock.start();
        QObject::connect(
            &thread, &AnimationThread::valueChanged, &thread,
            [this](int value) {
                QMutexLocker locker(&mutex);
                recordedValues << value;
                recordedTimes << clock.elapsed();
            },
            Qt::DirectConnection);
    }
    QList<int> values() const
    {
        QMutexLocker locker(&mutex);
        return recordedValues;
    }
    qint64 elapsed() const { return clock.elapsed(); }
    QList<qint64> times() const
    {
        QMutexLocker locker(&mutex);
        return recordedTimes;
    }

private:
    mutable QMutex mutex;
    QElapsedTimer clock;
    QList<int> recordedValues;
    QList<qint64> recordedTimes;
};

void configure(AnimationThread& thread, int start, int end, int delay, int interval)
{
    thread.setStartValue(start);
    thread.setEndValue(end);
    thread.setDelay(delay);
    thread.setInterval(interval);
    thread.setRunning(true);
}

void runToEnd(AnimationThread& thread, int timeoutMs)
{
    QSignalSpy finished(&thread, &QThread::finished);
    thread.start(QThread::InheritPriority);
    QVERIFY(thread.wait(timeoutMs));
    QCOMPARE(finished.count(), 1);
}

} // namespace

class TestAnimationThread : public QObject
{
    Q_OBJECT
private slots:
    void countsOnePastTheEnd_data();
    void countsOnePastTheEnd();
    void pausesBeforeEachStep();
    void waitsTheDelayInWholeSeconds_data();
    void waitsTheDelayInWholeSeconds();
    void stopDuringTheDelayEmitsNothing();
    void stopAndRestartDuringTheDelayEmitsOnlyTheLastValue();
    void stopWhileCountingEndsTheCount();
    void destroyingASleepingThreadReturnsPromptly();
};

void TestAnimationThread::countsOnePastTheEnd_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("0 to 5") << 0 << 5 << QList<int> {1, 2, 3, 4, 5, 6};
    QTest::newRow("start equals end") << 3 << 3 << QList<int> {4};
    QTest::newRow("start above end") << 4 << 3 << QList<int> {};
    QTest::newRow("negative start") << -2 << 0 << QList<int> {-1, 0, 1};
    QTest::newRow("manual step of the carousel") << 400 << 400 << QList<int> {401};
}

void TestAnimationThread::countsOnePastTheEnd()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QList<int>, values);
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, start, end, 0, 1);

    runToEnd(thread, 5000);

    QCOMPARE(recording.values(), values);
    QCOMPARE(thread.currentValue(), values.isEmpty() ? start : values.last());
}

void TestAnimationThread::pausesBeforeEachStep()
{
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, 0, 9, 0, 20);

    runToEnd(thread, 5000);

    const QList<qint64> times = recording.times();
    QCOMPARE(times.size(), 10);
    QVERIFY2(times.first() >= 20, qPrintable(QString::number(times.first())));
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times.at(i) - times.at(i - 1) >= 19,
            qPrintable(QString("step %1 after %2 ms").arg(i).arg(times.at(i) - times.at(i - 1))));
}

void TestAnimationThread::waitsTheDelayInWholeSeconds_data()
{
    // Time spent held does not count: the pause goes on where it was.
    QTest::addColumn<int>("heldMs");
    QTest::newRow("free") << 0;
    QTest::newRow("held at first") << 1500;
}

void TestAnimationThread::waitsTheDelayInWholeSeconds()
{
    QFETCH(int, heldMs);
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, 0, 1, 1, 1);
    thread.setHeld(heldMs > 0);
    QSignalSpy finished(&thread, &QThread::finished);
    thread.start(QThread::InheritPriority);
    qint64 releasedAt = 0;
    if (heldMs > 0) {
        QVERIFY(!finished.wait(heldMs));
        QVERIFY(recording.values().isEmpty());
        releasedAt = recording.elapsed();
        thread.setHeld(false);
    }

    QVERIFY(thread.wait(5000));
    QCOMPARE(recording.values(), (QList<int> {1, 2}));
    // The whole delay is still ahead when the thread is let go.
    QVERIFY2(recording.times().first() >= releasedAt + (heldMs > 0 ? 900 : 1000),
        qPrintable(QString::number(recording.times().first() - releasedAt)));
}

void TestAnimationThread::stopDuringTheDelayEmitsNothing()
{
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, 0, 400, 1, 1);
    QSignalSpy finished(&thread, &QThread::finished);

    thread.start(QThread::InheritPriority);
    thread.stop();

    QVERIFY(thread.wait(5000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(recording.values().isEmpty());
}

// The carousel's manual step: stop the paused pass, set it up for an immediate
// step and start again while it still runs. The start does nothing; the running
// pass reports only the one value past the end, and finishes once.
void TestAnimationThread::stopAndRestartDuringTheDelayEmitsOnlyTheLastValue()
{
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, 0, 400, 1, 2);
    QSignalSpy finished(&thread, &QThread::finished);
    thread.start(QThread::InheritPriority);

    thread.stop();
    configure(thread, 400, 400, 0, 2);
    thread.start(QThread::InheritPriority);

    QVERIFY(thread.wait(5000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(recording.values(), QList<int> {401});
}

void TestAnimationThread::stopWhileCountingEndsTheCount()
{
    AnimationThread thread;
    Recording recording;
    recording.attach(thread);
    configure(thread, 0, 1000000, 0, 1);
    QSignalSpy finished(&thread, &QThread::finished);
    thread.start(QThread::InheritPriority);
    QTRY_VERIFY_WITH_TIMEOUT(!recording.values().isEmpty(), 5000);

    thread.stop();
    const int countAtStop = recording.values().size();

    QVERIFY(thread.wait(5000));
    QCOMPARE(finished.count(), 1);
    // At most the step that was pausing is still reported, and with the end value.
    const QList<int> values = recording.values();
    QVERIFY(values.size() <= countAtStop + 1);
    if (values.size() > countAtStop)
        QVERIFY(values.last() >= 1000000);
    QVERIFY(thread.currentValue() >= 1000000);
}

void TestAnimationThread::destroyingASleepingThreadReturnsPromptly()
{
    auto thread = std::make_unique<AnimationThread>();
    configure(*thread, 0, 400, 5, 2);
    thread->start(QThread::InheritPriority);
    QTRY_VERIFY(thread->isRunning());

    QElapsedTimer clock;
    clock.start();
    thread.reset();

    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestAnimationThread)
#include "tst_animationthread.moc"
