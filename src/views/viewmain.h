#pragma once

#include "animationthread.h"

#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

class CircularButton;
class ModelConfig;
class QCloseEvent;
class QImage;
class QPushButton;
class ViewAdWidget;
class ViewConfig;

// The program's window: a picture carousel over a row of three buttons, and the
// configuration panel that slides out to the right.
class ViewMain : public QWidget
{
    Q_OBJECT
public:
    explicit ViewMain(QWidget* parent = nullptr);
    ~ViewMain() override;

    void setModel(ModelConfig* model);
    ViewConfig* getViewConfig() const { return m_viewConfig; }
    ViewAdWidget* getAdWidget() const { return m_adWidget; }
    QPushButton* getOkBtn() const { return m_okBtn; }
    QPushButton* getConfigBtn() const { return m_configBtn; }
    QPushButton* getExitBtn() const { return m_exitBtn; }

signals:
    void closeRequest(QCloseEvent* event);
    void currentImgModified(QPixmap picture);
    void nextImg(int index);

public slots:
    void printCurrentImg(int width);
    void changeThisWidth(int width);
    void openConfigAnimation();
    void takeNextImg();
    void takeLastImg();
    void NextBtnClicked();
    void LastBtnClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setWindowLook();
    void paintPlaceholder();
    CircularButton* createArrowButton(const QString& iconPath);
    void createPushButtons();
    void placeArrowButtons();
    void loadPictures();
    void makeConnections();
    void keepCurrentBehindWipe();
    void startWipe();
    void holdCarouselWhenUnseen();

    QSize m_pictureSize;
    std::unique_ptr<QImage> m_background;
    QPushButton* m_okBtn = nullptr;
    QPushButton* m_configBtn = nullptr;
    QPushButton* m_exitBtn = nullptr;
    CircularButton* m_backBtn = nullptr;
    CircularButton* m_nextBtn = nullptr;
    QList<QPixmap> m_pictures;
    QPixmap m_currentPicture;
    ViewAdWidget* m_adWidget = nullptr;
    ViewConfig* m_viewConfig = nullptr;
    ModelConfig* m_model = nullptr;
    int m_currentIndex = -1; // none shown yet
    AnimationThread m_slideThread;
    AnimationThread m_panelThread;
    bool m_manual = false;
    // Whether the running (or last) panel animation widens the window.
    bool m_panelOpening = false;
    // The panel thread's value the window last took its width from.
    int m_panelStep = 0;
    QString m_okText;
    QString m_exitText;
    QString m_configText;
};
