#include "viewmain.h"

#include "app/appnames.h"
#include "circularbutton.h"
#include "view.h"
#include "viewadwidget.h"
#include "viewconfig.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPushButton>

namespace {

// The window without the panel: the picture above a row of buttons.
const QSize ClosedSize(400, 332);
const QSize PictureSize(400, 300);
const int ButtonRowHeight = 32;
// The configuration panel, right of the picture once the window has widened.
const QSize PanelSize(400, 330);
const int PauseSeconds = 5;
const int WipeStepMs = 2;
const int PanelStepMs = 1;
// A picture declaring more pixels a side than this is not decoded: a few bytes
// of a hostile file could otherwise cost hundreds of megabytes.
const int MaxPictureSide = 8192;

} // namespace

ViewMain::ViewMain(QWidget* parent)
    : QWidget(parent)
{
    setWindowLook();
    m_adWidget = new ViewAdWidget(this);
    setFixedSize(ClosedSize);
    m_background = std::make_unique<QImage>(
        width(), height() - ButtonRowHeight, QImage::Format_ARGB32_Premultiplied);
    paintPlaceholder();
    m_backBtn = createArrowButton(":/icone/bt1-02.png");
    m_nextBtn = createArrowButton(":/icone/bt2-02.png");
    connect(m_nextBtn, SIGNAL(clicked()), this, SLOT(NextBtnClicked()));
    connect(m_backBtn, SIGNAL(clicked()), this, SLOT(LastBtnClicked()));
    m_pictureSize = PictureSize;
    m_adWidget->show();
    m_adWidget->setGeometry(0, 0, m_pictureSize.width(), m_pictureSize.height());
    m_viewConfig = new ViewConfig(this);
    m_viewConfig->setGeometry(QRect(QPoint(m_pictureSize.width(), 0), PanelSize));
    createPushButtons();
    placeArrowButtons();
    loadPictures();
    m_slideThread.setInterval(WipeStepMs);
    m_panelThread.setInterval(PanelStepMs);
    makeConnections();
    takeNextImg();
    View::centerOnScreen(this);
}

// Out of line: the background's type is only complete here.
ViewMain::~ViewMain() = default;

void ViewMain::setModel(ModelConfig* model)
{
    m_model = model;
    m_viewConfig->setModel(model);
}

void ViewMain::printCurrentImg(int width)
{
    m_adWidget->resize(width, m_pictureSize.height());
    m_adWidget->setPixmap(m_currentPicture);
    m_adWidget->update();
    update();
}

void ViewMain::changeThisWidth(int width)
{
    m_panelStep = width;
    const int closedWidth = m_pictureSize.width();
    setFixedWidth(m_panelOpening ? closedWidth + width : 2 * closedWidth - width);
}

void ViewMain::openConfigAnimation()
{
    // Once the window has shown the last step, the pass may still be ending: turning
    // its direction then would change nothing, as no step is left to report it. The
    // pass is let end, and the click starts a new one.
    const int lastStep = m_panelThread.endValue() + 1;
    if (m_panelThread.isRunning() && m_panelStep == lastStep
        && m_panelThread.currentValue() == lastStep)
        m_panelThread.wait();
    if (!m_panelThread.isRunning())
        m_panelStep = 0;
    m_panelThread.setDelay(0);
    m_panelThread.setStartValue(1);
    m_panelThread.setEndValue(399);
    m_panelThread.setRunning(true);
    m_panelThread.start(QThread::InheritPriority);
    m_panelOpening = !m_panelOpening;
}

void ViewMain::takeNextImg()
{
    if (m_pictures.isEmpty())
        return;
    keepCurrentBehindWipe();
    ++m_currentIndex;
    if (m_currentIndex >= m_pictures.size())
        m_currentIndex = 0;
    startWipe();
}

void ViewMain::takeLastImg()
{
    if (m_pictures.isEmpty())
        return;
    keepCurrentBehindWipe();
    --m_currentIndex;
    if (m_currentIndex < 0)
        m_currentIndex = m_pictures.size() - 1;
    startWipe();
}

void ViewMain::NextBtnClicked()
{
    m_manual = true;
    m_slideThread.stop();
    takeNextImg();
    printCurrentImg(m_pictureSize.width());
    update();
}

void ViewMain::LastBtnClicked()
{
    m_manual = true;
    m_slideThread.stop();
    takeLastImg();
    printCurrentImg(m_pictureSize.width());
    update();
}

void ViewMain::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, *m_background);
}

void ViewMain::closeEvent(QCloseEvent* event)
{
    // The event stays accepted: closing only hides the window.
    emit closeRequest(event);
}

