#pragma once

#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QTimer>

class ModelConfig;
class QClipboard;
class QDateTime;
class QKeyEvent;
class QMediaPlayer;
class QMouseEvent;
class ViewConfirm;
class ViewImage;

// Carries out the three captures: full screen, fast cut and normal cut, and
// names and writes their image files.
class OpImage : public QObject
{
    Q_OBJECT
public:
    explicit OpImage(QObject* parent = nullptr);

    // The rules below are kept apart from the widgets so that they can be checked directly.
    static bool endsCapture(int key, bool keysEnabled);
    static QString imageFileName(const QString& directory, const QString& userName,
        const QDateTime& when, const QString& imgType);
    static QString nameFilterFor(const QString& type);
    static QString nameFilters();
    static QString withImageSuffix(const QString& fileName);
    static QString imageTypeOf(const QString& fileName);
    static QString directoryOf(const QString& fileName);

signals:
    void modelChanged();
    void updateSelectRect(QRect rect);
    void viewConfirmActivated();
    void viewConfirmClosed();
    void imageSaved(QString title, QString message);
    void saveFailed(QString title, QString message);
    void allDone();

public slots:
    void fullScreen();
    void fastCut();
    void normalCut();
    void dragOnCut();
    void saveScreenCut();
    void saveNormalCut();
    void saveImage(QPixmap image, QString filepath);
    bool showSaveDialog();
    void setModel(ModelConfig* model);
    void mouseMove(QMouseEvent* ev);
    void mousePress(QMouseEvent* ev);
    void mouseRelease(QMouseEvent* ev);
    void keyPress(QKeyEvent* ev);
    void keyRelease(QKeyEvent* ev);
    void abilityKeys();

private:
    // Every way a capture ends. Each goes through finish(), which announces it.
    enum class CaptureEnd {
        // A fast or full-screen cut, or the popup's "Save" or "Save as...", has
        // written its file (or failed to): allDone(), after the result signal.
        Saved,
        // A key on the overlay: the overlay closes, the selection collapses to
        // its anchor, allDone().
        Cancelled,
        // The window manager or another client closed or destroyed the
        // overlay: the same as a key.
        ClosedFromOutside,
        // The normal cut's popup closed, after a save, "Cancel" or its title
        // bar: viewConfirmClosed(). After a save it follows Saved, and the
        // coordinator switches the hot-keys on only once.
        PopupClosed,
    };
    void finish(CaptureEnd end);
    void closeOverlay();
    void overlayClosed();
    QPoint imagePosition(QMouseEvent* ev) const;

    void createPlayer();
    void connectViews();
    QPixmap grabScreen() const;
    void startCut();
    QPixmap cutSelection();
    void showConfirm(const QPixmap& image);
    void resetSelectRect();
    bool isInsideSelection(QMouseEvent* ev) const;
    QString imageFileName() const;
    static QString userName();
    static bool writeImageFile(const QPixmap& image, const QString& filepath);

    ViewImage* viewImage;
    ViewConfirm* viewConfirm;
    QPixmap screenShot;
    QPixmap cutImage;
    QRect selectRect;
    int cutMode = 0;
    // The overlay is up for a cut that no key, release or close has ended yet.
    bool overlayUp = false;
    ModelConfig* model = nullptr;
    QTimer keyTimer;
    bool keysEnabled = false;
    QString* selectedFilter = nullptr;
    QString confirmPath;
    QMediaPlayer* player;
    QClipboard* clipboard = nullptr;
};
