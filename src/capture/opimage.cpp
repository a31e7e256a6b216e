#include "opimage.h"

#include "Model/modelconfig.h"
#include "app/defaults.h"
#include "capture/pngwriter.h"
#include "capture/selection.h"
#include "capture/viewimage.h"
#include "platform/keyboardlistener.h"
#include "views/viewconfirm.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>

namespace {

const int KeyDelayMs = 30;
const int FastCut = 1;
const int NormalCut = 2;
// Cuts larger than this share of the screen are previewed at this share of their size.
const double PreviewShare = 0.8;

QString filterOf(const Defaults::ImageType& type)
{
    return QStringLiteral("File %1 (*%2)")
        .arg(QLatin1String(type.name), QLatin1String(type.suffix));
}

const char* const SavedTitle = "Image saved successfully";
const char* const FailedTitle = "Error saving the image";

} // namespace

OpImage::OpImage(QObject* parent)
    : QObject(parent)
{
    viewImage = new ViewImage(nullptr);
    viewImage->setAttribute(Qt::WA_DeleteOnClose, false);
    viewImage->setAttribute(Qt::WA_QuitOnClose, false);
    viewConfirm = new ViewConfirm(nullptr);
    viewConfirm->setAttribute(Qt::WA_DeleteOnClose, false);
    viewConfirm->setAttribute(Qt::WA_QuitOnClose, false);
    createPlayer();
    connectViews();
    if (!player->isAvailable()) {
        QMessageBox::warning(viewConfirm, tr("Service not available"),
            tr("The QMediaPlayer object does not have a valid service.\n"
               "Please check the media service plugins are installed."),
            QMessageBox::Ok);
    }
}

// Escape at once, other keys once armed. Modifiers alone never cancel: the
// hot-key's own Ctrl and Shift may still be held, and a window manager's chord
// such as Alt+F4 must reach the window manager, which then closes the overlay.
bool OpImage::endsCapture(int key, bool keysEnabled)
{
    switch (key) {
    case Qt::Key_Escape:
        return true;
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return false;
    default:
        return keysEnabled;
    }
}

QString OpImage::imageFileName(const QString& directory, const QString& userName,
    const QDateTime& when, const QString& imgType)
{
    const QString stem = directory + userName + QLatin1Char(' ')
        + when.toString(QStringLiteral("dd_MM_yy hh.mm.ss"));
    // Two captures within one second must not replace each other.
    QString name = stem + imgType;
    for (int copy = 2; QFileInfo::exists(name); ++copy)
        name = stem + QStringLiteral(" (%1)").arg(copy) + imgType;
    return name;
}

QString OpImage::nameFilterFor(const QString& type)
{
    for (const auto& imageType : Defaults::ImageTypes) {
        if (type == QLatin1String(imageType.suffix))
            return filterOf(imageType);
    }
    return QString();
}

QString OpImage::nameFilters()
{
    QStringList filters;
    for (const auto& imageType : Defaults::ImageTypes)
        filters << filterOf(imageType);
    return filters.join(QStringLiteral(";;"));
}

QString OpImage::withImageSuffix(const QString& fileName)
{
    for (const auto& imageType : Defaults::ImageTypes) {
        if (fileName.endsWith(QLatin1String(imageType.suffix), Qt::CaseInsensitive))
            return fileName;
    }
    return fileName + QLatin1String(Defaults::ImgType);
}

QString OpImage::imageTypeOf(const QString& fileName)
{
    return QLatin1Char('.') + QFileInfo(fileName).completeSuffix();
}

QString OpImage::directoryOf(const QString& fileName)
{
    const QString directory = QFileInfo(fileName).absolutePath();
    return directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
}

void OpImage::fullScreen()
{
    const QPixmap screen = grabScreen();
    clipboard = QGuiApplication::clipboard();
    clipboard->setPixmap(screen, QClipboard::Clipboard);
    saveImage(screen, imageFileName());
    player->play();
}

void OpImage::fastCut()
{
    cutMode = FastCut;
    startCut();
}

void OpImage::normalCut()
{
    cutMode = NormalCut;
    startCut();
}

void OpImage::dragOnCut() { }

void OpImage::saveScreenCut()
{
    saveImage(cutImage, imageFileName());
    viewConfirm->close();
}

void OpImage::saveNormalCut()
{
    saveImage(cutImage, confirmPath);
    viewConfirm->close();
}

