#include "Model/modelconfig.h"
#include "capture/opimage.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Without the media service the controller warns once and still captures.
class TestMediaService : public QObject
{
    Q_OBJECT
private slots:
    void missingServiceIsReportedAndHarmless();
};

void TestMediaService::missingServiceIsReportedAndHarmless()
{
    QTemporaryDir noPlugins;
    QCoreApplication::setLibraryPaths({noPlugins.path()});
    QString title;
    QString text;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&]() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->close();
        }
    });
    answer.start(20);
    OpImage opImage;
    answer.stop();

    QCOMPARE(title, "Service not available");
    QCOMPARE(text,
        "The QMediaPlayer object does not have a valid service.\n"
        "Please check the media service plugins are installed.");
    ModelConfig model;
    opImage.setModel(&model);
    QTemporaryDir output;
    QSignalSpy saved(&opImage, &OpImage::imageSaved);
    QPixmap cut(QSize(10, 10));
    cut.fill(Qt::magenta);
    opImage.saveImage(cut, output.filePath("cut.png"));
    QCOMPARE(saved.count(), 1);
}

QTEST_MAIN(TestMediaService)
#include "tst_mediaservice.moc"