// No one sees a hidden or minimised carousel: it waits, without waking the
// program, and goes on where it was when shown again.
void ViewMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    holdCarouselWhenUnseen();
}

void ViewMain::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    holdCarouselWhenUnseen();
}

void ViewMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        holdCarouselWhenUnseen();
}

void ViewMain::holdCarouselWhenUnseen()
{
    m_slideThread.setHeld(!isVisible() || isMinimized());
}

void ViewMain::setWindowLook()
{
    setWindowIcon(QIcon(AppNames::Icon));
    setWindowTitle("Pelicrow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowFlags(Qt::WindowCloseButtonHint);
    m_okText = "Ok";
    m_exitText = "Exit";
    m_configText = "Config";
}

// The placeholder is scaled to the whole window, so the background keeps its top rows.
void ViewMain::paintPlaceholder()
{
    m_background->fill(QColor(70, 70, 70));
    QPainter painter(m_background.get());
    painter.drawImage(rect(), QImage(":/icone/drag_brennet1.png"));
}

CircularButton* ViewMain::createArrowButton(const QString& iconPath)
{
    auto* button = new CircularButton(this);
    button->normalColor = QColor(180, 180, 180);
    button->hoverColor = QColor(80, 80, 80);
    button->setGeometry(0, 0, 30, 30);
    button->setIcon(QIcon(iconPath));
    button->setIconSize(QSize(36, 36));
    return button;
}

// Not resized: the buttons take their natural size when the window is first shown.
void ViewMain::createPushButtons()
{
    const int top = m_pictureSize.height() + 5;
    m_okBtn = new QPushButton(m_okText, this);
    m_configBtn = new QPushButton(m_configText, this);
    m_exitBtn = new QPushButton(m_exitText, this);
    m_configBtn->move(5, top);
    m_okBtn->move(212 - m_okBtn->width() / 2, top);
    m_exitBtn->move(320, top);
}

void ViewMain::placeArrowButtons()
{
    const int bottom = m_pictureSize.height();
    m_nextBtn->move(m_pictureSize.width() - m_nextBtn->width() - 5, bottom - m_nextBtn->height());
    m_backBtn->move(5, bottom - m_backBtn->height());
}

// Read once: pictures downloaded later appear at the next start. An unreadable
// or oversized file keeps its turn as an empty picture. Each is decoded straight
// at the size it is shown.
void ViewMain::loadPictures()
{
    const QDir resources(QDir::homePath() + AppNames::ResourcesFolder);
    for (const QFileInfo& entry : resources.entryInfoList()) {
        if (!entry.isFile())
            continue;
        QImageReader reader(entry.filePath());
        const QSize declared = reader.size();
        QImage picture;
        if (declared.isValid() && declared.width() <= MaxPictureSide
            && declared.height() <= MaxPictureSide) {
            reader.setScaledSize(m_pictureSize);
            picture = reader.read();
        }
        m_pictures.append(QPixmap::fromImage(std::move(picture)));
    }
}

void ViewMain::makeConnections()
{
    connect(&m_slideThread, SIGNAL(valueChanged(int)), this, SLOT(printCurrentImg(int)));
    connect(&m_slideThread, SIGNAL(finished()), this, SLOT(takeNextImg()));
    connect(&m_panelThread, SIGNAL(valueChanged(int)), this, SLOT(changeThisWidth(int)));
    connect(m_configBtn, SIGNAL(clicked()), this, SLOT(openConfigAnimation()));
    connect(m_viewConfig->saveButton(), SIGNAL(clicked()), this, SLOT(openConfigAnimation()));
    connect(m_viewConfig->cancelButton(), SIGNAL(clicked()), this, SLOT(openConfigAnimation()));
}

// The picture on show stays visible behind the next one while that wipes in.
void ViewMain::keepCurrentBehindWipe()
{
    if (m_currentIndex < 0)
        return;
    QPainter painter(m_background.get());
    painter.drawPixmap(0, 0, m_currentPicture);
}

void ViewMain::startWipe()
{
    const QPixmap& picture = m_pictures.at(m_currentIndex);
    // An unreadable file keeps its turn and shows nothing of its own.
    m_currentPicture = picture.isNull()
        ? QPixmap()
        : picture.scaled(m_pictureSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_slideThread.setDelay(m_manual ? 0 : PauseSeconds);
    m_slideThread.setStartValue(m_manual ? m_pictureSize.width() : 0);
    m_slideThread.setEndValue(m_pictureSize.width());
    m_slideThread.setRunning(true);
    m_slideThread.start(QThread::InheritPriority);
    m_manual = false;
}