void OpImage::saveImage(QPixmap image, QString filepath)
{
    const QString message = QStringLiteral("Path: ") + filepath;
    // A fresh home often has no Desktop folder yet: the configured folder is made
    // on first use rather than failing every capture.
    QDir().mkpath(QFileInfo(filepath).absolutePath());
    if (writeImageFile(image, filepath))
        emit imageSaved(QLatin1String(SavedTitle), message);
    else
        emit saveFailed(QLatin1String(FailedTitle), message);
    finish(CaptureEnd::Saved);
}

bool OpImage::showSaveDialog()
{
    *selectedFilter = nameFilterFor(model->imgType());
    const QString chosen = QFileDialog::getSaveFileName(viewConfirm, tr("Save as..."),
        model->directory(), tr(qPrintable(nameFilters())), selectedFilter);
    if (chosen.isEmpty())
        return false;
    // The typed name decides the type; the chosen filter only guides the dialog.
    const QString name = withImageSuffix(chosen);
    model->setImgType(imageTypeOf(name));
    model->setDirectory(directoryOf(name));
    emit modelChanged();
    saveImage(cutImage, name);
    viewConfirm->close();
    return true;
}

void OpImage::setModel(ModelConfig* model)
{
    this->model = model;
    delete selectedFilter;
    selectedFilter = new QString;
}

void OpImage::mouseMove(QMouseEvent* ev)
{
    if (ev->buttons() & Qt::LeftButton) {
        selectRect = Selection(selectRect).draggedTo(imagePosition(ev)).rect();
        emit updateSelectRect(selectRect);
    }
    viewImage->setCursor(isInsideSelection(ev) ? Qt::OpenHandCursor : Qt::CrossCursor);
}

void OpImage::mousePress(QMouseEvent* ev)
{
    if (cutMode == NormalCut && isInsideSelection(ev))
        viewImage->setCursor(Qt::ClosedHandCursor);
    else
        selectRect = Selection::startedAt(imagePosition(ev)).rect();
    emit updateSelectRect(selectRect);
}

void OpImage::mouseRelease(QMouseEvent* ev)
{
    if (cutMode == FastCut) {
        closeOverlay();
        player->play();
        const QString filepath = imageFileName();
        cutSelection();
        saveImage(cutImage, filepath);
        resetSelectRect();
    } else if (cutMode == NormalCut && isInsideSelection(ev)) {
        closeOverlay();
        player->play();
        showConfirm(cutSelection());
        resetSelectRect();
    }
}

void OpImage::keyPress(QKeyEvent* ev)
{
    // Neither the hot-key's own digit, passed on by the hook and arriving late
    // on a busy machine, nor a held key repeating is another key.
    if (ev->isAutoRepeat() || platform::isHotKeyEcho(static_cast<int>(ev->nativeVirtualKey())))
        return;
    if (endsCapture(ev->key(), keysEnabled))
        finish(CaptureEnd::Cancelled);
}

void OpImage::keyRelease(QKeyEvent*) { }

void OpImage::abilityKeys()
{
    keysEnabled = true;
    keyTimer.stop();
}

void OpImage::createPlayer()
{
    player = new QMediaPlayer(nullptr, QMediaPlayer::Flags());
    const QString soundPath = QCoreApplication::applicationDirPath() + "/CameraShot.wav";
    player->setMedia(QMediaContent(QUrl::fromLocalFile(soundPath)));
    player->setVolume(99);
}

void OpImage::connectViews()
{
    connect(viewImage, &ViewImage::mouseMove, this, &OpImage::mouseMove);
    connect(viewImage, &ViewImage::mousePress, this, &OpImage::mousePress);
    connect(viewImage, &ViewImage::mouseRelease, this, &OpImage::mouseRelease);
    connect(viewImage, &ViewImage::keyPress, this, &OpImage::keyPress);
    connect(viewImage, &ViewImage::keyRelease, this, &OpImage::keyRelease);
    connect(viewImage, &ViewImage::closed, this, &OpImage::overlayClosed);
    connect(this, &OpImage::updateSelectRect, viewImage, &ViewImage::updateSelectRect);
    connect(viewConfirm->getSaveBtn(), &QPushButton::clicked, this, &OpImage::saveNormalCut);
    connect(viewConfirm->getSaveAsBtn(), &QPushButton::clicked, this, &OpImage::showSaveDialog);
    connect(viewConfirm->getCancelBtn(), &QPushButton::clicked, viewConfirm, &QWidget::close);
    connect(viewConfirm, &ViewConfirm::closed, this, [this]() { finish(CaptureEnd::PopupClosed); });
}

QPixmap OpImage::grabScreen() const
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QPixmap();
    // The previous capture's balloon may still be up: it is no part of the screen.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("QBalloonTip"))
            widget->close();
    }
    return screen->grabWindow(0, 0, 0, -1, -1);
}

