#include "viewconfirm.h"

#include "app/appnames.h"
#include "view.h"

#include "platform/taskbar.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QPushButton>

namespace {
// Distance from the popup's bottom edge up to the tops of the buttons.
const int ButtonRowRise = 27;
} // namespace

ViewConfirm::ViewConfirm(QWidget* parent)
    : QWidget(parent)
{
    setWindowFlags(Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(AppNames::Icon));
    saveText = QStringLiteral("Save");
    saveAsText = QStringLiteral("Save as...");
    cancelText = QStringLiteral("Cancel");
    pictureOffset = 0;
    sideMargin = 5;
    topMargin = 5;
    buttonBand = 25;
    saveBtn = new QPushButton(saveText, this);
    saveAsBtn = new QPushButton(saveAsText, this);
    cancelBtn = new QPushButton(cancelText, this);
    saveBtn->adjustSize();
    saveAsBtn->adjustSize();
    cancelBtn->adjustSize();
}

void ViewConfirm::setImage(QPixmap image)
{
    picture = image;
    const int pictureWidth = picture.width();
    const int rowWidth = buttonRowWidth();
    const int height = picture.height() + buttonBand + 2 * topMargin;
    // A picture narrower than the button row is centred in a popup as wide as the row.
    const int width = qMax(pictureWidth, rowWidth) + 2 * sideMargin;
    setFixedSize(width, height);
    pictureOffset = pictureWidth < rowWidth ? width / 2 - pictureWidth / 2 - sideMargin : 0;
    placeButtons(width, height, rowWidth);
    View::centerOnScreen(this);
}

void ViewConfirm::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(pictureOffset + sideMargin, topMargin, picture);
}

// Part of a capture, not a window of its own: no task-bar entry.
void ViewConfirm::showEvent(QShowEvent* event)
{
    platform::keepOffTaskBar(winId());
    QWidget::showEvent(event);
}

void ViewConfirm::closeEvent(QCloseEvent* event)
{
    emit closed();
    event->accept();
}

int ViewConfirm::buttonRowWidth() const
{
    return saveBtn->width() + saveAsBtn->width() + cancelBtn->width();
}

void ViewConfirm::placeButtons(int width, int height, int rowWidth)
{
    const int top = height - ButtonRowRise;
    const int saveAsWidth = saveAsBtn->width();
    saveBtn->move(width / 2 - rowWidth / 2, top);
    saveAsBtn->move(width / 2 - saveAsWidth / 2, top);
    cancelBtn->move(width / 2 + saveAsWidth / 2, top);
}