void OpImage::startCut()
{
    // A coarse timer may fire a little early; the delay is a promise to the user.
    keyTimer.setTimerType(Qt::PreciseTimer);
    keyTimer.setInterval(KeyDelayMs);
    connect(&keyTimer, &QTimer::timeout, this, &OpImage::abilityKeys, Qt::UniqueConnection);
    keyTimer.start();
    keysEnabled = false;
    viewImage->setScreenShot(grabScreen());
    // Without a window manager full screen alone is not enough to cover the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        viewImage->setGeometry(screen->geometry());
    overlayUp = true;
    viewImage->showFullScreen();
    viewImage->activateWindow();
}

QPixmap OpImage::cutSelection()
{
    selectRect = viewImage->getRect();
    screenShot = viewImage->getScreenShot();
    const QRect source = Selection(selectRect).sourceRect();
    cutImage = QPixmap(source.size());
    cutImage.fill(Qt::transparent);
    if (!cutImage.isNull()) {
        // Pixel for pixel, also where the screen is scaled.
        QPixmap pixels = screenShot;
        pixels.setDevicePixelRatio(1);
        QPainter painter(&cutImage);
        painter.drawPixmap(QPointF(0, 0), pixels, QRectF(source));
    }
    clipboard = QGuiApplication::clipboard();
    clipboard->setPixmap(cutImage, QClipboard::Clipboard);
    return cutImage;
}

void OpImage::showConfirm(const QPixmap& image)
{
    confirmPath = imageFileName();
    viewConfirm->setWindowTitle(QStringLiteral("Pelicrow - ") + confirmPath);
    viewConfirm->setToolTip(confirmPath);
    emit viewConfirmActivated();
    const QSize screenSize = viewImage->getScreenShot().size();
    QPixmap preview = image;
    if (image.width() > PreviewShare * screenSize.width()
        || image.height() > PreviewShare * screenSize.height()) {
        preview = image.scaled(int(image.width() * PreviewShare),
            int(image.height() * PreviewShare), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    viewConfirm->setImage(preview);
    viewConfirm->showNormal();
}

void OpImage::resetSelectRect()
{
    selectRect = QRect();
    emit updateSelectRect(selectRect);
}

bool OpImage::isInsideSelection(QMouseEvent* ev) const
{
    return Selection(selectRect).contains(imagePosition(ev));
}

// The pixel of the screen image under the pointer; on a scaled screen a widget
// position covers several of them.
QPoint OpImage::imagePosition(QMouseEvent* ev) const
{
    const qreal ratio = viewImage->getScreenShot().devicePixelRatio();
    return QPoint(qRound(ev->localPos().x() * ratio), qRound(ev->localPos().y() * ratio));
}

void OpImage::finish(CaptureEnd end)
{
    switch (end) {
    case CaptureEnd::Saved:
        emit allDone();
        break;
    case CaptureEnd::Cancelled:
    case CaptureEnd::ClosedFromOutside:
        closeOverlay();
        selectRect = Selection(selectRect).collapsed().rect();
        emit updateSelectRect(selectRect);
        emit allDone();
        break;
    case CaptureEnd::PopupClosed:
        emit viewConfirmClosed();
        break;
    }
}

// Closed by the program itself: the close that follows is no way out.
void OpImage::closeOverlay()
{
    overlayUp = false;
    viewImage->close();
}

void OpImage::overlayClosed()
{
    if (overlayUp)
        finish(CaptureEnd::ClosedFromOutside);
}

QString OpImage::imageFileName() const
{
    return imageFileName(
        model->directory(), userName(), QDateTime::currentDateTime(), model->imgType());
}

QString OpImage::userName()
{
    // Windows names the user in USERNAME; other systems in USER.
    const char* variable = qEnvironmentVariableIsSet("USERNAME") ? "USERNAME" : "USER";
    return QString::fromUtf8(qgetenv(variable));
}

bool OpImage::writeImageFile(const QPixmap& image, const QString& filepath)
{
    // Written beside the target and renamed into place: a failed write leaves no
    // partial file, and a file being replaced survives a failure untouched.
    QSaveFile file(filepath);
    const QByteArray format = QFileInfo(filepath).suffix().toLower().toLatin1();
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // PNG, the default type, is written by a faster writer of the same format.
    const bool written = format == "png" ? PngWriter::write(image.toImage(), &file)
                                         : image.save(&file, format.constData());
    if (!written)
        return false;
    return file.commit();
}
